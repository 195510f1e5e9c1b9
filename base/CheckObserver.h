// SPDX-License-Identifier: MIT
#pragma once

#include "base/FailureReason.h"
#include "base/MonitorPort.h"

#include <cstdint>
#include <string>

namespace vigilon {

// The outcome of one check of a polling round, as the entry took it.
struct CheckOutcome {
    enum class Result {
        Ok,
        // Answered, slower than the entry's threshold (or the certificate
        // is close to its end).
        Warning,
        // Failed, but the retry rule tolerated it: the entry is not declared
        // failed (yet).
        Retry,
        // Failed, and the entry is failed.
        Failed,
    };
    // Valid during the call only; its status and counters are as the
    // outcome left them.
    const MonitorPort *entry = nullptr;
    // The host the entry checks (its own, else the target host).
    const std::string *host = nullptr;
    // When the outcome was taken, in milliseconds since 1970 UTC.
    std::int64_t unixMillis = 0;
    Result result = Result::Ok;
    // The response time (Ok, Warning), or how long the check ran until it
    // failed.
    std::uint64_t micros = 0;
    // Why it failed (Retry, Failed).
    FailureReason reason;

    bool failed() const { return result == Result::Retry || result == Result::Failed; }
};

// What else wants to know the outcomes of the checks: the history, the
// metrics. Called on the event loop's thread, from inside the engine's
// handling of an outcome: an observer only takes note, and never calls back
// into the program or nests the loop.
class CheckObserver {
public:
    virtual ~CheckObserver() = default;
    // A check of a polling round has its outcome. Port tests are not said.
    virtual void checkDone(const CheckOutcome &outcome) = 0;
    // The entry was declared failed: an outage begins. alertRan: its alert
    // command was run for it.
    virtual void outageBegan(const MonitorPort &entry, const std::string &host, std::int64_t unixMillis,
                             const FailureReason &reason, bool alertRan) = 0;
    // The failed entry answers again: its outage is over.
    virtual void outageEnded(const MonitorPort &entry, const std::string &host, std::int64_t unixMillis) = 0;
    // Monitoring stopped (or the program ends): no outcome follows until
    // it starts again; outages under way end unobserved.
    virtual void monitoringStopped(std::int64_t unixMillis) { (void)unixMillis; }
    // The entry is deleted, or its settings are about to change: nothing
    // more follows of it as it was.
    virtual void entryForgotten(const MonitorPort &entry, std::int64_t unixMillis)
    {
        (void)entry;
        (void)unixMillis;
    }
    // The entry's quiet period began (quiet) or ended, as the engine found
    // it; while monitoring runs every entry found quiet at a start is said.
    // Its checks go on and are told as ever.
    // host: the host the entry checks (its own, else the target host).
    virtual void quietChanged(const MonitorPort &entry, const std::string &host, bool quiet, std::int64_t unixMillis)
    {
        (void)entry;
        (void)host;
        (void)quiet;
        (void)unixMillis;
    }
};

} // namespace vigilon
