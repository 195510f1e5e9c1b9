// SPDX-License-Identifier: MIT
#pragma once

#include "base/EventLoop.h"
#include "base/System.h"
#include "probes/NetAddress.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
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

// Lets only the given message types through a raw ICMP or ICMPv6 socket,
// where the system can filter them (else nothing).
void passOnly(int fd, int family, std::uint8_t echoReply, std::uint8_t unreachable, std::uint8_t timeExceeded);

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

// An echo that the system makes for the process, where it refuses the
// process ICMP sockets: Windows' ICMP helper functions, which need no
// right. Their answer comes on the event loop; the loop never waits for
// it.
inline constexpr bool kSystemEcho = kWindowsBuild;

// How a system echo ended: 1 a reply came (from source), 0 an error
// message came (type and code as ICMP or ICMPv6 has them, source its
// sender), -1 nothing within the wait, -2 the system would not send it.
// arrivedMicros: when the system finished it, on the monotonic clock.
struct EchoAnswer {
    int outcome = -1;
    int type = -1;
    int code = -1;
    NetAddress source;
    std::uint64_t arrivedMicros = 0;
};

// An echo under way; destroying it drops its answer (the request itself
// ends by its wait).
class SystemEcho {
public:
    virtual ~SystemEcho() = default;
};

// Sends an echo with data to `to` by the system's own means, waiting at
// most waitMs; answer is called once, on loop, unless the echo is destroyed
// first. Null where the system cannot (error tells why).
std::unique_ptr<SystemEcho> startSystemEcho(EventLoop &loop, const NetAddress &to, const std::uint8_t *data,
                                            std::size_t size, int ttl, unsigned waitMs,
                                            std::function<void(const EchoAnswer &)> answer, int &error);

} // namespace vigilon::net::icmp
