// SPDX-License-Identifier: MIT
#include "probes/UdpProbe.h"

#include "probes/SocketUtil.h"

#include <algorithm>

namespace vigilon {

int CUdpProbe::socketType() const
{
    return SOCK_DGRAM;
}

unsigned CUdpProbe::firstEvents() const
{
    // An answer datagram is of no interest.
    return EventLoop::Writable;
}

int CUdpProbe::sendDatagram()
{
    sockaddr_storage destination{};
    const socklen_t length = address_.toSocket(static_cast<std::uint16_t>(port_), destination);
    const char payload = 0;
    startMicros_ = nowMicros();
    const bool sent =
        ::sendto(socket_, &payload, 1, MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&destination), length) >= 0;
    const int error = sent ? 0 : net::lastError();
    sentMicros_ = nowMicros();
    return error;
}

int CUdpProbe::beginAsync()
{
    const int error = sendDatagram();
    if (error == 0) {
        killTimer();
        return 1;
    }
    if (error == net::code::Again || error == net::code::WouldBlock)
        return 1;
    killTimer();
    unwatch();
    if (net::isLocalShortage(error))
        return refuseLocally(error, "cannot send the datagram of a UDP check");
    fail(net::reasonOfError(error));
    return 0;
}

void CUdpProbe::onSocket(unsigned events, int error)
{
    // The socket is watched before the send, so its readiness may have been
    // seen before the datagram went: then it could write as the send ended.
    const std::uint64_t seen = std::max(seenMicros(0), sentMicros_);
    if (!(events & (EventLoop::Writable | EventLoop::Connected)) || error != 0)
        return;
    release();
    killTimer();
    setResponse(seen);
    report(ProbeResult::Answered);
    done_ = 1;
}

} // namespace vigilon
