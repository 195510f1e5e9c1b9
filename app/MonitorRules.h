// SPDX-License-Identifier: MIT
#pragma once

#include "base/MonitorPort.h"

#include <cstdint>

namespace vigilon {

// What one check's outcome does to an entry. These rules change only the
// entry; the caller shows, samples and alerts as the result says.

// A successful check. Returns true when the response time is above the
// entry's threshold, or its certificate expires within its days of warning
// (the entry is then Warning).
bool applySuccess(MonitorPort &entry);

// An HTTPS or TLS entry whose certificate, as last seen, has certWarnDays
// days left or fewer (never with certWarnDays 0).
bool certExpiresSoon(const MonitorPort &entry);

enum class FailureVerdict {
    Tolerated,        // counted towards the retry limit; nothing else changes
    Declared,         // a failure is declared again; no command
    DeclaredAndAlert, // a failure is declared and the entry's command runs
};

// A failed check. testRound: a port test, which declares every failure at
// once and always alerts. now: seconds since 1970.
FailureVerdict applyFailure(MonitorPort &entry, std::uint32_t retryLimit, bool testRound, std::uint32_t now);

const char *statusName(PortStatus status);

} // namespace vigilon
