// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace vigilon::test {

// A program started by a test, with its standard error captured. The child
// is killed when the object goes, so a failing test leaves nothing behind.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv = {})
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
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

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        stderr_ = fds[0];
        fcntl(stderr_, F_SETFL, O_NONBLOCK);
    }

    ~ChildProcess()
    {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stderr_ >= 0)
            close(stderr_);
    }

    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    void signal(int sig) const { kill(pid_, sig); }

    // Waits until the captured standard error contains text; false when it
    // does not within timeoutMs.
    bool waitForOutput(const std::string &text, int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (output_.find(text, searchFrom_) != std::string::npos)
                return true;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                    std::chrono::steady_clock::now());
            if (left.count() <= 0 || !readSome(static_cast<int>(left.count())))
                return output_.find(text, searchFrom_) != std::string::npos;
        }
    }
    // Later waits look only at output that comes after what was seen so far.
    void skipSeenOutput() { searchFrom_ = output_.size(); }

    // Waits for the child to end; its exit status, or -1 on a time-out (the
    // child then keeps running), or 128 + signal when a signal ended it.
    int waitForExit(int timeoutMs)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            const pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                readSome(0);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            readSome(20);
        }
        return -1;
    }

    const std::string &output()
    {
        readSome(0);
        return output_;
    }

private:
    // Reads what is there, waiting at most waitMs for the first bytes; false
    // when the pipe is closed or nothing came.
    bool readSome(int waitMs)
    {
        if (stderr_ < 0)
            return false;
        pollfd p{stderr_, POLLIN, 0};
        if (poll(&p, 1, waitMs) <= 0)
            return false;
        char buffer[4096];
        bool any = false;
        for (;;) {
            const ssize_t n = read(stderr_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            output_.append(buffer, static_cast<std::size_t>(n));
            any = true;
        }
        if (!any)
            usleep(static_cast<useconds_t>(std::min(waitMs, 20)) * 1000);
        return any;
    }

    pid_t pid_ = -1;
    int stderr_ = -1;
    bool exited_ = false;
    std::string output_;
    std::size_t searchFrom_ = 0;
};

} // namespace vigilon::test
