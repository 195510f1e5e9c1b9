// SPDX-License-Identifier: MIT
// The parts of the socket helpers that differ by system: POSIX.
#include "probes/SocketUtil.h"

#include "base/Clock.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <unistd.h>

namespace vigilon::net {

namespace {
// Descriptors that checks leave free for what the rest of the program opens
// after its start (the store's and the history's journals, a name lookup's
// files and socket, the trust store's file, the metrics server's
// connections, a window, an alert program's process descriptor), so that
// running out of them costs checks, never the program. What it holds from
// its start on is below the first socket's number and not counted here.
constexpr rlim_t kDescriptorReserve = 16;

// The soft descriptor limit as last read; 0 while unread (or unreadable).
std::atomic<std::uint64_t> softLimit{0};

std::uint64_t readSoftLimit()
{
    rlimit limit{};
    const std::uint64_t soft = getrlimit(RLIMIT_NOFILE, &limit) == 0 ? std::uint64_t(limit.rlim_cur) : 0;
    softLimit.store(soft, std::memory_order_relaxed);
    return soft;
}

std::uint64_t knownSoftLimit()
{
    const std::uint64_t soft = softLimit.load(std::memory_order_relaxed);
    return soft != 0 ? soft : readSoftLimit();
}
} // namespace

void readDescriptorLimit()
{
    readSoftLimit();
}

int openSocket(int type, int protocol, int family)
{
    const int fd = ::socket(family, type | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol);
    if (fd < 0)
        return fd;
    const std::uint64_t soft = knownSoftLimit();
    if (soft != 0 && soft != std::uint64_t(RLIM_INFINITY) && std::uint64_t(fd) + kDescriptorReserve >= soft) {
        ::close(fd);
        errno = EMFILE;
        return -1;
    }
    return fd;
}

bool setNonBlocking(int fd, bool on)
{
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return wanted == flags || fcntl(fd, F_SETFL, wanted) == 0;
}

bool descriptorsToSpare(int fd)
{
    const std::uint64_t soft = knownSoftLimit();
    return soft != 0 && (soft == std::uint64_t(RLIM_INFINITY) || std::uint64_t(fd) < soft / 2);
}

void closeSocket(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

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

bool handshakeRoundTrip(int fd, std::uint64_t &micros)
{
#ifdef TCP_INFO
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 ||
        length < offsetof(tcp_info, tcpi_total_retrans) + sizeof info.tcpi_total_retrans || info.tcpi_rtt == 0 ||
        info.tcpi_total_retrans != 0)
        return false;
    micros = info.tcpi_rtt;
    return true;
#else
    (void)fd;
    (void)micros;
    return false;
#endif
}

void raiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) {
        readSoftLimit();
        return;
    }
    const rlim_t soft = limit.rlim_cur;
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) == 0) {
        readSoftLimit();
        return;
    }
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
    readSoftLimit();
}

std::size_t checksWithinDescriptorLimit(std::uint64_t &limit)
{
    rlimit current{};
    limit = 0;
    if (getrlimit(RLIMIT_NOFILE, &current) != 0 || current.rlim_cur == RLIM_INFINITY)
        return SIZE_MAX;
    softLimit.store(std::uint64_t(current.rlim_cur), std::memory_order_relaxed);
    limit = current.rlim_cur;
    // A check's socket takes the lowest free number: those below it are the
    // program's own.
    const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (lowestFree < 0)
        return 0;
    ::close(lowestFree);
    const rlim_t taken = static_cast<rlim_t>(lowestFree) + kDescriptorReserve;
    return current.rlim_cur > taken ? static_cast<std::size_t>(current.rlim_cur - taken) : 0;
}

bool parseDottedAddress(const std::string &text, std::uint32_t &address)
{
    // The system's parser stops at a blank and takes what came before it:
    // "127.0.0.1 x" is no address. Digits, the letters of hexadecimal
    // numbers and dots are all an address holds.
    if (text.empty() || text.find_first_not_of("0123456789abcdefABCDEFxX.") != std::string::npos)
        return false;
    in_addr parsed{};
    if (inet_aton(text.c_str(), &parsed) == 0)
        return false;
    address = parsed.s_addr;
    return true;
}

void keepIcmpErrors(int fd, int family, bool on)
{
    const int value = on ? 1 : 0;
    if (family == AF_INET6)
        setsockopt(fd, IPPROTO_IPV6, IPV6_RECVERR, &value, sizeof value);
    else
        setsockopt(fd, IPPROTO_IP, IP_RECVERR, &value, sizeof value);
}

bool icmpErrorReason(int fd, FailureReason &reason)
{
    char data[64];
    iovec io{data, sizeof data};
    alignas(cmsghdr) char control[256];
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    if (recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
        return false;
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        const bool v4 = c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR;
        const bool v6 = c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_RECVERR;
        if (!v4 && !v6)
            continue;
        sock_extended_err error{};
        std::memcpy(&error, CMSG_DATA(c), sizeof error);
        if (error.ee_origin != (v6 ? SO_EE_ORIGIN_ICMP6 : SO_EE_ORIGIN_ICMP))
            continue;
        reason = FailureReason::unreachable(error.ee_type, error.ee_code, v6);
        return true;
    }
    return false;
}

} // namespace vigilon::net
