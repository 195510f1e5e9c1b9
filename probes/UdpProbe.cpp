// SPDX-License-Identifier: MIT
#include "probes/UdpProbe.h"

#include "base/UdpBytes.h"
#include "probes/SocketUtil.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vigilon {

CUdpProbe::~CUdpProbe()
{
    loop_.killTimer(this, probe::UdpWindowTimer);
}

int CUdpProbe::start(std::uint32_t port, const std::string &host, MonitorPort &entry)
{
    mode_ = entry.udpMode <= UdpExpectReply ? entry.udpMode : UdpSendOnly;
    // Text that is not valid hex after "hex:" goes as it is written.
    payload_ = decodeUdpBytes(entry.udpPayload).value_or(entry.udpPayload);
    if (payload_.empty())
        payload_.assign(1, '\0');
    expect_ = decodeUdpBytes(entry.udpExpect).value_or(entry.udpExpect);
    return CSocketProbe::start(port, host, entry);
}

int CUdpProbe::socketType() const
{
    return SOCK_DGRAM;
}

unsigned CUdpProbe::firstEvents() const
{
    // Send only: an answer datagram is of no interest. Otherwise a reply,
    // or the refusal that comes as the socket's error.
    return mode_ == UdpSendOnly ? EventLoop::Writable : EventLoop::Readable;
}

int CUdpProbe::sendDatagram()
{
    sockaddr_storage destination{};
    const socklen_t length = address_.toSocket(static_cast<std::uint16_t>(port_), destination);
    const auto *to = reinterpret_cast<const sockaddr *>(&destination);
    // Connected, the socket is told of the port's ICMP refusal; a UDP
    // connect only sets the peer, at once.
    if (mode_ != UdpSendOnly) {
        if (::connect(socket_, to, length) != 0)
            return net::lastError();
        net::enableReceiveStamps(socket_);
    }
    startMicros_ = nowMicros();
    const bool sent = mode_ == UdpSendOnly
                          ? ::sendto(socket_, payload_.data(), payload_.size(), MSG_NOSIGNAL, to, length) >= 0
                          : ::send(socket_, payload_.data(), payload_.size(), MSG_NOSIGNAL) >= 0;
    const int error = sent ? 0 : net::lastError();
    sentMicros_ = nowMicros();
    return error;
}

int CUdpProbe::beginAsync()
{
    const int error = sendDatagram();
    if (error == 0) {
        if (mode_ == UdpSendOnly) {
            killTimer();
        } else if (mode_ == UdpClosedFails) {
            loop_.setTimer(this, probe::UdpWindowTimer, std::min<unsigned>(UdpRefusalWindowMs, deadlineMs()),
                           [this] { onWindowEnd(); });
        }
        return 1;
    }
    // A send-only check waits for the socket to write; the others have
    // sent nothing to wait for.
    if (mode_ == UdpSendOnly && (error == net::code::Again || error == net::code::WouldBlock))
        return 1;
    killTimer();
    unwatch();
    if (net::isLocalShortage(error) || error == net::code::Again || error == net::code::WouldBlock)
        return refuseLocally(error, "cannot send the datagram of a UDP check");
    fail(net::reasonOfError(error));
    return 0;
}

void CUdpProbe::finish()
{
    release();
    killTimer();
    loop_.killTimer(this, probe::UdpWindowTimer);
    done_ = 1;
}

void CUdpProbe::onWindowEnd()
{
    loop_.killTimer(this, probe::UdpWindowTimer);
    // A refusal the loop was not told of (some systems only say it to the
    // next receive) still counts.
    if (readReply(sentMicros_))
        return;
    // No refusal came: the port is taken as open, timed to the send.
    finish();
    setResponse(sentMicros_);
    report(ProbeResult::Answered);
}

void CUdpProbe::onSocket(unsigned events, int error)
{
    if (mode_ == UdpSendOnly) {
        // The socket is watched before the send, so its readiness may have
        // been seen before the datagram went: then it could write as the
        // send ended.
        const std::uint64_t seen = std::max(seenMicros(0), sentMicros_);
        if (!(events & (EventLoop::Writable | EventLoop::Connected)) || error != 0)
            return;
        finish();
        setResponse(seen);
        report(ProbeResult::Answered);
        return;
    }
    readReply(std::max(seenMicros(sentMicros_), sentMicros_));
}

bool CUdpProbe::readReply(std::uint64_t seen)
{
    std::array<char, 2048> reply{};
    for (;;) {
        std::uint64_t arrived = seen;
        const ssize_t got = net::receiveStamped(socket_, reply.data(), reply.size(), 0, nullptr, nullptr, seen, arrived);
        if (got >= 0) {
            const std::string_view bytes(reply.data(), static_cast<std::size_t>(got));
            const bool fits = mode_ != UdpExpectReply || expect_.empty() || bytes.find(expect_) != bytes.npos;
            finish();
            if (!fits) {
                fail(FailureKind::UnexpectedReply);
                return true;
            }
            setResponse(std::max(arrived, sentMicros_));
            report(ProbeResult::Answered);
            return true;
        }
        const int failed = net::lastError();
        if (failed == net::code::Interrupted)
            continue;
        if (failed == net::code::Again || failed == net::code::WouldBlock)
            return false; // nothing yet
        finish();
        // Windows tells of a UDP port's refusal as a reset.
        fail(failed == net::code::Reset ? FailureReason::of(FailureKind::Refused) : net::reasonOfError(failed));
        return true;
    }
}

} // namespace vigilon
