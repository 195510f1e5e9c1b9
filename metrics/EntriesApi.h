// SPDX-License-Identifier: MIT
#pragma once

#include "base/HistoryReader.h"
#include "metrics/MetricsRegistry.h"

#include <map>
#include <memory>
#include <optional>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vigilon::metrics {

// The entry's id in the API and its badges: its kind and a hash of the kind,
// host and port it checks ("https-5d0c63a2f1e4b817"). No two entries check
// the same kind and port on one host, and nothing of the run goes into it,
// so it stays the same across restarts and as entries before it come and
// go; it changes when the entry is made to check something else. DNS
// entries may ask one server for several names: query (the name and type
// asked, empty for other kinds) goes into theirs too.
std::string entryApiId(std::uint32_t protocol, const std::string &host, std::uint32_t port,
                       const std::string &query = {});

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

// Parses an RFC 3339 time ("2026-12-09T04:07:36Z", "2026-12-09T13:07:36.5+09:00")
// into milliseconds since 1970; nothing for any other text.
std::optional<std::int64_t> parseRfc3339(std::string_view text);

// The uptime figures of every entry the history holds, by what the history
// knows it by; made off the event loop once in a while.
struct FiguresTable {
    std::map<SeriesKey, UptimeFigures> entries;
    // When they were made, milliseconds since 1970 UTC: the days' list ends
    // with that day.
    std::int64_t madeMillis = 0;
};

// An ETag made of what a document holds ("\"<kind><16 hex digits>\""): the
// same text has the same tag, in this run and the next.
std::string contentTag(std::string_view text, char kind);

// One entry as the API shows it.
struct EntryView {
    std::string id;
    std::size_t row = 0;
    // Valid UTF-8.
    std::string name;
    PortStatus status = Idle;
    // In a quiet period: checked, alerting no one.
    bool quiet = false;
    // Valid UTF-8, as the API shows them.
    std::string host;
    std::uint32_t port = 0;
    const char *kind = "";
    // Why its last check failed; empty when it answered.
    std::string reason;
    std::optional<double> lastResponseMs;
    std::optional<std::int32_t> certDaysLeft;
    // What the history knows it by.
    SeriesKey key;
    // From the history; null where it holds nothing of the entry.
    std::optional<UptimeFigures> figures;
    std::int64_t figuresMillis = 0;
    // Its JSON object.
    std::string json;
};

// The entries of one snapshot: each one's object, and the whole document of
// GET /api/v1/entries.
struct EntriesView {
    std::vector<EntryView> entries; // ascending by entry id
    bool monitoring = false;
    std::string document;
    // The document's ETag, made of its content.
    std::string etag;

    // By its API id, or by its row ("0" for the first entry); null when
    // none has it.
    const EntryView *find(std::string_view key) const;
};

// figures may be null (no history at hand).
EntriesView renderEntries(const MetricsSnapshot &snapshot, const FiguresTable *figures = nullptr);

// The uptime of an entry over its last days (1 to kFigureDays): the
// history's own 24-hour, 7-day and 30-day figures for 1, 7 and 30, else the
// mean of the days with checks among the last ones. Negative when none.
double uptimeOver(const EntryView &entry, unsigned days);

// The uptime badge: "uptime <days>d" on the left, the share on the right,
// coloured from green (99.9 % and more) to red (below 95 %), grey without
// data.
std::string uptimeBadge(const EntryView &entry, unsigned days);

// The documents of a series and of the outages in a range.
std::string seriesDocument(const EntryView &entry, std::int64_t fromMillis, std::int64_t toMillis,
                           const char *resolution, const std::vector<ResponsePoint> &points);
std::string outagesDocument(const EntryView &entry, std::int64_t fromMillis, std::int64_t toMillis,
                            const std::vector<OutageView> &outages);

// The status badge of an entry: its name on the left, its state on the
// right in the state's colour.
std::string statusBadge(const EntryView &entry);

} // namespace vigilon::metrics
