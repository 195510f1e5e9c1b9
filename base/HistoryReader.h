// SPDX-License-Identifier: MIT
#pragma once

#include "base/FailureReason.h"

#include <cstdint>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace vigilon {

// What the history knows an entry by: what it watches. An entry whose
// settings change to watch something else starts a history of its own.
struct SeriesKey {
    std::string name;
    // The host it checks (its own, else the target host).
    std::string host;
    std::uint32_t port = 0;
    std::uint32_t kind = 0;

    auto tie() const { return std::tie(name, host, port, kind); }
    bool operator==(const SeriesKey &other) const { return tie() == other.tie(); }
    bool operator<(const SeriesKey &other) const { return tie() < other.tie(); }
};

// One outage of an entry: from the check that declared it failed to the
// first that answered again.
struct OutageView {
    // Milliseconds since 1970 UTC.
    std::int64_t startMillis = 0;
    // 0 while it lasts.
    std::int64_t endMillis = 0;
    // The outage ended when monitoring stopped (or the program ended), not
    // with an answer: its end is when it was last watched.
    bool endUnobserved = false;
    FailureReason reason;
    // The entry's alert command was run for it.
    bool alertRan = false;
    // A quiet period of the entry overlaps it (its uptime leaves that time
    // out).
    bool quiet = false;
};

// Availability over the last 24 hours, 7 days and 30 days: the share of
// checks that answered, 0 to 1; negative where no check was kept.
struct UptimeView {
    double day = -1;
    double week = -1;
    double month = -1;
    // The newest outages first.
    std::vector<OutageView> lastOutages;
};

// An entry's uptime as its status page shows it: the shares of answered
// checks over the last 24 hours, 7 days and 30 days (by whole hours, the
// hour under way included), and of each UTC day of the last kFigureDays,
// the oldest first and today last. Negative where no check was kept.
constexpr std::size_t kFigureDays = 90;
struct UptimeFigures {
    double day = -1;
    double week = -1;
    double month = -1;
    std::vector<double> days;
};

// One point of an entry's response-time series: a check (count 1), or the
// checks of a minute or an hour from their start. Response times are of the
// checks that answered, in microseconds; 0 when none did.
struct ResponsePoint {
    std::int64_t millis = 0;
    std::uint32_t count = 0;
    std::uint32_t failures = 0;
    std::uint64_t minMicros = 0, medianMicros = 0, maxMicros = 0;
    // A single check that failed: why.
    FailureReason reason;
};

// What the program may ask of the history. Answers come later, from the
// event loop, never from inside the call; they may not come at all when
// the history goes away first.
class HistoryReader {
public:
    virtual ~HistoryReader() = default;
    // The uptimes of one entry and its last outages (at most outageLimit).
    virtual void uptimeOf(const SeriesKey &key, std::size_t outageLimit, std::function<void(UptimeView)> done) = 0;
    // The outages of one entry, newest first, at most limit.
    virtual void outagesOf(const SeriesKey &key, std::size_t limit,
                           std::function<void(std::vector<OutageView>)> done) = 0;
    // The 24-hour uptime of every entry the history holds.
    virtual void dayUptimes(std::function<void(std::vector<std::pair<SeriesKey, double>>)> done) = 0;
};

} // namespace vigilon
