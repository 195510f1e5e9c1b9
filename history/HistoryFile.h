// SPDX-License-Identifier: MIT
#pragma once

#include "base/HistoryReader.h"
#include "history/HistoryCodec.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vigilon::history {

// Where the history file lies: $VIGILON_HISTORY when set; else beside the
// configuration store off Windows, in %LOCALAPPDATA%\Vigilon on Windows.
std::string defaultHistoryPath();

// Whether path may hold the history; why says it when not. It may when
// nothing is there yet, or a regular file (also through a link) that is not
// the configuration store's, and none of its companions (-journal, -wal,
// -shm) is anything but a regular file. A missing file is made, readable by
// its owner alone, for it names the hosts watched and when they failed;
// SQLite gives the companions it makes the file's mode.
bool prepareFile(const std::string &path, std::string &why);
// Closes the history file and its companions to others where they are the
// user's. Where the folder is the user's own already (Windows), nothing is
// done.
void makePrivate(const std::string &path);
// Whether path names the configuration store's own file (never on Windows,
// where the store is the registry). Looks without opening it.
bool isStoreFile(const std::string &path);

// Whether a table or index of that name belongs in the history file
// (SQLite's own, whose names begin with "sqlite_", included).
bool isHistoryTable(const std::string &name);

// The history file itself: a SQLite database in WAL mode, used by one
// thread. Series are what an entry watches. Raw results of an hour under
// way are kept one row per transaction holding every series' checks of it
// (table batches), so that a write adds a row at the end of one table rather
// than rewriting a row per series. Once the hour is over they are gathered
// into one row per series and hour (raw_closed) and summarised per minute
// with the hour's summary (summaries); once a day is over its hourly
// summaries go to a row per series and day (hour_days). These rows are
// written once, packed, and keyed by the hour (or day) times 2^32 plus the
// series, so that they are appended at the end of their tables. Rows of the
// earlier layout (raw: a row per series and hour appended to; minutes: per
// series and day; hours: per series and block of 32 days) are read with
// them until they age out. Outages are one row each.
class HistoryFile {
public:
    HistoryFile() = default;
    ~HistoryFile();
    HistoryFile(const HistoryFile &) = delete;
    HistoryFile &operator=(const HistoryFile &) = delete;

    enum class Opened {
        Ok,
        // The file was damaged, moved aside, and a fresh one started.
        Fresh,
        // The file cannot be used (locked, not writable, not a regular
        // file, the configuration store, another program's database).
        Unavailable,
    };
    // Opens (creates) the file; an outage left open by a program that
    // ended without closing it is closed, unobserved, at its series' last
    // check. said: what is worth telling the user, in English, on one line.
    Opened open(const std::string &path, std::string &said);
    void close();
    bool isOpen() const { return db_ != nullptr; }
    const std::string &path() const { return path_; }

    bool begin();
    bool commit();

    // The id of a series, made when new; 0 on a failure.
    std::int64_t seriesId(const SeriesKey &key);
    // The id of a known series; 0 when none.
    std::int64_t findSeries(const SeriesKey &key) const;
    const std::map<std::int64_t, SeriesKey> &series() const { return keys_; }

    // Appends one series' checks, in time order. They go to the file with
    // the next write of the transaction, its commit at the latest.
    bool appendChecks(std::int64_t series, const std::vector<RawCheck> &checks);
    bool outageBegan(std::int64_t series, std::int64_t millis, const FailureReason &reason, bool alertRan);
    // Ends the series' open outage (every open one where series is 0).
    bool outageEnded(std::int64_t series, std::int64_t millis, bool unobserved);

    // The quiet periods of a series: spans whose checks are kept but left
    // out of its summaries and uptimes. A span begun while one is open is
    // that one; ending one where none is open does nothing (series 0: every
    // open one ends).
    bool quietBegan(std::int64_t series, std::int64_t millis);
    bool quietEnded(std::int64_t series, std::int64_t millis);
    struct QuietSpan {
        std::int64_t start = 0;
        // 0 while it lasts.
        std::int64_t end = 0;
        bool operator==(const QuietSpan &) const = default;
    };
    std::vector<QuietSpan> quietSpans(std::int64_t series) const;
    // Whether a time of a series lies in one of its quiet spans.
    bool inQuiet(std::int64_t series, std::int64_t millis) const;

