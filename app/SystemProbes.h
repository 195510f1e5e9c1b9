// SPDX-License-Identifier: MIT
#pragma once

#include "app/ProbeFactory.h"
#include "app/base/EventLoop.h"

#include <memory>

namespace vigilon {

// The engine's checks made from the network probes of this system.
std::unique_ptr<ProbeFactory> makeSystemProbeFactory(EventLoop &loop);

} // namespace vigilon
