// SPDX-License-Identifier: MIT
#include "bench/compare/Process.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vigilon::bench {

namespace {
constexpr int kMaxChildren = 32;
std::atomic<pid_t> children[kMaxChildren];

std::uint64_t toMicros(const timeval &t)
{
    return std::uint64_t(t.tv_sec) * 1000000u + std::uint64_t(t.tv_usec);
}
} // namespace

std::uint64_t monoMicros()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::uint64_t(t.tv_sec) * 1000000u + std::uint64_t(t.tv_nsec) / 1000u;
}

std::uint64_t ownCpuMicros()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return toMicros(usage.ru_utime) + toMicros(usage.ru_stime);
}

void registerChild(pid_t pid)
{
    for (auto &slot : children) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, pid))
            return;
    }
}

void forgetChild(pid_t pid)
{
    for (auto &slot : children) {
        pid_t expected = pid;
        if (slot.compare_exchange_strong(expected, 0))
            return;
    }
}

void killChildren()
{
    for (auto &slot : children) {
        const pid_t pid = slot.exchange(0);
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
}

void becomeBoundChild()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The parent may have gone before the line above took effect.
    if (getppid() == 1)
        _exit(1);
    for (auto &slot : children)
        slot.store(0);
}

RunResult runProgram(const std::vector<std::string> &argv, unsigned timeoutMs)
{
    RunResult result;
    if (argv.empty())
        return result;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return result;
    const std::uint64_t begin = monoMicros();
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(out[0]);
        ::close(out[1]);
        return result;
    }
    if (pid == 0) {
        becomeBoundChild();
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0)
            ::dup2(null, 0);
        std::vector<char *> args;
        for (const auto &a : argv)
            args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        _exit(127);
    }
    registerChild(pid);
    ::close(out[1]);
    result.started = true;
    const std::uint64_t deadline = begin + std::uint64_t(timeoutMs) * 1000u;
    char buffer[4096];
    for (;;) {
        const std::uint64_t now = monoMicros();
        if (now >= deadline) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        pollfd p{out[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, int((deadline - now + 999u) / 1000u));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            continue;
        const ssize_t got = ::read(out[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        result.output.append(buffer, std::size_t(got));
    }
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.wallMicros = monoMicros() - begin;
    forgetChild(pid);
    result.cpuMicros = toMicros(usage.ru_utime) + toMicros(usage.ru_stime);
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

bool runQuiet(const std::vector<std::string> &argv, unsigned timeoutMs)
{
    const RunResult r = runProgram(argv, timeoutMs);
    return r.started && !r.timedOut && r.exitCode == 0;
}

std::string findProgram(const std::string &name)
{
    std::vector<std::string> folders;
    if (const char *path = std::getenv("PATH")) {
        std::string all = path;
        std::size_t start = 0;
        while (start <= all.size()) {
            const std::size_t end = all.find(':', start);
            folders.push_back(all.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
    for (const char *extra : {"/usr/sbin", "/sbin", "/usr/bin", "/usr/lib/nagios/plugins",
                              "/usr/lib/monitoring-plugins"})
        folders.push_back(extra);
    for (const auto &folder : folders) {
        if (folder.empty())
            continue;
        const std::string candidate = folder + "/" + name;
        struct stat info{};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

} // namespace vigilon::bench
