// SPDX-License-Identifier: MIT
// The socket helpers that read the same on every system; posix/SocketUtil.cpp
// and windows/SocketUtil.cpp hold the ones that differ.
#include "probes/SocketUtil.h"

#include "base/Clock.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace vigilon::net {

bool isLocalShortage(int error)
{
    return error == code::NoFiles || error == code::FileTable || error == code::NoBuffers ||
           error == code::NoMemory;
}

bool isUnsupportedHere(int error)
{
    return error == code::NoFamily || error == code::NoProtocol;
}

void reportUnsupported(int error, const char *kind)
{
    static std::mutex mutex;
    static std::vector<std::string> said;
    std::lock_guard<std::mutex> lock(mutex);
    for (const std::string &s : said) {
        if (s == kind)
            return;
    }
    said.emplace_back(kind);
    std::fprintf(stderr,
                 "vigilon: this system offers no %s sockets (error %d): such checks are skipped, not counted against "
                 "the target\n",
                 kind, error);
}

void reportLocalShortage(int error, const char *what)
{
    static std::mutex mutex;
    static int lastError = 0;
    static std::uint64_t lastMicros = 0;
    const std::uint64_t now = SystemClock::instance().monotonicMicros();
    std::lock_guard<std::mutex> lock(mutex);
    if (error == lastError && lastMicros != 0 && now - lastMicros < 5000000u)
        return;
    lastError = error;
    lastMicros = now;
    const char *resource = "system resources";
    if (error == code::NoFiles)
        resource = "the process's file descriptors (raise ulimit -n)";
    else if (error == code::FileTable)
        resource = "the system's file table";
    else if (error == code::NoBuffers || error == code::NoMemory)
        resource = "kernel buffer memory";
    std::fprintf(stderr, "vigilon: %s: error %d: out of %s; the check is skipped, not counted against the target\n",
                 what, error, resource);
}

void enableReceiveStamps(int fd)
{
#ifdef SO_TIMESTAMPNS
    const int on = 1;
    // The kernel stamps arriving packets only while some socket asks for
    // stamps, and it switches that on and off a moment after the first
    // socket asks and the last one closes; a packet that comes in between
    // is stamped only when it is read. Every check has a socket of its own,
    // so one socket that asks is kept open for the life of the process.
    static std::atomic<int> keeper{-1};
    if (keeper.load() < 0) {
        static std::mutex mutex;
        std::lock_guard<std::mutex> lock(mutex);
        if (keeper.load() < 0) {
            const int held = openSocket(SOCK_DGRAM, 0);
            if (held >= 0) {
                setsockopt(held, SOL_SOCKET, SO_TIMESTAMPNS, reinterpret_cast<const char *>(&on), sizeof on);
                keeper.store(held);
            }
        }
    }
    setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, reinterpret_cast<const char *>(&on), sizeof on);
#else
    (void)fd;
#endif
}

std::uint64_t readinessTime(const EventLoop &loop, const Clock &clock, std::uint64_t now, std::uint64_t notBefore)
{
    const std::uint64_t seen = loop.readinessSeenMicros();
    if (seen == 0 || &clock != &SystemClock::instance() || seen < notBefore || seen > now)
        return now;
    return seen;
}

FailureReason reasonOfError(int error)
{
    if (error == code::Refused)
        return FailureReason::of(FailureKind::Refused);
    if (error == code::Reset)
        return FailureReason::of(FailureKind::Reset);
    if (error == code::Pipe)
        return FailureReason::of(FailureKind::ClosedBeforeReply);
    if (error == code::TimedOut || error == code::Again || error == code::WouldBlock)
        return FailureReason::of(FailureKind::TimedOut);
    if (isLocalShortage(error))
        return FailureReason::of(FailureKind::LocalShortage);
    // Said by this system, not read from an ICMP message: the words of the
    // network and host codes.
    if (error == code::NetUnreachable)
        return FailureReason::unreachable(-1, 0);
    if (error == code::HostUnreachable)
        return FailureReason::unreachable(-1, 1);
    return FailureReason::unreachable(-1, -1);
}

} // namespace vigilon::net
