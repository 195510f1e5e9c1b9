// SPDX-License-Identifier: MIT
// The history file on its own: its packed rows read back as written, and
// what is kept how long.
#include "history/HistoryFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

#ifndef _WIN32
#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vigilon::history {
namespace {

constexpr std::int64_t kMinute = 60 * 1000;
// Some midnight (UTC), a multiple of a block of hours too.
constexpr std::int64_t kStart = 20000 * kBlockHours * kHourMillis;

RawCheck check(std::int64_t millis, std::uint8_t result, std::uint64_t micros, FailureReason reason = {})
{
    return RawCheck{millis, result, micros, reason};
}

// Checks read back as written, their times in units of 10 µs.
void expectReadBack(const std::vector<RawCheck> &read, const std::vector<RawCheck> &written)
{
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t i = 0; i < read.size(); ++i)
        EXPECT_EQ(std::tie(read[i].millis, read[i].result, read[i].reason),
                  std::tie(written[i].millis, written[i].result, written[i].reason)) << i;
    for (std::size_t i = 0; i < read.size(); ++i)
        EXPECT_EQ(read[i].micros, written[i].micros / 10 * 10) << i;
}

// A summary's slot, count and failures.
std::tuple<std::uint32_t, std::uint32_t, std::uint32_t> counted(const Summary &s)
{
    return {s.slot, s.count, s.failures};
}

TEST(HistoryCodec, rawResultsAndSummariesReadBackAsWritten)
{
    std::string blob;
    RawTail tail;
    const std::vector<RawCheck> written = {
        check(kStart + 5, 0, 1230),
        check(kStart + 10005, 1, 250000),
        check(kStart + 20005, 3, 3000000, FailureReason::unreachable(3, 1, true)),
        check(kStart + 30005, 2, 40, FailureReason::httpStatus(503)),
        check(kStart + 40005, 3, 0, FailureReason::of(FailureKind::Refused)),
        check(kStart + 50005, 0, 90),
    };
    for (std::size_t i = 0; i < written.size(); ++i) {
        // A writer that starts from the stored blob continues it.
        if (i == 3)
            decodeRaw(blob, kStart, &tail);
        appendRaw(blob, tail, kStart, written[i]);
    }
    expectReadBack(decodeRaw(blob, kStart), written);
    // A cut-off record is left out, not misread.
    EXPECT_EQ(decodeRaw(blob.substr(0, blob.size() - 1), kStart).size(), written.size() - 1);

    const Summary s = summarize(written, 7);
    EXPECT_EQ(std::tie(s.count, s.failures, s.minMicros, s.medianMicros, s.maxMicros),
              std::make_tuple(6u, 3u, 90u, 1230u, 250000u));
    std::string runs;
    appendSummaries(runs, {s, summarize({written[5]}, 9)});
    appendSummaries(runs, {summarize({written[2]}, 3)});
    const std::vector<Summary> back = decodeSummaries(runs);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(std::tuple(back[0].slot, back[1].slot, back[2].slot), std::tuple(7u, 9u, 3u));
    EXPECT_EQ(std::tuple(back[2].failures, back[2].maxMicros), std::tuple(1u, 0u));
    EXPECT_NEAR(double(back[0].medianMicros), 1230.0, 1230 * 0.02);
    EXPECT_NEAR(double(back[0].maxMicros), 250000.0, 250000 * 0.02);
    EXPECT_NEAR(double(back[1].minMicros), 90.0, 90 * 0.02);
}

