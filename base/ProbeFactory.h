// SPDX-License-Identifier: MIT
#pragma once

#include "base/MonitorPort.h"
#include "base/ProbeHost.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vigilon {

// How far a check has come.
enum class CheckProgress {
    Running,
    // Its result is reported; nothing more comes.
    Finished,
    // Its deadline passed and the failure is reported; the target may still
    // answer late, which reports a success.
    TimedOut,
};

// One check as the engine drives it, of any kind, the ICMP echo included.
class SocketCheck {
public:
    virtual ~SocketCheck() = default;
    // Starts the check: true when started, the result comes later through
    // ProbeHost::reportResult(), possibly from inside; false when it could
    // not be started.
    virtual bool start(std::uint32_t port, const std::string &host, MonitorPort &entry) = 0;
    // Once it is no longer Running the check may be destroyed.
    virtual CheckProgress done() const = 0;
    // The entry is about to be deleted: the check must never touch it again.
    virtual void detachEntry() = 0;
    virtual MonitorPort *entry() const = 0;
    // True when start() failed because this system refused a resource
    // (descriptors, buffers): such a check says nothing about the target.
    virtual bool localFailure() const { return false; }
    // Why the check failed: set before a failure is reported, and when
    // start() returns false without a report.
    virtual FailureReason failureReason() const { return FailureReason::of(FailureKind::TimedOut); }
};

enum ProbeKind : int {
    TcpProbeKind = 0,
    UdpProbeKind = 1,
    HttpProbeKind = 2,
    PingProbeKind = 3,
    HttpsProbeKind = 4,
    TlsProbeKind = 5,
    DnsProbeKind = 7,
};

// Makes the engine's checks; the system's probes in the program, fakes in
// tests.
class ProbeFactory {
public:
    virtual ~ProbeFactory() = default;
    virtual std::unique_ptr<SocketCheck> makeSocketCheck(int kind, ProbeHost &owner) = 0;
    // A round begins: name lookups are shared by its checks, not with
    // earlier rounds.
    virtual void beginRound() {}
};

} // namespace vigilon
