// SPDX-License-Identifier: MIT
#pragma once

#include "probes/SocketProbe.h"

#include <cstdint>
#include <string>

namespace vigilon {

// A TCP entry: the port is alive when a connection can be made. The
// connection is closed as soon as it is made.
class CTcpProbe final : public CSocketProbe {
public:
    explicit CTcpProbe(ProbeHost &owner, HostResolver *resolver = nullptr) : CSocketProbe(owner, resolver) {}

protected:
    int socketType() const override;
    unsigned firstEvents() const override;
    int beginAsync() override;
    void onSocket(unsigned events, int error) override;

private:
    // When the handshake ended, on the monotonic clock: by the system's
    // measure where it has one, else seenMicros.
    std::uint64_t connectedMicros(std::uint64_t seenMicros) const;
};

} // namespace vigilon
