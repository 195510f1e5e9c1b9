// SPDX-License-Identifier: MIT
// Programs started by tests. run() runs one to its end on Linux and on
// Windows; on Linux a ChildProcess also runs in the background while the
// test watches its output.
#pragma once

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
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
// is empty (or, withInput, a pipe that finishInput() writes to), standard
// output and error are captured; extraEnv entries "NAME=value" replace ours
// of that name. The child is killed when the object goes, so a failing test
// leaves nothing behind.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv = {},
                 bool withInput = false)
    {
        std::vector<std::string> env;
        for (char **e = environ; *e; ++e)
            env.emplace_back(*e);
        for (const auto &e : extraEnv) {
            std::erase_if(env, [&](const std::string &x) { return x.rfind(e.substr(0, e.find('=') + 1), 0) == 0; });
            env.push_back(e);
        }
        const auto pointers = [](const std::vector<std::string> &list) {
            std::vector<char *> out;
            for (const auto &item : list)
                out.push_back(const_cast<char *>(item.c_str()));
            out.push_back(nullptr);
            return out;
        };
        std::vector<char *> args = pointers(argv), envp = pointers(env);
        int out[2], err[2], in[2] = {-1, -1};
        if (argv.empty() || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0 ||
            (withInput && pipe2(in, O_CLOEXEC) != 0))
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (withInput)
            posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        else
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        if (withInput)
            close(in[0]);
        input_ = in[1];
        fds_[0] = out[0];
        fds_[1] = err[0];
        for (int fd : fds_)
            fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    ~ChildProcess()
    {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (int fd : {fds_[0], fds_[1], input_})
            if (fd >= 0)
                close(fd);
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

    // Writes text to standard input and closes it; whether all was written.
    bool finishInput(const std::string &text)
    {
        const bool written = input_ >= 0 && write(input_, text.data(), text.size()) == ssize_t(text.size());
        if (input_ >= 0)
            close(input_);
        input_ = -1;
        return written;
    }

    // Waits until standard error, after what was skipped, contains text.
    bool waitForOutput(const std::string &text, int timeoutMs)
    {
        return waitUntil([&] { return output().find(text, searchFrom_) != std::string::npos; }, timeoutMs);
    }
    // Later waits look only at output that comes after what was seen so far.
    void skipSeenOutput() { searchFrom_ = output().size(); }
    // Takes the next whole line of standard error, without waiting.
    bool nextLine(std::string &line)
    {
        const std::size_t end = output().find('\n', searchFrom_);
        if (end == std::string::npos)
            return false;
        line = texts_[1].substr(searchFrom_, end - searchFrom_);
        searchFrom_ = end + 1;
        return true;
    }

    // Waits for the child to end; its exit status, 128 + signal when a
    // signal ended it, or -1 on a time-out (the child then keeps running).
    int waitForExit(int timeoutMs)
    {
        int status = 0;
        waitUntil([&] {
            readAll();
            if (pid_ > 0 && !exited_ && waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            return pid_ <= 0 || exited_;
        }, timeoutMs);
        readAll();
        return exited_ ? status_ : -1;
    }
    bool running() { return pid_ > 0 && waitForExit(0) == -1; }
    // Sends SIGTERM and waits for the end, as waitForExit does.
    int terminate(int timeoutMs = 10000)
    {
        signal(SIGTERM);
        return waitForExit(timeoutMs);
    }

    // Standard error and standard output so far.
    const std::string &output() { return readAll(), texts_[1]; }
    const std::string &standardOutput() { return readAll(), texts_[0]; }

private:
    void readAll()
    {
        for (int i = 0; i < 2; ++i) {
            char buffer[4096];
            ssize_t n = 0;
            while (fds_[i] >= 0 && (n = read(fds_[i], buffer, sizeof buffer)) > 0)
                texts_[i].append(buffer, static_cast<std::size_t>(n));
            if (fds_[i] >= 0 && n == 0) {
                close(fds_[i]);
                fds_[i] = -1;
            }
        }
    }

    pid_t pid_ = -1;
    bool exited_ = false;
    int status_ = -1;
    int fds_[2] = {-1, -1}; // standard output, standard error
    int input_ = -1;
    std::string texts_[2];
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
    // Under Wine on a busy machine a start now and then fails for a moment;
    // a few tries, a tenth of a second apart.
    BOOL started = FALSE;
    for (int tries = 0; tries < 3 && !started; ++tries) {
        if (tries > 0)
            Sleep(100);
        started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    }
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
#ifdef _WIN32
        _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
#endif
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};


} // namespace vigilon::test
