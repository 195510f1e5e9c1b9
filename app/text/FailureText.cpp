// SPDX-License-Identifier: MIT
#include "app/text/FailureText.h"

#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "app/text/TimeText.h"

namespace vigilon {

std::string certDaysLine(std::int32_t daysLeft)
{
    return formatText(loadString(sid::CertDaysLine), {std::to_string(daysLeft)});
}

std::string failureTip(const EntryView &entry)
{
    if (entry.placeholder || !entry.active)
        return {};
    std::string tip;
    if (entry.status == Failed && entry.lastReason.failed()) {
        tip = formatText(loadString(sid::FailureReasonLine), {reasonTextShown(entry.lastReason)});
        if (entry.lastReasonTime != 0)
            tip += " (" + formatLocalTime(loadString(sid::DateTimeFormat), entry.lastReasonTime) + ")";
    }
    if (usesTls(entry.protocol) && entry.certDaysKnown)
        tip += (tip.empty() ? "" : "\r\n") + certDaysLine(entry.certDaysLeft);
    return tip;
}

std::string graphReasonLine(const FailureReason &reason)
{
    return reason.failed() ? formatText(loadString(sid::FailureReasonLine), {reasonTextShown(reason)}) : std::string();
}

} // namespace vigilon
