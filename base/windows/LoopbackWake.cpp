// SPDX-License-Identifier: MIT
#include "base/windows/LoopbackWake.h"

#include <ws2tcpip.h>

namespace vigilon::net {

SOCKET openLoopbackWake()
{
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return INVALID_SOCKET;
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
        return INVALID_SOCKET;
    }
    return s;
}

void sendWake(SOCKET wake)
{
    const char byte = 1;
    ::send(wake, &byte, 1, 0);
}

void drainWake(SOCKET wake)
{
    char buffer[64];
    // Bounded by what was written; the socket is non-blocking.
    while (::recv(wake, buffer, sizeof buffer, 0) > 0) {
    }
}

} // namespace vigilon::net