// Rows written once are packed in bits: read back as written, summaries'
// times within 2 %, and a cut-off row read as far as it is sound.
TEST(HistoryCodec, packedRowsReadBackAsWritten)
{
    std::vector<RawCheck> checks;
    for (int i = 0; i < 200; ++i)
        checks.push_back(check(kStart + 10000 * i + (i % 7), 0, 1000 + 37 * (i % 13)));
    checks[20] = check(kStart + 200000, 3, 3000000, FailureReason::unreachable(3, 1, true));
    checks[21] = check(kStart + 210000, 2, 40, FailureReason::httpStatus(503));
    checks[22] = check(kStart + 220000, 1, 120000000);
    // Out of order: kept at its predecessor's time, as appendRaw keeps it.
    checks[50].millis = checks[49].millis - 5000;
    std::vector<RawCheck> kept = checks;
    kept[50].millis = checks[49].millis;
    expectReadBack(unpackRaw(packRaw(checks, kStart), kStart), kept);
    // Cut off or with a byte changed, a row reads as far as it seems sound
    // and never past its end.
    const std::string packed = packRaw(checks, kStart);
    EXPECT_LT(unpackRaw(packed.substr(0, packed.size() / 2), kStart).size(), checks.size());
    EXPECT_TRUE(unpackRaw("", kStart).empty());
    const std::string summaries = packSummaries({{0, 6, 0, 900, 1500, 9000}, {1, 6, 2, 90, 150, 900}});
    for (const std::string &row : {packed, summaries}) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            std::string changed = row;
            changed[i] = static_cast<char>(changed[i] ^ 0xa5);
            EXPECT_LE(unpackRaw(changed, kStart).size(), changed.size() * 8);
            EXPECT_LE(unpackSummaries(changed).size(), changed.size() * 8);
        }
    }
    for (std::size_t i = 0; i < packed.size(); ++i)
        EXPECT_LT(unpackRaw(packed.substr(0, i), kStart).size(), checks.size());
    for (std::size_t i = 0; i < summaries.size(); ++i)
        EXPECT_LT(unpackSummaries(summaries.substr(0, i)).size(), 2u);

    std::vector<Summary> list;
    for (std::uint32_t slot = 0; slot < 60; ++slot)
        list.push_back({slot, 6, slot % 9 == 0 ? 1u : 0u, 900 + slot * 10, 1500 + slot * 20, 90000});
    list[30] = {30, 6, 6, 0, 0, 0};  // no answer
    list[31] = {31, 12, 0, 5, 5, 5}; // another count, times under a unit
    list.push_back({200, 4000, 17, 11, 250000, 120000000}); // after a gap
    const std::vector<Summary> back = unpackSummaries(packSummaries(list));
    ASSERT_EQ(back.size(), list.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
        EXPECT_EQ(counted(back[i]), counted(list[i])) << i;
        // Times under a unit of 10 µs are kept as none.
        for (const auto &[read, written] : {std::pair(back[i].minMicros, list[i].minMicros),
                                            std::pair(back[i].medianMicros, list[i].medianMicros),
                                            std::pair(back[i].maxMicros, list[i].maxMicros)}) {
            const double expected = written < 10 ? 0.0 : double(written);
            EXPECT_NEAR(double(read), expected, expected * 0.02) << i;
        }
    }
    EXPECT_TRUE(unpackSummaries(packSummaries({})).empty());
    // One alone, as an hour's is kept.
    const std::vector<Summary> one = unpackSummaries(packSummaries({list[60]}));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(counted(one[0]), std::tuple(200u, 4000u, 17u));
    EXPECT_NEAR(double(one[0].medianMicros), 250000.0, 250000 * 0.02);
    EXPECT_NEAR(double(one[0].maxMicros), 120000000.0, 120000000 * 0.02);

    const Summary merged = mergeSummaries(list[30], list[1]);
    EXPECT_EQ(std::tie(merged.count, merged.failures, merged.medianMicros),
              std::make_tuple(12u, 6u, list[1].medianMicros));
    const Summary both = mergeSummaries(list[1], list[60]);
    EXPECT_EQ(std::tie(both.minMicros, both.maxMicros, both.medianMicros),
              std::make_tuple(std::uint64_t(11), std::uint64_t(120000000), std::uint64_t(250000)));

    // A batch: pieces of several series, read alone; a cut-off one is not
    // read.
    std::string batch, piece;
    RawTail tail;
    appendRaw(piece, tail, kStart, checks[0]);
    appendPiece(batch, 7, piece);
    appendPiece(batch, 300, piece);
    std::vector<std::int64_t> seen;
    forEachPiece(batch, [&](std::int64_t series, const std::string &p) {
        seen.push_back(series);
        EXPECT_EQ(decodeRaw(p, kStart).size(), 1u);
    });
    EXPECT_EQ(seen, (std::vector<std::int64_t>{7, 300}));
    seen.clear();
    forEachPiece(batch.substr(0, batch.size() - 1), [&](std::int64_t series, const std::string &) {
        seen.push_back(series);
    });
    EXPECT_EQ(seen, (std::vector<std::int64_t>{7}));
}

class HistoryFileTest : public ::testing::Test {
protected:
    void reopen()
    {
        std::string said;
        ASSERT_EQ(file_.open(path_, said), HistoryFile::Opened::Ok) << said;
    }
    test::TempDir dir_;
    std::string path_ = dir_ / "sub/history.db";
    HistoryFile file_;
    const SeriesKey key_{"TCP 80", "127.0.0.1", 80, 0};
};

