// SPDX-License-Identifier: MIT
#pragma once

#include "base/FailureReason.h"
#include "base/TextFormat.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vigilon {

// An entry that was declared failed, or that answers again after a failure.
struct StatusChange {
    std::uint32_t entryId = 0;
    std::string name;
    bool failed = false;
    // Why it failed (failures only).
    FailureReason reason;
    // The entry's own host; empty for the target host.
    std::string host;
};

// Adds change to the changes of this round. A change that undoes an earlier
// one of the same entry in the round cancels it: nothing is said of an
// entry that failed and answered again before the round was over.
void addStatusChange(std::vector<StatusChange> &changes, StatusChange change);

// One desktop notification for the changes of a round, in the interface's
// language: a summary naming the entry (or the number of entries) and a body
// with a line per entry naming it, its host (its own, else the target host)
// and, for a failure, the reason. The body holds whole lines only, at most
// maxLines of them and no more than bodyLimit takes; the lines left out
// are counted in a last line ("…and N more"). A single line that does not
// fit alone is cut and ends with "…". The summary is cut to summaryLimit.
struct DesktopNotice {
    std::string summary;
    std::string body;
    // At least one entry failed (shown as a warning).
    bool failure = false;
};
// What a desktop's notification shows whole, as it counts it.
struct NoticeLimits {
    TextLimit summary{SIZE_MAX, TextUnit::Characters};
    TextLimit body{SIZE_MAX, TextUnit::Characters};
};
DesktopNotice desktopNotice(const std::vector<StatusChange> &changes, const std::string &targetHost,
                            std::size_t maxLines = 8, NoticeLimits limits = {});

// An entry as a text that names entries of several hosts shows it: its
// name, with its own host when it has one.
std::string entryWithHost(const std::string &name, const std::string &host);

// The tray tip: base, then a line naming the failing entries, as many as fit
// in limit with "…" for the rest; base alone is cut to fit. Then, where room
// is left, a line naming the quiet entries the same way.
std::string trayTip(const std::string &base, const std::vector<std::string> &failing, TextLimit limit,
                    const std::vector<std::string> &quiet = {});
// The same with a line for each failing channel after them (and the quiet
// entries') (channels: the
// lines, see channelTipLine). The first channel's line keeps up to a third
// of the tip for itself, cut where it must be; the others follow while they
// fit whole.
std::string trayTip(const std::string &base, const std::vector<std::string> &failing,
                    const std::vector<std::string> &channels, TextLimit limit,
                    const std::vector<std::string> &quiet = {});
// A failing channel's line in the tip: its name (or its URL, masked, where
// it has none) and its last error.
std::string channelTipLine(const std::string &name, const std::string &error);

} // namespace vigilon
