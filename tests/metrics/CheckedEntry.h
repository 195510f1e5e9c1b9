// SPDX-License-Identifier: MIT
// An entry of the metrics' registry and the outcomes of its checks, handed
// over as the engine hands them.
#pragma once

#include "metrics/MetricsRegistry.h"

#include <string>

namespace vigilon::metrics {

struct Checked {
    MonitorPort entry;
    std::string host = "127.0.0.1";

    Checked(std::uint32_t id, const std::string &name, std::uint32_t port = 80, std::uint32_t protocol = GenericTcp)
    {
        entry.id = id;
        entry.name = name;
        entry.port = port;
        entry.protocol = protocol;
        entry.status = Ok;
    }
    // A check that leaves the entry in status; a failure is tolerated by
    // the retry rule unless status is Failed.
    void check(MetricsRegistry &registry, PortStatus status = Ok, std::uint64_t micros = 2000,
               FailureKind failure = FailureKind::None)
    {
        entry.status = status;
        CheckOutcome outcome;
        outcome.entry = &entry;
        outcome.host = &host;
        outcome.micros = micros;
        outcome.reason = FailureReason::of(failure);
        outcome.result = failure == FailureKind::None ? CheckOutcome::Result::Ok
                         : status == Failed            ? CheckOutcome::Result::Failed
                                                       : CheckOutcome::Result::Retry;
        registry.checkDone(outcome);
    }
};

} // namespace vigilon::metrics
