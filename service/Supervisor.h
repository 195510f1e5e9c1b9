// SPDX-License-Identifier: MIT
#pragma once

#include "service/ServiceStrings.h"

#include <cstdint>
#include <string>

namespace vigilon::svc {

// The states the service reports to its manager.
enum class ServiceState { StartPending, Running, StopPending, Stopped };

enum class SupervisorState { Starting = 0, Watching = 1, Stopping = 2 };

// Everything the watch loop needs from the platform: the stop request and
// the waiting for it, the Vigilon process, the "Logon" flag, status reports
// and the event log. One implementation per platform, and fakes in tests.
class SupervisorHost {
public:
    virtual ~SupervisorHost() = default;

    // Waits until a stop is requested or ms have passed. True when the wait
    // ended for any reason other than the time running out.
    virtual bool waitForStop(std::uint32_t ms) = 0;

    // Starts Vigilon in service mode; false when it could not be started.
    virtual bool startMonitor() = 0;
    // True while the last Vigilon started still runs. An ended process is
    // collected here, so it leaves nothing behind.
    virtual bool monitorRunning() = 0;
    // Ends the last Vigilon started, if it still runs; harmless otherwise.
    virtual void endMonitor() = 0;

    // Reads "Logon" and leaves it 0; 0 when it cannot be read.
    virtual std::uint32_t takeLogonFlag() = 0;
    // True when the last Vigilon started runs (or ran) elsewhere than where
    // a start would put it now, as after a logon or logoff at the console.
    virtual bool monitorMisplaced() { return false; }
    // True when no Vigilon is to be started now, for a reason the host
    // reports itself. The loop keeps running and asks again every round.
    virtual bool monitorWithheld() { return false; }

    // Tells the service manager the state; false when that failed.
    virtual bool reportServiceStatus(ServiceState state, std::uint32_t exitCode, std::uint32_t waitHintMs) = 0;
    // Writes one record with string id as its text.
    virtual void logServiceEvent(EventType type, unsigned stringId) = 0;

    // Milliseconds on a clock that only goes forward.
    virtual std::uint64_t nowMs();
    // How the last Vigilon ended ("exit status 3", "signal 9"), once
    // monitorRunning() has found it ended; empty when unknown.
    virtual std::string monitorEndText() { return {}; }
    // Writes one record with the given text.
    virtual void logServiceText(EventType type, const std::string &text);
};

// The watch loop that keeps Vigilon running. A Vigilon that ends by itself
// is started again after a pause: one round (10 s), doubled at each further
// end up to 30 rounds (5 minutes), and back to one round after a Vigilon
// that ran 60 rounds (10 minutes). A Vigilon in the wrong place (see
// SupervisorHost::monitorMisplaced) is ended and started again like one
// ended for "Logon", and one that ended there is started again at once.
// While the host withholds Vigilon (SupervisorHost::monitorWithheld) the
// service runs without it, and starts it in the first round that allows.
class CSupervisor {
public:
    static constexpr std::uint32_t kRoundMs = 10000;
    static constexpr std::uint32_t kLongestPauseRounds = 30;
    static constexpr std::uint32_t kSettledRunRounds = 60;

    explicit CSupervisor(SupervisorHost &host, std::uint32_t roundMs = kRoundMs) : host_(host), roundMs_(roundMs) {}

    // Reports the start, starts Vigilon, logs it and reports it running.
    bool launchMonitor();

    // Runs until a stop is requested. When the first start of Vigilon fails
    // the loop is not entered at all (a withheld start is no failure); the
    // stop is logged either way. Each end of Vigilon is logged with how it
    // ended. Returns whether the first start succeeded or was withheld.
    bool superviseMonitor();

    SupervisorState state() const { return state_; }

private:
    SupervisorHost &host_;
    std::uint32_t roundMs_;
    SupervisorState state_ = SupervisorState::Starting;
};

} // namespace vigilon::svc
