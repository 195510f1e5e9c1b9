// SPDX-License-Identifier: MIT
// The channels' outbox in the history file: beside the history's own
// connection, never in another program's database, and a file holding it
// is still the history's.
#include "history/HistoryFile.h"
#include "history/Outbox.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <tuple>

namespace vigilon::history {
namespace {

// (In a folder whose name is not ASCII, as a user's profile folder may be.)
TEST(Outbox, keepsMessagesBesideTheHistorysOwnConnectionAndOverAReopen)
{
    test::TempDir dir;
    const std::string path = dir / "履歴 ü/history.sqlite";
    HistoryFile history;
    std::string said;
    ASSERT_EQ(history.open(path, said), HistoryFile::Opened::Ok) << said;
    std::string why;
    std::vector<OutboxRecord> kept;
    {
        OutboxFile outbox;
        ASSERT_TRUE(outbox.open(path, why)) << why;
        for (int n = 0; n < 3; ++n) {
            OutboxRecord record{0, std::uint32_t(n), "key" + std::to_string(n), 100 + n, 200 + n, 0,
                                "Content-Type: text/plain\nTitle: =?UTF-8?B?44GC?=\n", std::string("body\0" "x", 6)};
            ASSERT_TRUE(outbox.add(record));
            EXPECT_GT(record.id, 0);
            kept.push_back(record);
        }
        kept[1].attempts = 4;
        kept[1].nextAttempt = 999;
        ASSERT_TRUE(outbox.update(kept[1]));
        ASSERT_TRUE(outbox.remove(kept[0].id));
        // The history writes on beside it.
        ASSERT_TRUE(history.begin());
        ASSERT_GT(history.seriesId(SeriesKey{"web", "host", 80, 0}), 0);
        ASSERT_TRUE(history.commit());
    }
    history.close();
    ASSERT_EQ(history.open(path, said), HistoryFile::Opened::Ok) << said;
    OutboxFile again;
    ASSERT_TRUE(again.open(path, why)) << why;
    const std::vector<OutboxRecord> loaded = again.load();
    ASSERT_EQ(loaded.size(), 2u);
    const auto fields = [](const OutboxRecord &r) {
        return std::tie(r.id, r.channel, r.channelKey, r.created, r.nextAttempt, r.attempts, r.headers, r.body);
    };
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(fields(loaded[i]), fields(kept[i + 1])) << i;
    EXPECT_EQ(history.series().size(), 1u);
}

TEST(Outbox, leavesAnotherProgramsDatabaseAsItIs)
{
    test::TempDir dir;
    const std::string path = dir / "other.sqlite";
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE accounts(id INTEGER)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    OutboxFile outbox;
    std::string why;
    EXPECT_FALSE(outbox.open(path, why));
    EXPECT_EQ(why, "a database of another program");
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt *query = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master", -1, &query, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(query), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(query, 0), 1);
    sqlite3_finalize(query);
    sqlite3_close(db);
    EXPECT_FALSE(outbox.open(dir.path(), why));
}

} // namespace
} // namespace vigilon::history
