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

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/sysmacros.h>
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
    const std::vector<RawCheck> read = decodeRaw(blob, kStart);
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].millis, written[i].millis) << i;
        EXPECT_EQ(read[i].result, written[i].result) << i;
        EXPECT_EQ(read[i].micros, written[i].micros / 10 * 10) << i;
        EXPECT_EQ(read[i].reason, written[i].reason) << i;
    }
    // A cut-off record is left out, not misread.
    EXPECT_EQ(decodeRaw(blob.substr(0, blob.size() - 1), kStart).size(), written.size() - 1);

    const Summary s = summarize(written, 7);
    EXPECT_EQ(s.count, 6u);
    EXPECT_EQ(s.failures, 3u);
    EXPECT_EQ(s.minMicros, 90u);
    EXPECT_EQ(s.medianMicros, 1230u);
    EXPECT_EQ(s.maxMicros, 250000u);
    std::string runs;
    appendSummaries(runs, {s, summarize({written[5]}, 9)});
    appendSummaries(runs, {summarize({written[2]}, 3)});
    const std::vector<Summary> back = decodeSummaries(runs);
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].slot, 7u);
    EXPECT_EQ(back[1].slot, 9u);
    EXPECT_EQ(back[2].slot, 3u);
    EXPECT_EQ(back[2].failures, 1u);
    EXPECT_EQ(back[2].maxMicros, 0u);
    EXPECT_NEAR(double(back[0].medianMicros), 1230.0, 1230 * 0.02);
    EXPECT_NEAR(double(back[0].maxMicros), 250000.0, 250000 * 0.02);
    EXPECT_NEAR(double(back[1].minMicros), 90.0, 90 * 0.02);
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
    EXPECT_EQ(minutes[0].count, 4u);
    EXPECT_EQ(minutes[0].failures, 1u);
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
    const char *storeBefore = std::getenv("VIGILON_REGISTRY");
    const std::string keptStore = storeBefore ? storeBefore : "";
    ::setenv("VIGILON_REGISTRY", store.c_str(), 1);
    EXPECT_EQ(refused(store), "refused");
    std::filesystem::create_symlink(store, dir_ / "store-link.db");
    EXPECT_EQ(refused(dir_ / "store-link.db"), "refused");
    if (storeBefore)
        ::setenv("VIGILON_REGISTRY", keptStore.c_str(), 1);
    else
        ::unsetenv("VIGILON_REGISTRY");
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
