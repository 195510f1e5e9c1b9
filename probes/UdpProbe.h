// SPDX-License-Identifier: MIT
#pragma once

#include "probes/SocketProbe.h"

#include <cstdint>
#include <string>

namespace vigilon {

// A UDP entry: one datagram of one byte; the check succeeds when the socket
// can write. No answer is waited for.
class CUdpProbe final : public CSocketProbe {
public:
    explicit CUdpProbe(ProbeHost &owner, HostResolver *resolver = nullptr) : CSocketProbe(owner, resolver) {}

protected:
    int socketType() const override;
    unsigned firstEvents() const override;
    int beginAsync() override;
    void onSocket(unsigned events, int error) override;

private:
    int sendDatagram();
    // When the send returned.
    std::uint64_t sentMicros_ = 0;
};

} // namespace vigilon
