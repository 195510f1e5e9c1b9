// SPDX-License-Identifier: MIT
#pragma once

#include "probes/SocketProbe.h"

#include <cstdint>
#include <string>

namespace vigilon {

namespace probe {
// The UDP check's window for a refusal (UdpClosedFails), beside its deadline.
constexpr unsigned UdpWindowTimer = 10;
} // namespace probe

// A UDP entry, by its mode (UdpMode):
// - send only: one datagram (one zero byte, or the entry's payload); the
//   check succeeds when the socket can write. No answer is waited for.
// - closed port fails: the socket is connected to the port, so that its
//   ICMP port-unreachable comes back as the socket's error, which fails the
//   check as refused; a reply or UdpRefusalWindowMs of silence passes it,
//   timed to the send.
// - expect a reply: the payload is sent and a datagram must come back
//   within the timeout, holding the expected bytes where some are given
//   (else the check fails as an unexpected reply); timed to the reply.
class CUdpProbe final : public CSocketProbe {
public:
    explicit CUdpProbe(ProbeHost &owner, HostResolver *resolver = nullptr) : CSocketProbe(owner, resolver) {}
    ~CUdpProbe() override;

    int start(std::uint32_t port, const std::string &host, MonitorPort &entry) override;

protected:
    int socketType() const override;
    unsigned firstEvents() const override;
    int beginAsync() override;
    void onSocket(unsigned events, int error) override;

private:
    int sendDatagram();
    void onWindowEnd();
    // Takes a reply or the socket's error: true when the check ended.
    bool readReply(std::uint64_t seenMicros);
    // The check is over: socket and timers go.
    void finish();

    std::uint32_t mode_ = UdpSendOnly;
    std::string payload_;
    std::string expect_;
    // When the send returned.
    std::uint64_t sentMicros_ = 0;
};

} // namespace vigilon
