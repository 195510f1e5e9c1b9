// SPDX-License-Identifier: MIT
#pragma once

#include "app/base/System.h"
#include "probes/NetAddress.h"

#include <cstdint>
#include <vector>

// What the PING check needs of the system's ICMP sockets, once per system
// (probes/posix/, probes/windows/).
namespace vigilon::net::icmp {

// ICMP datagram sockets, which need no privilege, are Linux's.
inline constexpr bool kDatagramSockets = !kWindowsBuild;

// Whether a socket was refused for want of a right (rather than, say, for
// want of IPv6 in the system).
bool isRefusedRight(int error);

// What the user must grant for PING checks to work here, as one line.
void sayNoRight();

// Lets only the given ICMPv6 message types through a raw ICMPv6 socket,
// where the system can filter them (else nothing).
void passOnly(int fd, std::uint8_t echoReply, std::uint8_t unreachable, std::uint8_t timeExceeded);

// Opens an unprivileged ICMP datagram socket whose errors about our
// requests are queued for readErrors(); -1 where there are none (see
// lastError()).
int openDatagram(int protocol, int family);

// Whether a failed read reports an ICMP error pending on the socket, beyond
// the refused and reset that every system gives.
bool isPendingError(int error);

// One ICMP error the system queued about a request of ours.
struct QueuedError {
    std::uint8_t type = 0;
    std::uint8_t code = 0;
    NetAddress offender;
};

// Reads one message of a datagram socket's error queue: the ICMP errors it
// carries and the start of the request they are about. False when nothing
// could be read.
bool readErrors(int fd, int family, std::vector<QueuedError> &errors, std::vector<std::uint8_t> &request);

} // namespace vigilon::net::icmp
