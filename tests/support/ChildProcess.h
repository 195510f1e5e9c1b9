// SPDX-License-Identifier: MIT
// Programs started by tests. run() runs one to its end on Linux and on
// Windows; on Linux a ChildProcess also runs in the background while the
// test watches its output.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;
#endif

namespace vigilon::test {

// A program run to its end: its exit status (128 + the signal that ended
// it; -1 when it could not be started or still ran at the time limit, and
// was killed then), its standard output and its standard error.
struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Polls until done() holds or the time is up; returns done().
inline bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

#ifndef _WIN32

// A program started by a test: argv[0] is looked up on PATH, standard input
// is empty, standard output and error are captured; extraEnv entries
// "NAME=value" replace ours of that name. The child is killed when the object
// goes, so a failing test leaves nothing behind.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv = {})
    {
        std::vector<std::string> env;
        for (char **e = environ; *e; ++e)
            env.emplace_back(*e);
        for (const auto &e : extraEnv) {
            const std::string name = e.substr(0, e.find('=') + 1);
            std::erase_if(env, [&](const std::string &x) { return x.rfind(name, 0) == 0; });
            env.push_back(e);
        }
        std::vector<char *> args, envp;
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        for (const auto &e : env)
            envp.push_back(const_cast<char *>(e.c_str()));
        envp.push_back(nullptr);

        int out[2], err[2];
        if (argv.empty() || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        streams_[0].fd = out[0];
        streams_[1].fd = err[0];
        for (Stream &s : streams_)
            fcntl(s.fd, F_SETFL, O_NONBLOCK);
    }

    ~ChildProcess()
    {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (Stream &s : streams_) {
            if (s.fd >= 0)
                close(s.fd);
        }
    }

    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    void signal(int sig) const
    {
        if (pid_ > 0 && !exited_)
            kill(pid_, sig);
    }

    // Waits until the captured standard error contains text; false when it
    // does not within timeoutMs.
    bool waitForOutput(const std::string &text, int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            readSome(0);
            if (streams_[1].text.find(text, searchFrom_) != std::string::npos)
                return true;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || streams_[1].fd < 0)
                return false;
            readSome(static_cast<int>(left.count()));
        }
    }
    // Later waits look only at output that comes after what was seen so far.
    void skipSeenOutput() { searchFrom_ = streams_[1].text.size(); }
    // Takes the next whole line of standard error, without waiting; false
    // when none has come yet.
    bool nextLine(std::string &line)
    {
        readSome(0);
        const std::size_t end = streams_[1].text.find('\n', searchFrom_);
        if (end == std::string::npos)
            return false;
        line = streams_[1].text.substr(searchFrom_, end - searchFrom_);
        searchFrom_ = end + 1;
        return true;
    }

    // Waits for the child to end; its exit status, 128 + signal when a
    // signal ended it, or -1 on a time-out (the child then keeps running).
    int waitForExit(int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (pid_ > 0 && !exited_) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else if (std::chrono::steady_clock::now() >= deadline) {
                return -1;
            } else {
                readSome(20);
            }
        }
        readSome(0);
        return exited_ ? status_ : -1;
    }
    bool running() { return pid_ > 0 && waitForExit(0) == -1; }

    // Standard error and standard output so far.
    const std::string &output()
    {
        readSome(0);
        return streams_[1].text;
    }
    const std::string &standardOutput()
    {
        readSome(0);
        return streams_[0].text;
    }

private:
    struct Stream {
        int fd = -1;
        std::string text;
    };

    // Reads what is there, waiting at most waitMs for the first bytes; false
    // when nothing came.
    bool readSome(int waitMs)
    {
        pollfd fds[2];
        nfds_t count = 0;
        for (const Stream &s : streams_) {
            if (s.fd >= 0)
                fds[count++] = pollfd{s.fd, POLLIN, 0};
        }
        if (count == 0) {
            usleep(static_cast<useconds_t>(std::min(waitMs, 20)) * 1000);
            return false;
        }
        if (poll(fds, count, waitMs) <= 0)
            return false;
        bool any = false;
        for (Stream &s : streams_) {
            char buffer[4096];
            ssize_t n = 0;
            while (s.fd >= 0 && (n = read(s.fd, buffer, sizeof buffer)) > 0) {
                s.text.append(buffer, static_cast<std::size_t>(n));
                any = true;
            }
            if (s.fd >= 0 && n == 0) {
                close(s.fd);
                s.fd = -1;
            }
        }
        return any;
    }

    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = -1;
    Stream streams_[2]; // standard output, standard error
    std::size_t searchFrom_ = 0;
};

// Runs argv to its end, at most timeoutMs.
inline RunResult run(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv = {},
                     int timeoutMs = 60000)
{
    ChildProcess child(argv, extraEnv);
    RunResult result;
    if (child.started())
        result.status = child.waitForExit(timeoutMs);
    result.out = child.standardOutput();
    result.err = child.output();
    return result;
}

// Sets environment variables of this process (std::nullopt removes one)
// for a scope.
class ScopedEnv {
public:
    ScopedEnv(std::initializer_list<std::pair<std::string, std::optional<std::string>>> vars)
    {
        for (const auto &[name, value] : vars) {
            const char *old = std::getenv(name.c_str());
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            set(name, value);
        }
    }
    ~ScopedEnv()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            set(it->first, it->second);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    static void set(const std::string &name, const std::optional<std::string> &value)
    {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

#else

// Runs argv to its end without a command interpreter, at most timeoutMs;
// standard output and error both go to out. Arguments hold no quotes and end
// in no backslash.
inline RunResult run(const std::vector<std::string> &argv, int timeoutMs = 60000)
{
    std::string commandLine;
    for (const std::string &arg : argv)
        commandLine += (commandLine.empty() ? "" : " ") +
                       (arg.empty() || arg.find_first_of(" \t") != std::string::npos ? '"' + arg + '"' : arg);
    RunResult result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    const BOOL started =
        CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (started) {
        char buffer[4096];
        DWORD n = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0)
            result.out.append(buffer, n);
        DWORD code = 0;
        if (WaitForSingleObject(pi.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(pi.hProcess, &code))
            result.status = static_cast<int>(code);
        else
            TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(readEnd);
    return result;
}

#endif

} // namespace vigilon::test
