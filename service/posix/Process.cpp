// SPDX-License-Identifier: MIT
#include "service/posix/Process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace vigilon::svc {

namespace {

std::uint64_t nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

void sleepMs(unsigned ms)
{
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

std::vector<char *> pointers(const std::vector<std::string> &strings)
{
    std::vector<char *> out;
    out.reserve(strings.size() + 1);
    for (const std::string &s : strings)
        out.push_back(const_cast<char *>(s.c_str()));
    out.push_back(nullptr);
    return out;
}

int statusCode(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

pid_t waitNoIntr(pid_t pid, int *status, int flags)
{
    pid_t r;
    do {
        r = waitpid(pid, status, flags);
    } while (r < 0 && errno == EINTR);
    return r;
}

// Signals a child must not inherit as ignored or blocked from Vigilsvc.
void setChildSignals(posix_spawnattr_t &attr)
{
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGPIPE, SIGHUP, SIGQUIT, SIGCHLD})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attr, &defaults);
}

} // namespace

ProgramResult runProgram(const std::vector<std::string> &argv, std::uint32_t timeoutMs)
{
    ProgramResult result;
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        result.startError = errno;
        for (int fd : {out[0], out[1], err[0], err[1]})
            if (fd >= 0)
                close(fd);
        return result;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    setChildSignals(attr);

    pid_t pid = -1;
    std::vector<char *> args = pointers(argv);
    const int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(out[1]);
    close(err[1]);
    if (rc != 0) {
        result.startError = rc;
        close(out[0]);
        close(err[0]);
        return result;
    }
    result.started = true;

    const std::uint64_t deadline = nowMs() + timeoutMs;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.output, &result.errors};
    int open = 2;
    while (open > 0) {
        const std::uint64_t now = nowMs();
        if (now >= deadline) {
            result.timedOut = true;
            break;
        }
        const int n = poll(fds, 2, static_cast<int>(deadline - now));
        if (n < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2 && n > 0; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd &p : fds)
        if (p.fd >= 0)
            close(p.fd);
    if (result.timedOut)
        kill(pid, SIGKILL);
    int status = 0;
    if (waitNoIntr(pid, &status, 0) == pid)
        result.exitStatus = statusCode(status);
    return result;
}

CMonitorProcess::~CMonitorProcess() { end(0); }

bool CMonitorProcess::start(const std::string &path, const std::string &dir, const std::vector<std::string> &env)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attr, 0);
    setChildSignals(attr);

    const std::vector<std::string> argv{path, "-service"};
    std::vector<char *> args = pointers(argv);
    std::vector<char *> envp = pointers(env);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, &attr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        errno = rc;
        return false;
    }
    pid_ = pid;
    endText_.clear();
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd_ >= 0)
        fcntl(pidfd_, F_SETFD, FD_CLOEXEC);
    return true;
}

void CMonitorProcess::reaped(int status)
{
    if (WIFSIGNALED(status))
        endText_ = "signal " + std::to_string(WTERMSIG(status));
    else if (WIFEXITED(status))
        endText_ = "exit status " + std::to_string(WEXITSTATUS(status));
    pid_ = -1;
    if (pidfd_ >= 0)
        close(pidfd_);
    pidfd_ = -1;
}

bool CMonitorProcess::running()
{
    if (pid_ <= 0)
        return false;
    int status = 0;
    const pid_t r = waitNoIntr(pid_, &status, WNOHANG);
    if (r == 0)
        return true;
    const bool ours = r == pid_;
    reaped(status);
    if (!ours)
        endText_.clear(); // not our child any more
    return false;
}

void CMonitorProcess::end(std::uint32_t graceMs)
{
    if (!running())
        return;
    kill(pid_, SIGTERM);
    const std::uint64_t deadline = nowMs() + graceMs;
    int status = 0;
    while (nowMs() < deadline) {
        if (waitNoIntr(pid_, &status, WNOHANG) != 0) {
            reaped(status);
            return;
        }
        sleepMs(20);
    }
    kill(pid_, SIGKILL);
    waitNoIntr(pid_, &status, 0);
    reaped(status);
}

} // namespace vigilon::svc
