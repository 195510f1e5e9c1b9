// SPDX-License-Identifier: MIT
// ICMP sockets on Linux: raw ones for the privileged, datagram ones for the
// groups that net.ipv4.ping_group_range admits.
#include "probes/IcmpSockets.h"

#include "probes/SocketUtil.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vigilon::net::icmp {

bool isRefusedRight(int error)
{
    return error == EPERM || error == EACCES;
}

void sayNoRight()
{
    std::string range = "?";
    std::ifstream file("/proc/sys/net/ipv4/ping_group_range");
    if (file) {
        std::string low, high;
        file >> low >> high;
        range = low + " " + high;
    }
    std::fprintf(stderr,
                 "vigilon: PING checks fail: they need a raw ICMP socket (the CAP_NET_RAW capability, e.g. "
                 "setcap cap_net_raw+ep on the program) or ICMP datagram sockets for group %u (sysctl "
                 "net.ipv4.ping_group_range, now \"%s\", must include it)\n",
                 static_cast<unsigned>(getgid()), range.c_str());
}

void passOnly(int fd, int family, std::uint8_t echoReply, std::uint8_t unreachable, std::uint8_t timeExceeded)
{
    if (family != AF_INET6) {
        // A set bit blocks its type.
        icmp_filter filter{};
        filter.data = ~(1u << echoReply | 1u << unreachable | 1u << timeExceeded);
        setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
        return;
    }
    icmp6_filter filter{};
    ICMP6_FILTER_SETBLOCKALL(&filter);
    ICMP6_FILTER_SETPASS(echoReply, &filter);
    ICMP6_FILTER_SETPASS(unreachable, &filter);
    ICMP6_FILTER_SETPASS(timeExceeded, &filter);
    setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
}

int openDatagram(int protocol, int family)
{
    const int fd = openSocket(SOCK_DGRAM, protocol, family);
    if (fd >= 0) {
        const int on = 1;
        // Errors about our requests come through the error queue here.
        if (family == AF_INET6)
            setsockopt(fd, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on);
        else
            setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    }
    return fd;
}

bool isPendingError(int error)
{
    // ICMPv6 "administratively prohibited" and "packet too big" come as
    // EACCES and EMSGSIZE.
    return error == EHOSTUNREACH || error == ENETUNREACH || error == EACCES || error == EMSGSIZE ||
           error == EPROTO;
}

bool readErrors(int fd, int family, std::vector<QueuedError> &errors, std::vector<std::uint8_t> &request)
{
    const bool ipv6 = family == AF_INET6;
    std::uint8_t data[512];
    iovec io{data, sizeof data};
    alignas(cmsghdr) char control[512];
    sockaddr_storage offender{};
    msghdr message{};
    message.msg_name = &offender;
    message.msg_namelen = sizeof offender;
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t got = recvmsg(fd, &message, MSG_ERRQUEUE);
    if (got < 0)
        return false;
    request.assign(data, data + got);
    const int level = ipv6 ? IPPROTO_IPV6 : IPPROTO_IP;
    const int kind = ipv6 ? IPV6_RECVERR : IP_RECVERR;
    const std::uint8_t origin = ipv6 ? SO_EE_ORIGIN_ICMP6 : SO_EE_ORIGIN_ICMP;
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != level || c->cmsg_type != kind)
            continue;
        sock_extended_err error{};
        std::memcpy(&error, CMSG_DATA(c), sizeof error);
        if (error.ee_origin != origin)
            continue;
        const sockaddr *from = SO_EE_OFFENDER(reinterpret_cast<const sock_extended_err *>(CMSG_DATA(c)));
        // The offender's address follows the error in the message.
        const std::size_t room = c->cmsg_len > CMSG_LEN(sizeof error) ? c->cmsg_len - CMSG_LEN(sizeof error) : 0;
        errors.push_back({error.ee_type, error.ee_code, NetAddress::fromSocket(from, static_cast<socklen_t>(room))});
    }
    return true;
}

std::unique_ptr<SystemEcho> startSystemEcho(EventLoop &, const NetAddress &, const std::uint8_t *, std::size_t, int,
                                            unsigned, std::function<void(const EchoAnswer &)>, int &error)
{
    // The kernel's ICMP datagram sockets are the unprivileged way here.
    error = ENOSYS;
    return nullptr;
}

} // namespace vigilon::net::icmp
