// SPDX-License-Identifier: MIT
#pragma once

#include "base/Clock.h"
#include "base/EventLoop.h"
#include "base/MonitorPort.h"

namespace vigilon {

// What a check reports: the target answered as its kind requires (the
// connection made, the datagram sent, the reply judged alive, the echo
// answered), or the check failed (its reason then tells why).
enum class ProbeResult {
    Answered,
    Failed,
};

// The kind of a monitoring round. The engine starts every check of either
// kind on the event loop.
enum class RoundKind {
    // The polling round.
    Regular,
    // A port test the user asked for.
    Test,
};

// What a probe sees of its owner, the main frame. Called on the event
// loop's thread only, possibly from inside the probe's start().
class ProbeHost {
public:
    virtual ~ProbeHost() = default;
    virtual void reportResult(ProbeResult result, MonitorPort &entry) = 0;
    virtual EventLoop &eventLoop() = 0;
    virtual const Clock &clock() const = 0;
};

} // namespace vigilon
