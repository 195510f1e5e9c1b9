// SPDX-License-Identifier: MIT
#include "probes/SocketUtil.h"

#include "app/base/Clock.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace vigilon::net {

int lastError()
{
#ifdef _WIN32
    return WSAGetLastError();
#else
    return errno;
#endif
}

int openSocket(int type, int protocol)
{
#ifdef _WIN32
    const SOCKET s = ::socket(AF_INET, type, protocol);
    if (s == INVALID_SOCKET)
        return -1;
    const int fd = static_cast<int>(s);
    if (!setNonBlocking(fd, true)) {
        closesocket(s);
        return -1;
    }
    return fd;
#else
    return ::socket(AF_INET, type | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol);
#endif
}

bool isLocalShortage(int error)
{
    return error == code::NoFiles || error == code::FileTable || error == code::NoBuffers ||
           error == code::NoMemory;
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

bool setNonBlocking(int fd, bool on)
{
#ifdef _WIN32
    u_long mode = on ? 1 : 0;
    return ioctlsocket(static_cast<SOCKET>(fd), FIONBIO, &mode) == 0;
#else
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return wanted == flags || fcntl(fd, F_SETFL, wanted) == 0;
#endif
}

void closeSocket(int &fd)
{
#ifdef _WIN32
    if (fd >= 0)
        closesocket(static_cast<SOCKET>(fd));
#else
    if (fd >= 0)
        ::close(fd);
#endif
    fd = -1;
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

#ifndef _WIN32
std::uint64_t realtimeStampToMonotonic(std::int64_t stampSeconds, long stampNanos, std::uint64_t monotonicNow)
{
    // The stamp's age on the wall clock, taken against a reading of both
    // clocks at one moment: the monotonic clock is read on either side of
    // the wall clock and the middle taken, so that the time spent since the
    // readiness was seen (the receive call, this one) is not counted in.
    const std::uint64_t before = SystemClock::instance().monotonicMicros();
    timespec real{};
    clock_gettime(CLOCK_REALTIME, &real);
    const std::uint64_t after = SystemClock::instance().monotonicMicros();
    const std::uint64_t monotonicThen = before + (after - before) / 2;
    const std::int64_t realNs = std::int64_t(real.tv_sec) * 1000000000 + real.tv_nsec;
    const std::int64_t stampNs = stampSeconds * 1000000000 + stampNanos;
    const std::int64_t ageMicros = (realNs - stampNs + 500) / 1000;
    // A stamp from the future or from long ago means the wall clock was set
    // in between; then the readiness time is the better answer.
    if (ageMicros < 0 || ageMicros > 10000000 || std::uint64_t(ageMicros) > monotonicThen)
        return monotonicNow;
    const std::uint64_t arrived = monotonicThen - std::uint64_t(ageMicros);
    // The data cannot have come after its readiness was seen; a stamp that
    // says so was taken on a wall clock that was set meanwhile.
    return arrived > monotonicNow ? monotonicNow : arrived;
}

ssize_t receiveStamped(int fd, void *buffer, std::size_t size, int flags, sockaddr *from, socklen_t *fromLength,
                       std::uint64_t nowMicros, std::uint64_t &arrivedMicros)
{
    iovec io{buffer, size};
    alignas(cmsghdr) char control[256];
    msghdr message{};
    message.msg_name = from;
    message.msg_namelen = fromLength ? *fromLength : 0;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(fd, &message, flags);
    arrivedMicros = nowMicros;
    if (got < 0)
        return got;
    if (fromLength)
        *fromLength = message.msg_namelen;
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
#ifdef SCM_TIMESTAMPNS
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS &&
            c->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
            if (stamp.tv_sec != 0 || stamp.tv_nsec != 0)
                arrivedMicros = realtimeStampToMonotonic(stamp.tv_sec, stamp.tv_nsec, nowMicros);
        }
#endif
    }
    return got;
}
#else
std::uint64_t realtimeStampToMonotonic(std::int64_t, long, std::uint64_t monotonicNow)
{
    return monotonicNow;
}

// No receive stamps here: the readiness time is the arrival.
ssize_t receiveStamped(int fd, void *buffer, std::size_t size, int flags, sockaddr *from, socklen_t *fromLength,
                       std::uint64_t nowMicros, std::uint64_t &arrivedMicros)
{
    arrivedMicros = nowMicros;
    return ::recvfrom(static_cast<SOCKET>(fd), static_cast<char *>(buffer), static_cast<int>(size), flags, from,
                      fromLength);
}
#endif

int waitReady(int fd, short events, unsigned timeoutMs)
{
    const std::uint64_t deadline = SystemClock::instance().monotonicMicros() + std::uint64_t(timeoutMs) * 1000u;
    for (;;) {
        const std::uint64_t now = SystemClock::instance().monotonicMicros();
        const int leftMs = now >= deadline ? 0 : int((deadline - now + 999u) / 1000u);
#ifdef _WIN32
        WSAPOLLFD p{static_cast<SOCKET>(fd), events, 0};
        const int ready = WSAPoll(&p, 1, leftMs);
#else
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, leftMs);
#endif
        if (ready > 0)
            return p.revents;
        if (ready == 0)
            return 0;
        if (lastError() != code::Interrupted)
            return -1;
        if (leftMs == 0)
            return 0;
    }
}

void raiseDescriptorLimit()
{
#ifndef _WIN32
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
        return;
    const rlim_t soft = limit.rlim_cur;
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) == 0)
        return;
    // An unlimited hard limit is more than the kernel hands out to one
    // process: take its own ceiling then.
    if (FILE *file = std::fopen("/proc/sys/fs/nr_open", "r")) {
        unsigned long long ceiling = 0;
        if (std::fscanf(file, "%llu", &ceiling) == 1 && ceiling > soft && ceiling < limit.rlim_max) {
            limit.rlim_cur = static_cast<rlim_t>(ceiling);
            setrlimit(RLIMIT_NOFILE, &limit);
        }
        std::fclose(file);
    }
#endif
}

bool parseDottedAddress(const std::string &text, std::uint32_t &address)
{
    if (text.empty())
        return false;
#ifdef _WIN32
    // inet_addr() takes the same short forms; only the broadcast address
    // itself collides with its error value.
    const unsigned long parsed = inet_addr(text.c_str());
    if (parsed == INADDR_NONE && text != "255.255.255.255")
        return false;
    address = static_cast<std::uint32_t>(parsed);
    return true;
#else
    in_addr parsed{};
    if (inet_aton(text.c_str(), &parsed) == 0)
        return false;
    address = parsed.s_addr;
    return true;
#endif
}

} // namespace vigilon::net