// Raw hours are summarised per minute and per hour; what is past keeping
// goes at the edges of 48 hours, 30 days and a year; all of it survives a
// reopen.
TEST_F(HistoryFileTest, rollsUpAndPrunesAtTheEdgesAndSurvivesAReopen)
{
    reopen();
    const std::int64_t series = file_.seriesId(key_);
    ASSERT_NE(series, 0);
    ASSERT_TRUE(file_.begin());
    // Minute 0: three answers, one failure; minute 1: one answer.
    ASSERT_TRUE(file_.appendChecks(series, {check(kStart + 1000, 0, 100), check(kStart + 11000, 1, 300),
                                            check(kStart + 21000, 3, 0), check(kStart + 31000, 0, 200)}));
    ASSERT_TRUE(file_.appendChecks(series, {check(kStart + kMinute + 1000, 0, 5000)}));
    ASSERT_TRUE(file_.outageBegan(series, kStart + 21000, FailureReason::of(FailureKind::Refused), true));
    ASSERT_TRUE(file_.outageEnded(series, kStart + 31000, false));
    ASSERT_TRUE(file_.commit());
    file_.close();
    reopen();
    ASSERT_EQ(file_.findSeries(key_), series);
    EXPECT_EQ(file_.rawChecks(series, kStart / kHourMillis).size(), 5u);
    EXPECT_DOUBLE_EQ(file_.uptimeSince(series, kStart), 0.8);

    ASSERT_TRUE(file_.begin());
    // A check appended after the reopen continues the stored hour.
    ASSERT_TRUE(file_.appendChecks(series, {check(kStart + 2 * kMinute, 0, 100)}));
    ASSERT_TRUE(file_.prune(kStart + kHourMillis));
    ASSERT_TRUE(file_.commit());
    EXPECT_EQ(file_.rawChecks(series, kStart / kHourMillis).size(), 6u);
    const std::vector<Summary> minutes = file_.minuteSummaries(series, kStart / kDayMillis);
    ASSERT_EQ(minutes.size(), 3u);
    EXPECT_EQ(counted(minutes[0]), std::tuple(0u, 4u, 1u));
    EXPECT_NEAR(double(minutes[0].medianMicros), 200.0, 4.0);
    EXPECT_EQ(minutes[1].slot, 1u);
    const std::vector<Summary> hours = file_.hourSummaries(series, kStart / kHourMillis / kBlockHours);
    ASSERT_EQ(hours.size(), 1u);
    EXPECT_EQ(hours[0].count, 6u);
    // Summarised once: the same window counts the same.
    EXPECT_NEAR(file_.uptimeSince(series, kStart), 5.0 / 6.0, 1e-9);
    ASSERT_TRUE(file_.prune(kStart + 2 * kHourMillis));
    EXPECT_EQ(file_.hourSummaries(series, kStart / kHourMillis / kBlockHours).size(), 1u);

    const auto keptAt = [&](std::int64_t now) {
        EXPECT_TRUE(file_.prune(now));
        return std::tuple(file_.rawChecks(series, kStart / kHourMillis).size(),
                          file_.minuteSummaries(series, kStart / kDayMillis).size(),
                          file_.hourSummaries(series, kStart / kHourMillis / kBlockHours).size(),
                          file_.outages(series, 10).size());
    };
    EXPECT_EQ(keptAt(kStart + 48 * kHourMillis), std::tuple(6u, 3u, 1u, 1u));
    EXPECT_EQ(keptAt(kStart + 49 * kHourMillis), std::tuple(0u, 3u, 1u, 1u));
    EXPECT_EQ(keptAt(kStart + 31 * kDayMillis - 1), std::tuple(0u, 3u, 1u, 1u));
    EXPECT_EQ(keptAt(kStart + 31 * kDayMillis), std::tuple(0u, 0u, 1u, 1u));
    EXPECT_EQ(keptAt(kStart + 365 * kDayMillis + 31000), std::tuple(0u, 0u, 1u, 1u));
    EXPECT_EQ(keptAt(kStart + 365 * kDayMillis + 31001), std::tuple(0u, 0u, 1u, 0u));
    // Hourly summaries go by whole days, once the day's end is a year old.
    const std::int64_t dayEnd = kStart + kDayMillis;
    EXPECT_EQ(keptAt(dayEnd + 365 * kDayMillis - 1), std::tuple(0u, 0u, 1u, 0u));
    EXPECT_EQ(keptAt(dayEnd + 365 * kDayMillis), std::tuple(0u, 0u, 0u, 0u));
}

