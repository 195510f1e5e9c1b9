// SPDX-License-Identifier: MIT
#pragma once

#include "base/ProbeFactory.h"
#include "probes/HostResolver.h"
#include "probes/PingProbe.h"
#include "probes/SocketProbe.h"

#include <memory>

namespace vigilon {

// The engine's checks made of the real probes. One factory serves one frame
// and its event loop; its resolver lets the entries of a round share one
// lookup of the target, and its PING checks share their raw sockets.
class SystemProbeFactory final : public ProbeFactory {
public:
    explicit SystemProbeFactory(EventLoop &loop);
    ~SystemProbeFactory() override;

    std::unique_ptr<SocketCheck> makeSocketCheck(int kind, ProbeHost &owner) override;
    void beginRound() override;

    HostResolver &resolver() { return resolver_; }

private:
    HostResolver resolver_;
    std::shared_ptr<PingSockets> pingSockets_;
};

} // namespace vigilon
