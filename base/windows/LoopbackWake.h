// SPDX-License-Identifier: MIT
// A wake-up for a thread that waits in WSAPoll(), which polls only sockets:
// a UDP socket on loopback that sends to itself. Used by the poll loop's
// post() and by the Win32 front end's readiness thread.
#pragma once

#include <winsock2.h>

namespace vigilon::net {

// Opens the socket, bound to a free loopback port, connected to itself and
// non-blocking; INVALID_SOCKET when that fails. The socket library must be
// started. Closed with closesocket().
SOCKET openLoopbackWake();

// Makes the socket readable. A full buffer already holds a wake-up, so
// nothing is lost when the byte is not taken.
void sendWake(SOCKET wake);

// Reads what the wake-ups left, so that the next wait waits again.
void drainWake(SOCKET wake);

} // namespace vigilon::net
