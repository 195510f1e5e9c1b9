// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "base/FailureReason.h"

#include <cstdint>
#include <string>

namespace vigilon {

// The tool tip of a port list row: for a watched entry that has failed, why
// its last check failed and when, in one line; for a watched HTTPS or TLS
// entry whose certificate has been seen, the days it has left (on a line of
// its own after the reason); empty for any other row.
std::string failureTip(const EntryView &entry);

// The line that tells the days a certificate has left.
std::string certDaysLine(std::int32_t daysLeft);

// The graph window's line for a failed entry: its last reason; empty for
// none.
std::string graphReasonLine(const FailureReason &reason);

} // namespace vigilon
