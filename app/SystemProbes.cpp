// SPDX-License-Identifier: MIT
#include "app/SystemProbes.h"

#include "probes/SystemProbeFactory.h"

namespace vigilon {

std::unique_ptr<ProbeFactory> makeSystemProbeFactory(EventLoop &loop)
{
    return std::make_unique<SystemProbeFactory>(loop);
}

} // namespace vigilon
