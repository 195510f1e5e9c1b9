// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "app/base/FailureReason.h"

#include <string>

namespace vigilon {

// The tool tip of a port list row: for a watched entry that has failed, why
// its last check failed and when, in one line; empty for any other row.
std::string failureTip(const EntryView &entry);

// The graph window's line for a failed entry: its last reason; empty for
// none.
std::string graphReasonLine(const FailureReason &reason);

} // namespace vigilon
