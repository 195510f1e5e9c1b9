// SPDX-License-Identifier: MIT
// The socket calls of POSIX systems under the names the portable code uses.
// base/windows/SystemSockets.h is the Windows one; the build puts the folder
// of the system it builds for on the include path, so that portable code
// includes "SystemSockets.h" and gets the one that fits.
#pragma once

#include <cerrno>
#include <cstddef>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/types.h>

namespace vigilon::net {

// Socket error codes under one name on every system.
namespace code {
constexpr int WouldBlock = EWOULDBLOCK, Again = EAGAIN, InProgress = EINPROGRESS, Interrupted = EINTR,
              Refused = ECONNREFUSED, Reset = ECONNRESET, Pipe = EPIPE, TimedOut = ETIMEDOUT, NoFiles = EMFILE,
              FileTable = ENFILE, NoBuffers = ENOBUFS, NoMemory = ENOMEM, NoFamily = EAFNOSUPPORT,
              NoProtocol = EPROTONOSUPPORT, NetUnreachable = ENETUNREACH,
              HostUnreachable = EHOSTUNREACH;
} // namespace code

// The error of the last socket call.
inline int lastError()
{
    return errno;
}

// poll() on sockets.
inline int pollSockets(pollfd *fds, std::size_t count, int timeoutMs)
{
    return ::poll(fds, static_cast<nfds_t>(count), timeoutMs);
}

} // namespace vigilon::net
