// SPDX-License-Identifier: MIT
#pragma once

#include "app/base/Clock.h"
#include "app/base/EventLoop.h"
#include "app/base/MonitorPort.h"

namespace vigilon {

// Results a socket probe reports.
enum ProbeResult : int {
    HttpOk = 1,
    HttpFailed = 2,
    TcpOk = 3,
    TcpFailed = 4,
    UdpOk = 5,
    UdpFailed = 6,
    PingOk = 7,
    PingFailed = 8,
};

// The kind of a monitoring round. The engine starts every check of either
// kind on the event loop.
enum RoundKind : int {
    Regular = 0,
    Test = 2,
};

// What a probe sees of its owner, the main frame. Called on the event
// loop's thread only, possibly from inside the probe's start().
class ProbeHost {
public:
    virtual ~ProbeHost() = default;
    virtual void reportResult(int code, MonitorPort &entry) = 0;
    virtual EventLoop &eventLoop() = 0;
    virtual const Clock &clock() const = 0;
};

} // namespace vigilon
