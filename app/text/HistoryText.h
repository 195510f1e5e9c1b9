// SPDX-License-Identifier: MIT
#pragma once

#include "base/HistoryReader.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vigilon {

// A share of checks that answered (0 to 1) as the user sees it: a
// percentage cut, never rounded, to two decimals ("99.93 %"), so that a
// share below 1 never reads "100 %"; "–" where it is unknown (negative).
std::string uptimeText(double share);

// An outage as a row of the outage list: start, end, duration and reason.
// One under way ends "under way" and lasts until now; one whose end was
// not seen says so after its end. Times are milliseconds since 1970.
constexpr int kOutageColumns = 4;
std::array<std::string, kOutageColumns> outageRowTexts(const OutageView &outage, std::int64_t nowMillis);

// A duration in seconds as the outage list shows it (days only where it
// has any).
std::string outageDurationText(std::int64_t seconds);

// A time in milliseconds since 1970 as ISO 8601 local time with its offset
// from UTC, to the second: "2026-12-08T14:03:05+09:00".
std::string isoLocalTime(std::int64_t millis);

// The outages as a CSV file's bytes: a UTF-8 byte order mark (so that a
// spreadsheet reads the Japanese texts as they are), one header line, then
// a line per outage as given: start and end in ISO 8601 with offset (end
// empty while it lasts), the duration in whole seconds (until now while
// it lasts), the reason, whether the alert ran and whether the end was
// seen ("yes"/"no"; empty while it lasts). Lines end in CRLF; a field with
// a comma, quote or line break is quoted, its quotes doubled.
std::string outagesCsv(const std::vector<OutageView> &outages, std::int64_t nowMillis);

// The graph window's lines of an entry's history: the uptimes, then one
// line per outage given (start, duration, reason), at most maxOutages.
std::vector<std::string> graphHistoryLines(const UptimeView &uptime, std::int64_t nowMillis,
                                           std::size_t maxOutages = 3);

} // namespace vigilon