// A check that comes late for an hour already summarised (the clock set
// back) is kept raw with the hour's others and counted in its summaries.
TEST_F(HistoryFileTest, aLateCheckJoinsItsSummarisedHour)
{
    reopen();
    const std::int64_t series = file_.seriesId(key_);
    ASSERT_TRUE(file_.begin());
    ASSERT_TRUE(file_.appendChecks(series, {check(kStart + 1000, 0, 100), check(kStart + kMinute, 0, 300)}));
    ASSERT_TRUE(file_.prune(kStart + kHourMillis));
    ASSERT_TRUE(file_.commit());
    ASSERT_TRUE(file_.begin());
    ASSERT_TRUE(file_.appendChecks(series, {check(kStart + 5000, 3, 0), check(kStart + kHourMillis, 0, 100)}));
    ASSERT_TRUE(file_.prune(kStart + 2 * kHourMillis));
    ASSERT_TRUE(file_.commit());
    EXPECT_EQ(file_.rawChecks(series, kStart / kHourMillis).size(), 3u);
    EXPECT_DOUBLE_EQ(file_.uptimeSince(series, kStart), 0.75);
    const std::vector<Summary> minutes = file_.minuteSummaries(series, kStart / kDayMillis);
    ASSERT_GE(minutes.size(), 2u);
    EXPECT_EQ(counted(minutes[0]), std::tuple(0u, 2u, 1u));
    const std::vector<Summary> hours = file_.hourSummaries(series, kStart / kHourMillis / kBlockHours);
    ASSERT_EQ(hours.size(), 2u);
    EXPECT_EQ(std::tie(hours[0].count, hours[0].failures), std::tuple(3u, 1u));
}

// The status page's figures and the API's series and outages: each check
// counted once whichever rows hold it (a day's summaries and its day row,
// raw hours not summarised yet), at the resolution the range asks for.
TEST_F(HistoryFileTest, figuresSeriesAndOutagesCountEachCheckOnce)
{
    reopen();
    const std::int64_t series = file_.seriesId(key_);
    const std::int64_t now = kStart + 100 * kDayMillis + 10 * kHourMillis;
    const std::int64_t today = now / kDayMillis;
    const auto day = [&](std::int64_t back) { return (today - back) * kDayMillis; };
    ASSERT_TRUE(file_.begin());
    // 40 days back: 4 checks, 1 failed; 3 days back: 2 answered; today,
    // two hours ago: 1 failed; this hour: 3 answered, not summarised.
    ASSERT_TRUE(file_.appendChecks(series, {check(day(40) + kMinute, 0, 100), check(day(40) + 2 * kMinute, 3, 0),
                                            check(day(40) + 3 * kMinute, 0, 100), check(day(40) + 4 * kMinute, 0, 100)}));
    ASSERT_TRUE(file_.appendChecks(series, {check(day(3) + 5 * kHourMillis, 0, 1000),
                                            check(day(3) + 5 * kHourMillis + kMinute, 0, 3000)}));
    ASSERT_TRUE(file_.appendChecks(series, {check(now - 2 * kHourMillis, 3, 0, FailureReason::of(FailureKind::Refused))}));
    ASSERT_TRUE(file_.outageBegan(series, day(3) + 6 * kHourMillis, FailureReason::of(FailureKind::TimedOut), false));
    ASSERT_TRUE(file_.outageEnded(series, day(3) + 7 * kHourMillis, false));
    ASSERT_TRUE(file_.outageBegan(series, now - 2 * kHourMillis, FailureReason::of(FailureKind::Refused), true));
    // Rolled up: the earlier days have their summaries and their day rows.
    ASSERT_TRUE(file_.prune(now - kHourMillis));
    ASSERT_TRUE(file_.appendChecks(series, {check(now - 3 * kMinute, 0, 500), check(now - 2 * kMinute, 0, 700),
                                            check(now - kMinute, 0, 900)}));
    ASSERT_TRUE(file_.commit());

    const auto all = file_.figures(now);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].first, key_);
    const UptimeFigures &f = all[0].second;
    ASSERT_EQ(f.days.size(), kFigureDays);
    // Shares of whole checks: 3 of 4 and 1 are exact.
    EXPECT_EQ(std::tuple(f.days[89 - 40], f.days[89 - 3], f.days[89], f.day), std::tuple(0.75, 1.0, 0.75, 0.75));
    EXPECT_LT(f.days[89 - 4], 0);
    EXPECT_DOUBLE_EQ(f.week, 5.0 / 6.0);
    EXPECT_DOUBLE_EQ(f.month, 5.0 / 6.0);

    using Resolution = HistoryFile::Resolution;
    EXPECT_EQ(HistoryFile::resolutionFor(now - 6 * kHourMillis, now, now), Resolution::Raw);
    EXPECT_EQ(HistoryFile::resolutionFor(now - 6 * kHourMillis - 1, now, now), Resolution::Minute);
    EXPECT_EQ(HistoryFile::resolutionFor(now - 50 * kHourMillis, now - 49 * kHourMillis, now), Resolution::Minute);
    EXPECT_EQ(HistoryFile::resolutionFor(now - 7 * kDayMillis - 1, now, now), Resolution::Hour);
    EXPECT_EQ(HistoryFile::resolutionFor(now - 31 * kDayMillis, now - 30 * kDayMillis, now), Resolution::Hour);

    // Raw: the checks themselves, the range's ends included.
    const auto raw = file_.points(series, now - 2 * kHourMillis, now - 2 * kMinute, Resolution::Raw);
    ASSERT_EQ(raw.size(), 3u);
    EXPECT_EQ(std::tie(raw[0].failures, raw[0].reason.kind), std::tuple(1u, FailureKind::Refused));
    EXPECT_EQ(std::tie(raw[2].millis, raw[2].medianMicros), std::tuple(now - 2 * kMinute, 700u));
    // Minutes: summarised ones and those of the hour under way alike.
    const auto minutes = file_.points(series, day(3), now, Resolution::Minute);
    ASSERT_EQ(minutes.size(), 6u);
    EXPECT_EQ(std::tie(minutes[0].millis, minutes[0].count), std::tuple(day(3) + 5 * kHourMillis, 1u));
    EXPECT_EQ(minutes.back().millis, now - kMinute);
    // Hours over 60 days: each hour with checks once.
    const auto hours = file_.points(series, now - 60 * kDayMillis, now, Resolution::Hour);
    ASSERT_EQ(hours.size(), 4u);
    EXPECT_EQ(std::tie(hours[0].count, hours[0].failures, hours[1].count), std::tuple(4u, 1u, 2u));
    EXPECT_EQ(std::tie(hours[3].millis, hours[3].count), std::tuple(now - kHourMillis, 3u));

    // Outages overlapping the range, oldest first; the open one too.
    EXPECT_EQ(file_.outagesBetween(series, now - kHourMillis, now, 10).size(), 1u);
    const auto outages = file_.outagesBetween(series, day(3) + 6 * kHourMillis + 1, now, 10);
    ASSERT_EQ(outages.size(), 2u);
    EXPECT_EQ(outages[0].reason.kind, FailureKind::TimedOut);
    EXPECT_EQ(outages[1].endMillis, 0);
    EXPECT_TRUE(file_.outagesBetween(series, day(3), day(3) + 6 * kHourMillis - 1, 10).empty());
    EXPECT_EQ(file_.outagesBetween(series, 0, now, 1).size(), 1u);

    // Once the day rows are all that is left of the older days.
    ASSERT_TRUE(file_.prune(now + 20 * kDayMillis));
    const UptimeFigures later = file_.figures(now + 20 * kDayMillis).at(0).second;
    EXPECT_DOUBLE_EQ(later.days[89 - 60], 0.75);
    EXPECT_DOUBLE_EQ(later.days[89 - 23], 1.0);
    EXPECT_LT(later.week, 0);
}

