// SPDX-License-Identifier: MIT
// The history as the program uses it: fed on a real loop, written by its
// real worker into a real file.
#include "history/History.h"

#include "base/MonitorPort.h"
#include "base/PollEventLoop.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace vigilon::history {
namespace {

constexpr std::int64_t kStart = 20000 * kBlockHours * kHourMillis;

class HistoryTest : public ::testing::Test {
protected:
    std::unique_ptr<History> make(bool kept = true)
    {
        History::Options options;
        options.path = path_;
        options.nowMillis = [this] { return now_.load(); };
        options.trouble = [this](History::Trouble trouble, const std::string &) { troubles_.push_back(trouble); };
        return std::make_unique<History>(loop_, std::move(options), kept);
    }
    static void entry(MonitorPort &port, std::uint32_t id, const std::string &name)
    {
        port.id = id;
        port.name = name;
        port.port = 80;
    }
    void feed(History &history, const MonitorPort &port, std::int64_t millis, CheckOutcome::Result result)
    {
        CheckOutcome outcome;
        outcome.entry = &port;
        outcome.host = &host_;
        outcome.unixMillis = millis;
        outcome.result = result;
        outcome.micros = 1500;
        history.checkDone(outcome);
    }
    SeriesKey key(const MonitorPort &port) const { return {port.name, host_, port.port, port.protocol}; }
    // Asks and runs the loop until the answer is in.
    template <typename T, typename Ask> T ask(Ask ask)
    {
        std::optional<T> answer;
        ask([&](T value) { answer = std::move(value); });
        EXPECT_TRUE(loop_.runUntil([&] { return answer.has_value(); }, 10000));
        return answer.value_or(T{});
    }
    UptimeView uptime(History &history, const MonitorPort &port)
    {
        return ask<UptimeView>([&](auto done) { history.uptimeOf(key(port), 10, done); });
    }
    std::vector<OutageView> outages(History &history, const MonitorPort &port)
    {
        return ask<std::vector<OutageView>>([&](auto done) { history.outagesOf(key(port), 10, done); });
    }
    std::vector<std::pair<SeriesKey, double>> dayUptimes(History &history)
    {
        return ask<std::vector<std::pair<SeriesKey, double>>>([&](auto done) { history.dayUptimes(done); });
    }

