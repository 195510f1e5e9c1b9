// SPDX-License-Identifier: MIT
// How post() wakes a PollEventLoop on Windows, which polls only sockets: a
// UDP socket on loopback that sends to itself (LoopbackWake.h).
#include "base/PollEventLoop.h"

#include "base/windows/LoopbackWake.h"

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
    const SOCKET s = net::openLoopbackWake();
    if (s != INVALID_SOCKET)
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
    net::sendWake(static_cast<SOCKET>(wakeWrite_));
}

void PollEventLoop::drainWake()
{
    net::drainWake(static_cast<SOCKET>(wakeRead_));
}

void PollEventLoop::idle(int waitMs)
{
    Sleep(static_cast<DWORD>(waitMs));
}

} // namespace vigilon
