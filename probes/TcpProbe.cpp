// SPDX-License-Identifier: MIT
#include "probes/TcpProbe.h"

#include "probes/SocketUtil.h"

namespace vigilon {

int CTcpProbe::socketType() const
{
    return SOCK_STREAM;
}

unsigned CTcpProbe::firstEvents() const
{
    return EventLoop::Connected;
}

int CTcpProbe::beginAsync()
{
    return startConnect("cannot connect for a TCP check");
}

void CTcpProbe::onSocket(unsigned events, int error)
{
    const std::uint64_t now = seenMicros(startMicros_);
    if (!(events & EventLoop::Connected))
        return;
    error = connectError(error);
    // Nothing more is wanted from this socket either way: a failed connect is
    // left to the timeout, and a greeting from the server is not read.
    unwatch();
    if (error != 0) {
        noteFailure(error);
        release();
        return;
    }
    killTimer();
    setResponse(connectedMicros(now));
    keepUntilDestroyed();
    report(ProbeResult::Answered);
    done_ = 1;
}

std::uint64_t CTcpProbe::connectedMicros(std::uint64_t seenMicros) const
{
    // The readiness is seen only when the loop (or its stamping thread)
    // comes round to the socket, after whatever it was doing. The system
    // times the handshake's round trip itself, from the SYN to the SYN-ACK,
    // so nothing on the loop lengthens it.
    std::uint64_t rtt = 0;
    if (net::handshakeRoundTrip(socket_, rtt) && startMicros_ + rtt <= seenMicros)
        return startMicros_ + rtt;
    return seenMicros;
}

} // namespace vigilon
