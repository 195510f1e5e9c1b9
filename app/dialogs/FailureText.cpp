// SPDX-License-Identifier: MIT
#include "app/dialogs/FailureText.h"

#include "app/base/StringTable.h"
#include "app/base/TextFormat.h"
#include "app/dialogs/TimeText.h"

namespace vigilon {

std::string failureTip(const EntryView &entry)
{
    if (entry.placeholder || !entry.active || entry.status != Failed || !entry.lastReason.failed())
        return {};
    std::string tip = formatText(loadString(sid::FailureReasonLine), {reasonTextShown(entry.lastReason)});
    if (entry.lastReasonTime != 0)
        tip += " (" + formatLocalTime(loadString(sid::DateTimeFormat), entry.lastReasonTime) + ")";
    return tip;
}

std::string graphReasonLine(const FailureReason &reason)
{
    return reason.failed() ? formatText(loadString(sid::FailureReasonLine), {reasonTextShown(reason)}) : std::string();
}

} // namespace vigilon
