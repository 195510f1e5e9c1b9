// SPDX-License-Identifier: MIT
#include "app/MonitorRules.h"

namespace vigilon {

bool applySuccess(MonitorPort &entry)
{
    entry.retryCount = 0;
    entry.status = Ok;
    if (entry.threshold != 0 && entry.responseTime > entry.threshold) {
        entry.status = Warning;
        return true;
    }
    if (certExpiresSoon(entry)) {
        entry.status = Warning;
        return true;
    }
    return false;
}

bool certExpiresSoon(const MonitorPort &entry)
{
    return usesTls(entry.protocol) && entry.certDaysKnown && entry.certWarnDays != 0 &&
           static_cast<std::int64_t>(entry.certDaysLeft) <= static_cast<std::int64_t>(entry.certWarnDays);
}

FailureVerdict applyFailure(MonitorPort &entry, std::uint32_t retryLimit, bool testRound, std::uint32_t now)
{
    if (entry.status == Failed || testRound)
        entry.retryCount = retryLimit;
    entry.retryCount += 1;
    if (entry.retryCount <= retryLimit)
        return FailureVerdict::Tolerated;

    entry.retryCount = 0;
    if (entry.status == Ok || entry.lastErrorTime == 0)
        entry.lastErrorTime = now;
    entry.errorCount += 1;
    const bool alert = entry.status != Failed || testRound;
    entry.status = Failed;
    return alert ? FailureVerdict::DeclaredAndAlert : FailureVerdict::Declared;
}

const char *statusName(PortStatus status)
{
    switch (status) {
    case Ok:
        return "Ok";
    case Warning:
        return "Warning";
    case Failed:
        return "Failed";
    case Idle:
        return "Idle";
    }
    return "Unknown";
}

} // namespace vigilon
