// SPDX-License-Identifier: MIT
// How post() wakes a PollEventLoop on Windows, which polls only sockets: a
// UDP socket on loopback that sends to itself.
#include "app/base/PollEventLoop.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace vigilon {

// Without a wake-up socket, keep posted calls from waiting long.
const std::uint64_t PollEventLoop::kMaxWaitWithoutWakeMs = 10;

void PollEventLoop::openWake()
{
    // The library is started for the wake-up socket (counted, so the
    // frame's own start-up is unaffected).
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return;
    started_ = true;
    SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    u_long nonBlocking = 1;
    if (bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) != 0 ||
        connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        closesocket(s);
        return;
    }
    wakeRead_ = wakeWrite_ = static_cast<int>(s);
}

void PollEventLoop::closeWake()
{
    if (wakeRead_ >= 0)
        closesocket(static_cast<SOCKET>(wakeRead_));
    if (started_)
        WSACleanup();
}

void PollEventLoop::sendWake()
{
    const char byte = 1;
    // A full buffer already holds a wake-up; nothing is lost.
    ::send(static_cast<SOCKET>(wakeWrite_), &byte, 1, 0);
}

void PollEventLoop::drainWake()
{
    char buffer[64];
    // Bounded by what was written; the socket is non-blocking.
    while (::recv(static_cast<SOCKET>(wakeRead_), buffer, sizeof buffer, 0) > 0) {
    }
}

void PollEventLoop::idle(int waitMs)
{
    Sleep(static_cast<DWORD>(waitMs));
}

} // namespace vigilon