    // Summarises the raw hours before hour (hours since 1970) not yet
    // summarised.
    bool rollUp(std::int64_t beforeHour);
    // Rolls up and drops what is past keeping at nowMillis: raw results
    // after 48 hours, per-minute summaries after 30 days, hourly summaries
    // and ended outages after a year.
    bool prune(std::int64_t nowMillis);

    // Checks and answered checks of every series per hour, from sinceHour on.
    void hourCounts(std::int64_t sinceHour,
                    const std::function<void(std::int64_t series, std::int64_t hour, std::uint32_t count,
                                             std::uint32_t answered)> &each);
    // The share of answered checks of a series in [fromMillis, ...): from
    // its hourly summaries and its raw hours not yet summarised; negative
    // when it has none.
    double uptimeSince(std::int64_t series, std::int64_t fromMillis);
    std::vector<OutageView> outages(std::int64_t series, std::size_t limit);
    // The uptime figures of every series with checks in the last
    // kFigureDays days at nowMillis. One pass over each table, whatever
    // the number of series.
    std::vector<std::pair<SeriesKey, UptimeFigures>> figures(std::int64_t nowMillis);
    // Where a series is asked for at one resolution.
    enum class Resolution { Raw, Minute, Hour };
    // The resolution a range [fromMillis, toMillis] is answered in at
    // nowMillis: each check while the range is at most 6 hours and its raw
    // checks are kept, minutes while it is at most 7 days and their
    // summaries are kept, hours otherwise.
    static Resolution resolutionFor(std::int64_t fromMillis, std::int64_t toMillis, std::int64_t nowMillis);
    // A series' points in [fromMillis, toMillis] at that resolution, in
    // time order. Hours still in raw form are summarised for the minute and
    // hour points.
    std::vector<ResponsePoint> points(std::int64_t series, std::int64_t fromMillis, std::int64_t toMillis,
                                      Resolution resolution);
    // The outages of a series that overlap [fromMillis, toMillis], oldest
    // first, at most limit.
    std::vector<OutageView> outagesBetween(std::int64_t series, std::int64_t fromMillis, std::int64_t toMillis,
                                           std::size_t limit);
    // The per-minute and hourly summaries of a series, for inspection.
    std::vector<Summary> minuteSummaries(std::int64_t series, std::int64_t day);
    std::vector<Summary> hourSummaries(std::int64_t series, std::int64_t block);
    // The raw checks of a series in an hour, in time order, from every
    // layout that holds some.
    std::vector<RawCheck> rawChecks(std::int64_t series, std::int64_t hour);

private:
    bool exec(const char *sql);
    bool prepareSchema();
    std::string readBlob(const char *sql, std::int64_t a, std::int64_t b) const;
    // Writes the batch of checks gathered since the last write.
    bool flushBatch();
    // Gathers an hour's batches into rows of their own and summarises what
    // was not summarised yet.
    bool rollUpHour(std::int64_t hour);
    bool summarise(std::int64_t series, std::int64_t hour, const std::vector<RawCheck> &checks);
    // Gathers a day's hourly summaries, of every series, into its rows.
    bool writeDay(std::int64_t day);
    // The first column of a query's one row; -1 when it is null.
    std::int64_t newest(const char *sql);
    // The time of the last check kept for a series; 0 when none is.
    std::int64_t lastCheck(std::int64_t series);

    // The checks of a series that do not lie in its quiet spans.
    std::vector<RawCheck> withoutQuiet(std::int64_t series, std::vector<RawCheck> checks) const;
    // Marks the outages that a quiet span of the series overlaps.
    void markQuiet(std::int64_t series, std::vector<OutageView> &outages) const;

    sqlite3 *db_ = nullptr;
    // Every series' quiet spans, oldest first (table quiet_spans).
    std::unordered_map<std::int64_t, std::vector<QuietSpan>> quiet_;
    std::string path_;
    std::map<std::int64_t, SeriesKey> keys_;
    std::map<SeriesKey, std::int64_t> ids_;
    // Checks appended and not yet written, by hour: pieces of series.
    std::map<std::int64_t, std::string> batch_;
    // Days whose hours got late checks summarised: their rows are made
    // again.
    std::set<std::int64_t> lateDays_;
    // The writer's statements, prepared once.
    mutable std::unordered_map<std::string, sqlite3_stmt *> statements_;
};

} // namespace vigilon::history
