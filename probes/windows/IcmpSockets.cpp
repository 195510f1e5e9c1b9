// SPDX-License-Identifier: MIT
// ICMP sockets on Windows: raw ones only, for administrators.
#include "probes/IcmpSockets.h"

#include <atomic>
#include <cstdio>

namespace vigilon::net::icmp {

bool isRefusedRight(int error)
{
    return error == WSAEACCES;
}

void sayNoRight()
{
    std::fprintf(stderr, "vigilon: PING checks fail: a raw ICMP socket needs administrator rights\n");
}

void passOnly(int, std::uint8_t, std::uint8_t, std::uint8_t) {}

int openDatagram(int, int)
{
    return -1;
}

bool isPendingError(int)
{
    return false;
}

bool readErrors(int, int, std::vector<QueuedError> &, std::vector<std::uint8_t> &)
{
    return false;
}

} // namespace vigilon::net::icmp
