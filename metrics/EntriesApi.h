// SPDX-License-Identifier: MIT
#pragma once

#include "metrics/MetricsRegistry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vigilon::metrics {

// The entry's id in the API and its badges: its kind and a hash of the kind,
// host and port it checks ("https-5d0c63a2f1e4b817"). No two entries check
// the same kind and port on one host, and nothing of the run goes into it,
// so it stays the same across restarts and as entries before it come and
// go; it changes when the entry is made to check something else.
std::string entryApiId(std::uint32_t protocol, const std::string &host, std::uint32_t port);

// The stable name of an entry's state in the API: "ok", "warning",
// "failed", or "not_checked" while it has no verdict.
const char *stateName(PortStatus status);

// A time in milliseconds since 1970 as RFC 3339 in UTC, to the second:
// "2026-12-09T04:07:36Z".
std::string rfc3339(std::int64_t unixMillis);

// Text made fit for XML character data and attribute values: valid UTF-8,
// & < > " ' as references, and the characters XML 1.0 does not allow
// (control characters, U+FFFE, U+FFFF) as U+FFFD.
std::string xmlText(const std::string &text);

// One entry as the API shows it.
struct EntryView {
    std::string id;
    std::size_t row = 0;
    // Valid UTF-8.
    std::string name;
    PortStatus status = Idle;
    // Its JSON object.
    std::string json;
};

// The entries of one snapshot: each one's object, and the whole document of
// GET /api/v1/entries.
struct EntriesView {
    std::vector<EntryView> entries; // ascending by entry id
    std::string document;

    // By its API id, or by its row ("0" for the first entry); null when
    // none has it.
    const EntryView *find(std::string_view key) const;
};

EntriesView renderEntries(const MetricsSnapshot &snapshot);

// The status badge of an entry: its name on the left, its state on the
// right in the state's colour.
std::string statusBadge(const EntryView &entry);

} // namespace vigilon::metrics