// The layout the file had before its checks were written in batches and
// its closed rows packed: one row per series and hour appended to, the
// summaries by day and by block. Such a file is read as it was and goes on
// in the later layout; its rows are neither lost nor rewritten.
TEST_F(HistoryFileTest, aFileOfTheFirstLayoutIsReadAndGoesOn)
{
    const std::int64_t hour0 = kStart / kHourMillis, hour1 = hour0 + 1;
    const std::int64_t day = kStart / kDayMillis, block = hour0 / kBlockHours;
    const std::vector<RawCheck> first = {check(kStart + 1000, 0, 100), check(kStart + 11000, 1, 300),
                                         check(kStart + 21000, 3, 0, FailureReason::of(FailureKind::Refused))};
    const std::vector<RawCheck> second = {check(kStart + kHourMillis + 1000, 0, 200),
                                          check(kStart + kHourMillis + 11000, 3, 0)};
    std::string rolledRow, openRow, minutesRow, hoursRow;
    RawTail tail;
    for (const RawCheck &c : first)
        appendRaw(rolledRow, tail, hour0 * kHourMillis, c);
    tail = {};
    for (const RawCheck &c : second)
        appendRaw(openRow, tail, hour1 * kHourMillis, c);
    appendSummaries(minutesRow, {summarize(first, 0)});
    appendSummaries(hoursRow, {summarize(first, static_cast<std::uint32_t>(hour0 % kBlockHours))});
    std::filesystem::create_directories(dir_ / "sub");
    {
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
        const char *schema = R"(
PRAGMA journal_mode=WAL;
CREATE TABLE series(id INTEGER PRIMARY KEY, name TEXT NOT NULL, host TEXT NOT NULL,
    port INTEGER NOT NULL, kind INTEGER NOT NULL, UNIQUE(name, host, port, kind));
CREATE TABLE raw(series INTEGER NOT NULL, hour INTEGER NOT NULL,
    rolled INTEGER NOT NULL DEFAULT 0, data BLOB NOT NULL, PRIMARY KEY(series, hour));
CREATE TABLE minutes(series INTEGER NOT NULL, day INTEGER NOT NULL, data BLOB NOT NULL,
    PRIMARY KEY(series, day));
CREATE TABLE hours(series INTEGER NOT NULL, block INTEGER NOT NULL, data BLOB NOT NULL,
    PRIMARY KEY(series, block));
CREATE TABLE outages(id INTEGER PRIMARY KEY, series INTEGER NOT NULL, start INTEGER NOT NULL,
    ended INTEGER NOT NULL DEFAULT 0, unobserved INTEGER NOT NULL DEFAULT 0, kind INTEGER NOT NULL,
    type INTEGER NOT NULL, code INTEGER NOT NULL, icmp6 INTEGER NOT NULL, alert INTEGER NOT NULL);
CREATE INDEX outages_by_series ON outages(series, start);
INSERT INTO series VALUES (1, 'TCP 80', '127.0.0.1', 80, 0);
)";
        ASSERT_EQ(sqlite3_exec(db, schema, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_stmt *stmt = nullptr;
        const auto row = [&](const char *sql, std::int64_t slot, const std::string &blob) {
            ASSERT_EQ(sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr), SQLITE_OK);
            sqlite3_bind_int64(stmt, 1, slot);
            sqlite3_bind_blob(stmt, 2, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
            EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
            sqlite3_finalize(stmt);
        };
        row("INSERT INTO raw VALUES (1, ?, 1, ?)", hour0, rolledRow);
        row("INSERT INTO raw VALUES (1, ?, 0, ?)", hour1, openRow);
        row("INSERT INTO minutes VALUES (1, ?, ?)", day, minutesRow);
        row("INSERT INTO hours VALUES (1, ?, ?)", block, hoursRow);
        // An outage that ended, and one under way when the program ended.
        ASSERT_EQ(sqlite3_exec(db,
                               ("INSERT INTO outages(series, start, ended, unobserved, kind, type, code, icmp6, alert) "
                                "VALUES (1, " + std::to_string(kStart + 21000) + ", " +
                                std::to_string(kStart + 31000) + ", 0, " +
                                std::to_string(int(FailureKind::Refused)) + ", -1, -1, 0, 1), (1, " +
                                std::to_string(kStart + kHourMillis + 11000) + ", 0, 0, " +
                                std::to_string(int(FailureKind::TimedOut)) + ", -1, -1, 0, 0)")
                                   .c_str(),
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    const auto rawRowsAsWritten = [&] {
        sqlite3 *db = nullptr;
        EXPECT_EQ(sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt *stmt = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, "SELECT data FROM raw ORDER BY hour", -1, &stmt, nullptr), SQLITE_OK);
        std::vector<std::string> rows;
        while (sqlite3_step(stmt) == SQLITE_ROW)
            rows.emplace_back(static_cast<const char *>(sqlite3_column_blob(stmt, 0)),
                              static_cast<std::size_t>(sqlite3_column_bytes(stmt, 0)));
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        return rows == std::vector<std::string>{rolledRow, openRow};
    };
    const auto counts = [&] {
        std::vector<std::tuple<std::int64_t, std::uint32_t, std::uint32_t>> list;
        file_.hourCounts(hour0,
                         [&](std::int64_t series, std::int64_t hour, std::uint32_t count, std::uint32_t answered) {
                             EXPECT_EQ(series, 1);
                             list.emplace_back(hour - hour0, count, answered);
                         });
        return list;
    };
    using Counts = std::vector<std::tuple<std::int64_t, std::uint32_t, std::uint32_t>>;

    reopen();
    ASSERT_EQ(file_.findSeries(key_), 1);
    const std::vector<OutageView> outages = file_.outages(1, 10);
    ASSERT_EQ(outages.size(), 2u);
    // The one left open ends, unobserved, at the series' last check.
    EXPECT_EQ(std::tie(outages[0].startMillis, outages[0].endMillis, outages[0].endUnobserved, outages[0].reason.kind),
              std::make_tuple(kStart + kHourMillis + 11000, kStart + kHourMillis + 11000, true, FailureKind::TimedOut));
    EXPECT_EQ(std::tie(outages[1].endMillis, outages[1].endUnobserved, outages[1].alertRan, outages[1].reason.kind),
              std::make_tuple(kStart + 31000, false, true, FailureKind::Refused));
    EXPECT_EQ(file_.rawChecks(1, hour0).size(), 3u);
    EXPECT_EQ(file_.rawChecks(1, hour1).size(), 2u);
    EXPECT_EQ(file_.rawChecks(1, hour0)[2].reason.kind, FailureKind::Refused);
    EXPECT_DOUBLE_EQ(file_.uptimeSince(1, kStart), 3.0 / 5.0);
    EXPECT_EQ(counts(), (Counts{{0, 3, 2}, {1, 2, 1}}));
    EXPECT_EQ(file_.minuteSummaries(1, day).size(), 1u);
    EXPECT_EQ(file_.hourSummaries(1, block).size(), 1u);

    // The hour under way goes on, and is summarised once, whole.
    ASSERT_TRUE(file_.begin());
    ASSERT_TRUE(file_.appendChecks(1, {check(kStart + kHourMillis + 2 * kMinute, 0, 400)}));
    ASSERT_TRUE(file_.commit());
    EXPECT_EQ(file_.rawChecks(1, hour1).size(), 3u);
    EXPECT_DOUBLE_EQ(file_.uptimeSince(1, kStart), 4.0 / 6.0);
    ASSERT_TRUE(file_.begin());
    ASSERT_TRUE(file_.prune(kStart + 2 * kHourMillis));
    ASSERT_TRUE(file_.commit());
    file_.close();
    EXPECT_TRUE(rawRowsAsWritten());
    reopen();
    EXPECT_EQ(file_.rawChecks(1, hour1).size(), 3u);
    EXPECT_DOUBLE_EQ(file_.uptimeSince(1, kStart), 4.0 / 6.0);
    EXPECT_EQ(counts(), (Counts{{0, 3, 2}, {1, 3, 2}}));
    const std::vector<Summary> minutes = file_.minuteSummaries(1, day);
    ASSERT_EQ(minutes.size(), 3u);
    EXPECT_EQ(std::tie(minutes[1].slot, minutes[1].count, minutes[2].slot), std::tuple(60u, 2u, 62u));
    std::vector<Summary> hours = file_.hourSummaries(1, block);
    ASSERT_EQ(hours.size(), 2u);
    EXPECT_EQ(std::tie(hours[1].slot, hours[1].count), std::tuple(hours[0].slot + 1, 3u));
    // The day over: its hours in a row of their own, counted the same.
    ASSERT_TRUE(file_.begin());
    ASSERT_TRUE(file_.prune(kStart + kDayMillis + kHourMillis));
    ASSERT_TRUE(file_.commit());
    EXPECT_EQ(file_.hourSummaries(1, block).size(), 2u);
    EXPECT_DOUBLE_EQ(file_.uptimeSince(1, kStart), 4.0 / 6.0);
    EXPECT_EQ(file_.outages(1, 10).size(), 2u);
    file_.close();
    EXPECT_TRUE(rawRowsAsWritten());
}

#ifndef _WIN32
// The permission bits of a file; -1 when there is none.
int modeOf(const std::string &path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

// A database of another program: one table, rollback journal.
void otherDatabase(const std::string &path, const char *table)
{
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, (std::string("CREATE TABLE ") + table + "(x); INSERT INTO " + table +
                                " VALUES (1)").c_str(), nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
}

// The names in a database's schema, and its journal mode, joined.
std::string schemaOf(const std::string &path)
{
    sqlite3 *db = nullptr;
    std::string out;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK)
        sqlite3_exec(db, "SELECT name FROM sqlite_master UNION ALL SELECT * FROM pragma_journal_mode",
                     [](void *text, int, char **values, char **) {
                         *static_cast<std::string *>(text) += std::string(values[0] ? values[0] : "") + " ";
                         return 0;
                     },
                     &out, nullptr);
    sqlite3_close(db);
    return out;
}

// Whether a process other than this one may take byte `offset` of a file
// for writing: asked from a child, as a process never conflicts with its
// own locks.
bool othersMayLock(const std::string &path, off_t offset)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        lock.l_start = offset;
        lock.l_len = 1;
        ::_exit(fd >= 0 && ::fcntl(fd, F_GETLK, &lock) == 0 ? (lock.l_type == F_UNLCK ? 0 : 1) : 2);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 2);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A connection keeps a shared lock on its shared memory file's "dead man"
// byte (128) for as long as it is open: the first connection of a file
// tells by that lock whether it may set up the shared memory afresh.
// Making the files private on opening must leave that lock in place.
TEST_F(HistoryFileTest, makingItsFilesPrivateKeepsTheConnectionsLocks)
{
    std::filesystem::create_directories(dir_ / "sub");
    std::ofstream(path_).close();
    ::chmod(path_.c_str(), 0644);
    reopen();
    EXPECT_EQ(modeOf(path_), 0600);
    ASSERT_TRUE(std::filesystem::exists(path_ + "-shm"));
    EXPECT_FALSE(othersMayLock(path_ + "-shm", 128));
}

// Every file of the history is its owner's alone, also when it starts
// afresh after damage; the damage is told on one line. A device, a FIFO,
// the configuration store or another program's database is never used,
// through a link or not, and nothing is written beside or into it.
TEST_F(HistoryFileTest, keepsItsFilesPrivateAndUsesNothingElse)
{
    const mode_t umaskBefore = ::umask(022);
    std::filesystem::create_directories(dir_ / "sub");
    {
        // A damaged history whose integrity check finds several faults:
        // one line per fault in SQLite's report.
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "PRAGMA page_size=4096; CREATE TABLE raw(x); CREATE INDEX outages_by_series ON raw(x);"
                                   "WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM n WHERE k < 100) "
                                   "INSERT INTO raw SELECT randomblob(500) FROM n;",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
        std::fstream file(path_, std::ios::in | std::ios::out | std::ios::binary);
        for (const int page : {3, 5, 9}) {
            file.seekp(4096 * page);
            file << '\x0d' << std::string(300, '\xff');
        }
    }
    ::chmod(path_.c_str(), 0600);
    std::string said;
    ASSERT_EQ(file_.open(path_, said), HistoryFile::Opened::Fresh) << said;
    EXPECT_EQ(said.find('\n'), std::string::npos) << said;
    EXPECT_NE(said.find("moved it aside"), std::string::npos) << said;
    const std::int64_t series = file_.seriesId(key_);
    ASSERT_TRUE(file_.begin());
    ASSERT_TRUE(file_.appendChecks(series, {check(kStart, 0, 100)}));
    ASSERT_TRUE(file_.commit());
    for (const char *suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(modeOf(path_ + suffix), 0600) << suffix;
    file_.close();
    // Left open to others by some other hand: closed again, companions too.
    ::chmod(path_.c_str(), 0644);
    std::ofstream(path_ + "-journal").close();
    ::chmod((path_ + "-journal").c_str(), 0644);
    reopen();
    EXPECT_EQ(modeOf(path_), 0600);
    EXPECT_EQ(modeOf(path_ + "-journal"), 0600);
    file_.close();
    std::filesystem::remove(path_ + "-journal");
    // Through a link, a history file is used as it is.
    const std::string link = dir_ / "link.db";
    std::filesystem::create_symlink(path_, link);
    ASSERT_EQ(file_.open(link, said), HistoryFile::Opened::Ok) << said;
    EXPECT_EQ(file_.findSeries(key_), series);
    file_.close();

    const auto refused = [&](const std::string &path) {
        std::string told;
        const HistoryFile::Opened opened = file_.open(path, told);
        file_.close();
        EXPECT_EQ(told.find('\n'), std::string::npos) << told;
        return opened == HistoryFile::Opened::Unavailable && !told.empty() ? std::string("refused")
                                                                             : "used: " + told;
    };
    // The configuration store, itself and through a link.
    const std::string store = dir_ / "store.sqlite";
    otherDatabase(store, "keys");
    {
        const test::ScopedEnv env{{"VIGILON_REGISTRY", store}};
        EXPECT_EQ(refused(store), "refused");
        std::filesystem::create_symlink(store, dir_ / "store-link.db");
        EXPECT_EQ(refused(dir_ / "store-link.db"), "refused");
    }
    EXPECT_EQ(schemaOf(store), "keys delete ");
    EXPECT_EQ(modeOf(store + "-wal"), -1);
    // Another program's database through a link: left as it was.
    const std::string other = dir_ / "places.sqlite";
    otherDatabase(other, "places");
    ::chmod(other.c_str(), 0644);
    std::filesystem::create_symlink(other, dir_ / "other-link.db");
    EXPECT_EQ(refused(dir_ / "other-link.db"), "refused");
    EXPECT_EQ(schemaOf(other), "places delete ");
    EXPECT_EQ(modeOf(other), 0644);
    // A device (where the test may make one) and a FIFO: nothing is put
    // beside them.
    const std::string device = dir_ / "null";
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
        EXPECT_EQ(refused(device), "refused");
        EXPECT_EQ(modeOf(device + "-journal"), -1);
        EXPECT_EQ(modeOf(device + "-wal"), -1);
    }
    const std::string fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(refused(fifo), "refused");
    EXPECT_EQ(modeOf(fifo + "-journal"), -1);
    ::umask(umaskBefore);
}
#endif

} // namespace
} // namespace vigilon::history