    test::TempDir dir_;
    std::string path_ = dir_ / "history.db";
    std::string host_ = "127.0.0.1";
    std::atomic<std::int64_t> now_{kStart};
    PollEventLoop loop_;
    std::vector<History::Trouble> troubles_;
};

// Uptime over the last day, week and month counts answered checks (Ok and
// Warning), and stays the same across a restart.
TEST_F(HistoryTest, uptimesOverTheThreeWindowsSurviveARestart)
{
    MonitorPort web, mail;
    entry(web, 1, "HTTP 80");
    entry(mail, 2, "TCP 25");
    {
        auto history = make();
        using R = CheckOutcome::Result;
        // 20 days ago: all down; 3 days ago: all up; within the day: 3 of 4.
        for (int i = 0; i < 4; ++i)
            feed(*history, web, kStart + i * 1000, i == 0 ? R::Failed : R::Retry);
        feed(*history, web, kStart + 17 * kDayMillis, R::Ok);
        feed(*history, web, kStart + 17 * kDayMillis + 1000, R::Warning);
        for (int i = 0; i < 4; ++i)
            feed(*history, web, kStart + 20 * kDayMillis + i * 1000, i == 2 ? R::Failed : R::Ok);
        feed(*history, mail, kStart + 20 * kDayMillis, R::Ok);
        now_ = kStart + 20 * kDayMillis + kHourMillis;
        history->sync();
        for (int run = 0; run < 2; ++run) {
            const UptimeView view = uptime(*history, web);
            EXPECT_DOUBLE_EQ(view.day, 0.75);
            EXPECT_DOUBLE_EQ(view.week, 5.0 / 6.0);
            EXPECT_DOUBLE_EQ(view.month, 0.5);
            if (run == 0)
                history = make(); // the second answers from the reopened file
        }
        auto days = dayUptimes(*history);
        std::sort(days.begin(), days.end());
        ASSERT_EQ(days.size(), 2u);
        EXPECT_EQ(days[0], std::pair(key(web), 0.75));
        EXPECT_EQ(days[1], std::pair(key(mail), 1.0));
        // A question counts every check handed over before it, written or
        // not: what the list asks after a change of state includes it.
        feed(*history, mail, now_, CheckOutcome::Result::Failed);
        days = dayUptimes(*history);
        std::sort(days.begin(), days.end());
        ASSERT_EQ(days.size(), 2u);
        EXPECT_EQ(days[1], std::pair(key(mail), 0.5));
    }
    // A day later the last day has nothing; an unknown entry has nothing.
    now_ = kStart + 21 * kDayMillis + kHourMillis;
    auto history = make();
    EXPECT_LT(uptime(*history, web).day, 0);
    EXPECT_DOUBLE_EQ(uptime(*history, web).week, 5.0 / 6.0);
    EXPECT_TRUE(dayUptimes(*history).empty());
#ifndef _WIN32
    EXPECT_EQ(std::filesystem::status(path_).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
        << "it names the hosts and when they failed";
#endif
    MonitorPort unknown;
    entry(unknown, 3, "UDP 53");
    const UptimeView none = uptime(*history, unknown);
    EXPECT_LT(none.month, 0);
    EXPECT_TRUE(troubles_.empty());
}

// Outages end with an answer, or unobserved when monitoring stops or the
// entry is forgotten; one a crash left open ends at its last check.
TEST_F(HistoryTest, outagesEndObservedOrUnobserved)
{
    MonitorPort a, b;
    entry(a, 1, "A");
    entry(b, 2, "B");
    const FailureReason refused = FailureReason::of(FailureKind::Refused);
    {
        auto history = make();
        history->outageBegan(a, host_, kStart + 1000, refused, true);
        history->outageEnded(a, host_, kStart + 5000);
        history->outageBegan(a, host_, kStart + 8000, FailureReason::unreachable(3, 1), false);
        history->outageBegan(b, host_, kStart + 9000, refused, false);
        history->entryForgotten(b, kStart + 9500);
        history->monitoringStopped(kStart + 10000);
        // Forgotten after the stop: nothing is open to end.
        history->entryForgotten(a, kStart + 20000);
        history->outageBegan(b, host_, kStart + 30000, refused, false);
        feed(*history, b, kStart + 40000, CheckOutcome::Result::Failed);
        // The program ends without a word: the outage stays open in the file.
    }
    auto history = make();
    // Start, end, whether the end went unobserved and whether the alert ran.
    using Seen = std::vector<std::tuple<std::int64_t, std::int64_t, bool, bool>>;
    const auto seen = [&](const MonitorPort &port) {
        Seen out;
        for (const OutageView &o : outages(*history, port))
            out.emplace_back(o.startMillis, o.endMillis, o.endUnobserved, o.alertRan);
        return out;
    };
    EXPECT_EQ(seen(a), (Seen{{kStart + 8000, kStart + 10000, true, false}, {kStart + 1000, kStart + 5000, false, true}}));
    EXPECT_EQ(outages(*history, a).at(0).reason, FailureReason::unreachable(3, 1));
    EXPECT_EQ(seen(b), (Seen{{kStart + 30000, kStart + 40000, true, false}, {kStart + 9000, kStart + 9500, true, false}}));
    EXPECT_EQ(uptime(*history, b).lastOutages.size(), 2u);
}

// A damaged file is moved aside and a fresh one started, said once; a file
// another connection holds is done without, said once, and the loop never
// waits for it.
TEST_F(HistoryTest, aDamagedOrLockedFileNeverStopsMonitoring)
{
    MonitorPort a;
    entry(a, 1, "A");
    {
        std::ofstream(path_) << std::string(8192, 'x');
        auto history = make();
        feed(*history, a, kStart, CheckOutcome::Result::Ok);
        history->sync();
        EXPECT_DOUBLE_EQ(uptime(*history, a).day, 1.0);
        loop_.runFor(50);
        EXPECT_EQ(troubles_, std::vector{History::Trouble::Damaged});
        std::size_t aside = 0;
        for (const std::string &name : dir_.entries())
            aside += name.rfind("history.db.damaged-", 0) == 0 ? 1 : 0;
        EXPECT_EQ(aside, 1u);
    }
    troubles_.clear();
    std::filesystem::remove(path_);
    std::filesystem::remove(path_ + "-wal");
    std::filesystem::remove(path_ + "-shm");
    sqlite3 *other = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other,
                           "PRAGMA locking_mode=EXCLUSIVE; CREATE TABLE t(x); BEGIN EXCLUSIVE; INSERT INTO t VALUES (1);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    {
        auto history = make();
        for (int i = 0; i < 1000; ++i)
            feed(*history, a, kStart + i, CheckOutcome::Result::Ok);
        history->setKept(false);
        history->setKept(true);
        EXPECT_LT(uptime(*history, a).day, 0);
        loop_.runFor(50);
        EXPECT_EQ(troubles_, std::vector{History::Trouble::Unavailable});
    }
    sqlite3_close(other);
}

// Off: nothing is recorded, answers are empty, the file is let go; on again:
// recording goes on. Answers asked for before the history went never come.
TEST_F(HistoryTest, theSwitchAndAnswersAfterTheEnd)
{
    MonitorPort a;
    entry(a, 1, "A");
    auto history = make(false);
    feed(*history, a, kStart, CheckOutcome::Result::Failed);
    history->setKept(true);
    feed(*history, a, kStart + 1000, CheckOutcome::Result::Ok);
    history->setKept(false);
    feed(*history, a, kStart + 2000, CheckOutcome::Result::Failed);
    EXPECT_LT(uptime(*history, a).day, 0);
    EXPECT_TRUE(dayUptimes(*history).empty());
    {
        // Let go: another writer may take it at once.
        HistoryFile other;
        std::string said;
        ASSERT_EQ(other.open(path_, said), HistoryFile::Opened::Ok) << said;
        ASSERT_TRUE(other.begin());
        EXPECT_TRUE(other.commit());
    }
    history->setKept(true);
    feed(*history, a, kStart + 3000, CheckOutcome::Result::Ok);
    EXPECT_DOUBLE_EQ(uptime(*history, a).day, 1.0);

    bool answered = false;
    history->uptimeOf(key(a), 5, [&](UptimeView) { answered = true; });
    history->outagesOf(key(a), 5, [&](std::vector<OutageView>) { answered = true; });
    history->dayUptimes([&](std::vector<std::pair<SeriesKey, double>>) { answered = true; });
    history.reset();
    loop_.runFor(100);
    EXPECT_FALSE(answered);
}

// Checks made while an entry is quiet are kept, but its uptimes leave them
// out, in memory, from the file and after the hour is summarised; an outage
// a quiet span overlaps is marked. A file without quiet spans (an earlier
// version's) gains the table and counts every check.
TEST_F(HistoryTest, quietTimeIsLeftOutOfTheUptimesAndMarksTheOutagesItOverlaps)
{
    MonitorPort web;
    entry(web, 1, "HTTP 80");
    using R = CheckOutcome::Result;
    const std::int64_t t = kStart + 20 * kDayMillis;
    {
        auto history = make();
        feed(*history, web, t, R::Ok);
        feed(*history, web, t + 1000, R::Ok);
        history->quietChanged(web, host_, true, t + 1500);
        web.quiet = true;
        history->outageBegan(web, host_, t + 2000, FailureReason::of(FailureKind::Refused), false);
        for (int i = 0; i < 4; ++i)
            feed(*history, web, t + 2000 + i * 1000, R::Failed);
        history->quietChanged(web, host_, false, t + 6000);
        web.quiet = false;
        feed(*history, web, t + 7000, R::Ok);
        history->outageEnded(web, host_, t + 7000);
        // A later outage, not quiet.
        history->outageBegan(web, host_, t + 8000, FailureReason::of(FailureKind::Refused), true);
        feed(*history, web, t + 8000, R::Failed);
        history->outageEnded(web, host_, t + 9000);
        feed(*history, web, t + 9000, R::Ok);
        now_ = t + 10000;
        const UptimeView view = uptime(*history, web);
        EXPECT_DOUBLE_EQ(view.day, 4.0 / 5.0) << "the four quiet failures are left out";
        EXPECT_DOUBLE_EQ(view.week, 4.0 / 5.0);
        ASSERT_EQ(view.lastOutages.size(), 2u);
        EXPECT_FALSE(view.lastOutages[0].quiet);
        EXPECT_TRUE(view.lastOutages[1].quiet);
        EXPECT_FALSE(view.lastOutages[1].alertRan);
    }
    // Two hours later, reopened: the hour is summarised without them, and
    // the raw checks keep them.
    now_ = t + 2 * kHourMillis;
    auto history = make();
    const UptimeView view = uptime(*history, web);
    EXPECT_DOUBLE_EQ(view.day, 4.0 / 5.0);
    EXPECT_DOUBLE_EQ(view.month, 4.0 / 5.0);
    EXPECT_TRUE(outages(*history, web)[1].quiet);
    std::size_t raw = 0;
    UptimeFigures figures;
    history->read([&](HistoryFile *file) {
        ASSERT_TRUE(file);
        const std::int64_t series = file->findSeries(key(web));
        raw = file->rawChecks(series, t / kHourMillis).size();
        EXPECT_EQ(file->quietSpans(series), (std::vector<HistoryFile::QuietSpan>{{t + 1500, t + 6000}}));
        figures = file->figures(now_).at(0).second;
    });
    history->sync();
    EXPECT_EQ(raw, 9u);
    EXPECT_DOUBLE_EQ(figures.day, 4.0 / 5.0);
    EXPECT_DOUBLE_EQ(figures.days.back(), 4.0 / 5.0);
    history.reset();

    // A file without the table (as an earlier version wrote it) is taken,
    // gains it, and has nothing marked.
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "DROP TABLE quiet_spans", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    history = make();
    EXPECT_DOUBLE_EQ(uptime(*history, web).week, 4.0 / 5.0) << "the summaries stay as they were made";
    EXPECT_FALSE(outages(*history, web)[1].quiet);
    history->quietChanged(web, host_, true, now_);
    history->sync();
    bool kept = false;
    history->read([&](HistoryFile *file) { kept = file && file->quietSpans(file->findSeries(key(web))).size() == 1; });
    history->sync();
    EXPECT_TRUE(kept);
    EXPECT_TRUE(troubles_.empty());
}

} // namespace
} // namespace vigilon::history
