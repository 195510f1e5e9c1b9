// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The system's socket calls, error codes (net::code), net::lastError() and
// net::pollSockets(), from base/posix/ or base/windows/.
#include "SystemSockets.h"

#include "base/Clock.h"
#include "base/EventLoop.h"
#include "base/FailureReason.h"

namespace vigilon::net {

// A non-blocking, close-on-exec socket of family (AF_INET, AF_INET6); -1 on
// failure (see lastError()). Refused as EMFILE where it would take one of
// the descriptors kept for the rest of the program (see readDescriptorLimit).
int openSocket(int type, int protocol, int family = AF_INET);

// Reads the process's descriptor limit, by which openSocket() and
// descriptorsToSpare() go until the next reading: once per round (the
// checks of a round all see one limit, and a check costs no call for it),
// and whenever the limit is raised or counted here. Until the first
// reading they read it themselves.
void readDescriptorLimit();

// True for the errors by which the local system refuses a resource (no
// descriptor, no buffer memory): a check that meets one says nothing about
// the target.
bool isLocalShortage(int error);

// True for the errors by which the system says it has no sockets of a
// family or protocol at all (no IPv6, no ICMPv6): a check that meets one
// cannot be made from here and says nothing about the target either.
bool isUnsupportedHere(int error);

// Writes one line to standard error, once per process and kind of socket
// (e.g. "IPv6", "ICMPv6"), that the system offers no such sockets.
void reportUnsupported(int error, const char *kind);

// Writes one line to standard error naming what ran out. Repeats of the same
// error are held back for a few seconds so that a round of many entries does
// not flood the terminal.
void reportLocalShortage(int error, const char *what);

// The reason a socket error gives a failed check: refused, reset, closed
// (EPIPE), timed out, or unreachable (anything else: no route, no
// neighbour, a prohibiting route).
FailureReason reasonOfError(int error);

// Whether the ICMP (ICMPv6) message that ends a connection attempt is kept
// on fd, so that icmpErrorReason() can read its type and code (Linux; a
// no-op elsewhere). Turned off once connected: a connection would otherwise
// end at the first such message instead of riding it out.
void keepIcmpErrors(int fd, int family, bool on);
// The unreachable reason of the ICMP (ICMPv6) message kept on fd; false when
// none is there.
bool icmpErrorReason(int fd, FailureReason &reason);

// Sets or clears O_NONBLOCK; false on failure.
bool setNonBlocking(int fd, bool on);

// Closes fd if it is open and sets it to -1.
void closeSocket(int &fd);

// Whether the process has descriptors enough that a finished check may keep
// its socket fd open until the check is destroyed: fd lies in the lower half
// of the descriptor limit (descriptors are handed out lowest first), as last
// read.
bool descriptorsToSpare(int fd);

// Asks the kernel to stamp received datagrams and segments (SO_TIMESTAMPNS).
// Harmless where the socket does not offer it. The first call also opens one
// socket for the rest of the process that keeps the kernel's stamping on.
void enableReceiveStamps(int fd);

// One recvmsg() that also returns the time the data arrived, on the
// monotonic clock in microseconds: the kernel's receive stamp where the
// socket carries one, else nowMicros (the time the readiness was seen).
// Returns what recvmsg() returns; errno as it leaves it.
ssize_t receiveStamped(int fd, void *buffer, std::size_t size, int flags, sockaddr *from, socklen_t *fromLength,
                       std::uint64_t nowMicros, std::uint64_t &arrivedMicros);

// Converts a kernel receive stamp (realtime clock) to the monotonic clock of
// SystemClock. monotonicNow: when the readiness was seen, on that clock; the
// answer is never later, and it is monotonicNow itself for a stamp that the
// wall clock's being set has made meaningless.
std::uint64_t realtimeStampToMonotonic(std::int64_t stampSeconds, long stampNanos, std::uint64_t monotonicNow);

// Inside a socket callback: when the readiness it handles was seen, on
// clock. The loop's note where it has one (a loop on the system's clock,
// which the note is taken on) and it lies between notBefore (the start of
// the measured interval: a readiness from before it is not this interval's)
// and now (clock's time, read by the caller); else now.
std::uint64_t readinessTime(const EventLoop &loop, const Clock &clock, std::uint64_t now, std::uint64_t notBefore);

// The round trip of the handshake of the connected TCP socket fd as the
// system measured it, in microseconds (Linux TCP_INFO, Windows
// SIO_TCP_INFO): false where the system does not say, or when the SYN had
// to be sent again (then the round trip hides the wait for the repeat).
bool handshakeRoundTrip(int fd, std::uint64_t &micros);

// Raises the soft descriptor limit to the hard limit, so that a long list
// of entries does not run out of descriptors before the system does.
void raiseDescriptorLimit();

// How many checks can hold a socket at once under the process's descriptor
// limit, with what the program holds now and what the rest of it may open
// later; SIZE_MAX where nothing limits them. limit receives the (soft)
// limit itself.
std::size_t checksWithinDescriptorLimit(std::uint64_t &limit);

// Parses a dotted IPv4 address in the forms gethostbyname() accepts
// without a lookup ("10.1.2.3", "10.1"); address in network byte order.
bool parseDottedAddress(const std::string &text, std::uint32_t &address);

} // namespace vigilon::net
