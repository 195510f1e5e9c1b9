// SPDX-License-Identifier: MIT
// The socket calls of Windows under the names the portable code uses.
// base/posix/SystemSockets.h is the POSIX one; the build puts the folder
// of the system it builds for on the include path, so that portable code
// includes "SystemSockets.h" and gets the one that fits.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstddef>
#include <sys/types.h>

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0 // no SIGPIPE there
#endif

namespace vigilon::net {

// Socket error codes under one name on every system.
namespace code {
constexpr int WouldBlock = WSAEWOULDBLOCK, Again = WSAEWOULDBLOCK, InProgress = WSAEINPROGRESS,
              Interrupted = WSAEINTR, Refused = WSAECONNREFUSED, Reset = WSAECONNRESET, Pipe = WSAESHUTDOWN,
              TimedOut = WSAETIMEDOUT, NoFiles = WSAEMFILE, FileTable = WSAEMFILE, NoBuffers = WSAENOBUFS,
              NoMemory = WSA_NOT_ENOUGH_MEMORY, NoFamily = WSAEAFNOSUPPORT, NoProtocol = WSAEPROTONOSUPPORT,
              NetUnreachable = WSAENETUNREACH, HostUnreachable = WSAEHOSTUNREACH;
} // namespace code

// The error of the last socket call.
inline int lastError()
{
    return WSAGetLastError();
}

// poll() on sockets.
inline int pollSockets(pollfd *fds, std::size_t count, int timeoutMs)
{
    return WSAPoll(fds, static_cast<ULONG>(count), timeoutMs);
}

} // namespace vigilon::net
