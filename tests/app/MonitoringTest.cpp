// SPDX-License-Identifier: MIT
// The monitoring engine on fake checks in virtual time.
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "app/dialogs/MainDialogController.h"
#include "tests/support/FrameTestPeer.h"
#include "tests/support/FrameFixture.h"

#include <tuple>
#include <utility>

namespace vigilon::test {
namespace {

class Monitoring : public FrameFixture {
protected:
    void start(const std::vector<StoredPort> &entries, std::uint32_t retry = 1)
    {
        makeFrame(entries, 5, retry);
        ASSERT_TRUE(frame->toggleMonitoring(true));
    }
    // A port test with every check reporting outcome from inside its start;
    // the result as the dialog receives it, -1 when none came.
    int portTest(int outcome)
    {
        probes.outcomeAtStart = outcome;
        int result = -1;
        EXPECT_TRUE(frame->startTestRound([&result](TestResult r) { result = static_cast<int>(r); }));
        EXPECT_EQ(result, -1) << "the result comes from the loop, not from inside a report";
        loop.runPosted();
        probes.outcomeAtStart = -1;
        return result;
    }
    // One poll period, with every pending check finished as given.
    void tick(bool success, std::uint32_t responseMs = 10)
    {
        probes.finishAll(success, responseMs);
        loop.advance(5000);
    }
};

// Other protocol numbers are checked as TCP.
TEST_F(Monitoring, startingSetsEveryRowIdleBeforeTheFirstRoundMarksActiveOnes)
{
    makeFrame({{80, 9, 1}, {81, GenericTcp, 0}});
    frame->toggleMonitoring(true);
    // All three rows (placeholder included) go idle, then the active row to checking.
    EXPECT_EQ(ui.dialog->imageHistory, (std::vector<std::pair<int, int>>{
                                           {0, ImageIdle}, {1, ImageIdle}, {2, ImageIdle}, {0, ImageChecking}}));
    ASSERT_EQ(probes.started.size(), 1u);
    EXPECT_EQ(std::tuple(probes.started[0].port, probes.started[0].kind), std::tuple(80u, int(TcpProbeKind)));
}

// The retry limit and the threshold are the rules' (MonitorRules); here the
// alert command runs once per declared failure and the tray shows the worst.
TEST_F(Monitoring, alertsOnceWhileFailedAndTheTrayShowsTheWorstStatus)
{
    start({{80, GenericTcp, 1, 100, "notify %TARGET%"}});
    for (int round = 0; round < 3; ++round)
        tick(false);
    EXPECT_EQ(commands, std::vector<std::string>{"notify %TARGET%"}) << "not while tolerated, nor while it stays failed";
    EXPECT_EQ(ui.tray->icon, 145u);
    tick(true, 20);
    EXPECT_EQ(ui.tray->icon, 143u);
    tick(true, 150);
    EXPECT_EQ(ui.tray->icon, 144u);
}

// The history and the metrics see every outcome of a polling round and
// each outage once, but nothing of a port test.
TEST_F(Monitoring, observersSeeOutcomesAndOutagesOfPollingRoundsOnly)
{
    struct Journal final : CheckObserver {
        std::vector<std::string> lines;
        void checkDone(const CheckOutcome &outcome) override
        {
            static const char *const names[] = {"ok", "warning", "retry", "failed"};
            lines.push_back(std::string(names[int(outcome.result)]) + " " + *outcome.host + " " +
                            std::to_string(outcome.micros / 1000));
        }
        void outageBegan(const MonitorPort &entry, const std::string &, std::int64_t, const FailureReason &reason,
                         bool alertRan) override
        {
            lines.push_back("down " + entry.name + " " + reasonText(reason) + (alertRan ? " alert" : ""));
        }
        void outageEnded(const MonitorPort &entry, const std::string &, std::int64_t) override
        {
            lines.push_back("up " + entry.name);
        }
        void monitoringStopped(std::int64_t) override { lines.push_back("stopped"); }
    } journal;
    observers = {&journal};
    start({{80, GenericTcp, 1, 100, "notify"}}, 2);
    tick(true, 150);
    tick(false);
    tick(false);
    tick(false);
    portTest(0);
    tick(true, 20);
    frame->toggleMonitoring(true);
    const std::string name = entry(0).name;
    EXPECT_EQ(journal.lines, (std::vector<std::string>{"warning 127.0.0.1 150", "retry 127.0.0.1 0",
                                                        "retry 127.0.0.1 0", "failed 127.0.0.1 0",
                                                        "down " + name + " timed out alert", "ok 127.0.0.1 20",
                                                        "up " + name, "stopped"}));
}

// Each poll period starts a round with a fresh share of lookups; the checks
// finished by then are reaped.
TEST_F(Monitoring, pollTimerRunsFromTheEndOfEachRoundAndReapsFinishedChecks)
{
    start({{80, GenericTcp, 1}});
    EXPECT_EQ(std::pair(probes.started.size(), probes.rounds), std::pair(std::size_t(1), 1));
    loop.advance(4999);
    EXPECT_EQ(probes.started.size(), 1u);
    loop.advance(1); // the first check still waits
    EXPECT_EQ(std::pair(probes.started.size(), probes.rounds), std::pair(std::size_t(2), 2));
    EXPECT_EQ(FrameTestPeer::pendingProbes(*frame).size(), 2u);
    probes.finishAll(true);
    loop.advance(5000);
    EXPECT_EQ(FrameTestPeer::pendingProbes(*frame).size(), 1u);
}

// A round starts its checks in slices, the loop served between them; what
// the results change is shown from the loop, once per pass: each result in
// its own row only, the tray once for all.
TEST_F(Monitoring, aRoundStartsInSlicesAndResultsShowOncePerPass)
{
    std::vector<StoredPort> many;
    for (std::uint32_t i = 0; i < 300; ++i)
        many.push_back({1000 + i, GenericTcp, 1});
    start(many, 0);
    EXPECT_LT(probes.started.size(), 300u) << "the round's first slice";
    loop.runPosted();
    ASSERT_EQ(probes.started.size(), 300u);
    const auto checks = probes.pending;
    ui.dialog->updatedRows.clear();
    const int trayBefore = ui.tray->modifications;
    checks[0]->finish(true);
    checks[2]->finish(false);
    EXPECT_TRUE(ui.dialog->updatedRows.empty());
    EXPECT_EQ(ui.tray->modifications, trayBefore);
    loop.runPosted();
    EXPECT_EQ(ui.dialog->updatedRows, (std::vector<int>{0, 2}));
    EXPECT_EQ(std::tuple(ui.dialog->images[0], ui.dialog->images[1], ui.dialog->images[2]),
              std::tuple(int(ImageOk), int(ImageChecking), int(ImageError)));
    EXPECT_EQ(ui.tray->modifications, trayBefore + 1);
}

// Closing a finished check costs about what starting one did: the checks
// go once their round's results are all in, not while results still come.
// A check still under way at the next round holds them up no longer: that
// round closes the old ones as it opens its own.
TEST_F(Monitoring, finishedChecksGoOnceTheirRoundsResultsAreIn)
{
    start({{80, GenericTcp, 1}, {81, GenericTcp, 1}, {82, GenericTcp, 1}});
    loop.runPosted();
    const auto checks = probes.pending;
    ASSERT_EQ(checks.size(), 3u);
    checks[0]->finish(true);
    checks[1]->finish(true);
    loop.runPosted();
    EXPECT_EQ(probes.destroyed, 0u) << "a result is still awaited";
    checks[2]->finish(true);
    loop.runPosted();
    EXPECT_EQ(probes.destroyed, 3u);

    // Next round: one check hangs past the round after it.
    loop.advance(5000);
    loop.runPosted();
    ASSERT_EQ(probes.pending.size(), 3u);
    probes.pending[0]->finish(true);
    probes.pending[0]->finish(true);
    loop.runPosted();
    EXPECT_EQ(probes.destroyed, 3u);
    loop.advance(5000);
    loop.runPosted();
    EXPECT_EQ(probes.destroyed, 5u) << "the finished two of the round before";
    EXPECT_EQ(probes.started.size(), 9u);
}

// No keeps monitoring and the next tick runs; while the question is open
// (over a poll tick, as a nested loop runs it) no round starts.
TEST_F(Monitoring, theStopQuestion)
{
    start({{80, GenericTcp, 1}});
    prompter.answers = {mb::IdNo};
    bool grayed = false;
    prompter.onMessage = [&](const FakePrompter::Message &) { grayed = !ui.tray->enabled[res::CmdToggleMonitoring]; };
    EXPECT_TRUE(frame->toggleMonitoring(false));
    EXPECT_TRUE(grayed) << "the start/stop item is grayed while the question is open";
    EXPECT_TRUE(ui.tray->enabled[res::CmdToggleMonitoring]);
    auto before = probes.started.size();
    loop.advance(5000);
    EXPECT_EQ(probes.started.size(), before + 1);

    before = probes.started.size();
    prompter.onMessage = [&](const FakePrompter::Message &) { loop.advance(5000); };
    prompter.answers = {mb::IdYes};
    EXPECT_FALSE(frame->toggleMonitoring(false));
    EXPECT_EQ(probes.started.size(), before);
    EXPECT_FALSE(loop.hasTimer(engine(), timers::Poll));
}

TEST_F(Monitoring, aStopFromInsideAReportIsNotUndoneByTheRoundsEnd)
{
    start({{0, Ping, 1, 0, "alert"}}, 0);
    // The user stops monitoring while the alert runs.
    onCommand = [&] {
        prompter.answers = {mb::IdYes};
        frame->toggleMonitoring(false);
    };
    probes.outcomeAtStart = 0;
    probes.finishAll(false);
    loop.advance(5000);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_FALSE(frame->running());
    EXPECT_FALSE(loop.hasTimer(engine(), timers::Poll));
    loop.advance(20000);
    EXPECT_EQ(probes.started.size(), 1u) << "no round after the stop";
}

TEST_F(Monitoring, lateResultsAfterStopStillCountAndChangeTheIcon)
{
    start({{80, GenericTcp, 1}}, 0);
    prompter.answers = {mb::IdYes};
    frame->toggleMonitoring(false);
    EXPECT_EQ(ui.tray->icon, 146u);
    probes.finishAll(false);
    EXPECT_EQ(entry(0).status, Failed);
    EXPECT_EQ(ui.tray->icon, 145u);
}

// The tray is refreshed after each pass that brought a result, but the
// shell is told only of a change of icon or tip.
TEST_F(Monitoring, theTrayIsToldOnlyOfChanges)
{
    start({{80, GenericTcp, 1}, {81, GenericTcp, 1}}, 0);
    loop.runPosted();
    const int before = ui.tray->modifications;
    const auto checks = probes.pending;
    ASSERT_EQ(checks.size(), 2u);
    checks[0]->finish(true);
    checks[1]->finish(true);
    loop.runPosted();
    EXPECT_EQ(ui.tray->modifications, before) << "nothing changed";
    loop.advance(5000);
    probes.pending.back()->finish(false);
    loop.runPosted();
    EXPECT_EQ(std::pair(ui.tray->icon, ui.tray->modifications), std::pair(145u, before + 1));
    EXPECT_NE(ui.tray->tip.find(entry(1).name), std::string::npos);
    probes.pending.back()->finish(true);
    loop.runPosted();
    EXPECT_EQ(ui.tray->modifications, before + 1) << "the same icon and tip";
}

TEST_F(Monitoring, aPortTestRunsOnTheLoopAndCountsEachCheckOnce)
{
    makeFrame({{80, GenericTcp, 1, 0, "cmd"}, {81, Http, 1}, {0, Ping, 1}}, 5, 5);
    // Nothing is judged until the checks report, and a second test waits.
    int result = -1;
    ASSERT_TRUE(frame->startTestRound([&result](TestResult r) { result = static_cast<int>(r); }));
    EXPECT_FALSE(frame->startTestRound([](TestResult) { ADD_FAILURE() << "a second port test ran"; }));
    ASSERT_EQ(probes.pending.size(), 3u);
    EXPECT_EQ(probes.started[2].kind, PingProbeKind);
    const auto checks = probes.pending;
    checks[0]->finish(false);
    loop.runPosted();
    EXPECT_EQ(result, -1);
    // A late second report of the same check (a success after its timeout)
    // does not count again.
    checks[0]->finish(true, 5);
    checks[1]->finish(true, 5);
    checks[2]->finish(true, 5);
    loop.runPosted();
    EXPECT_EQ(result, 0);
    // Declared at once, and only once.
    EXPECT_EQ(entry(0).errorCount, 1u);
    EXPECT_EQ(entry(0).status, Failed);
    EXPECT_EQ(commands.size(), 1u);
    EXPECT_FALSE(loop.hasTimer(engine(), timers::Poll));
    // That a port test alerts again for an entry already failed is the rules'
    // (MonitorRules.aPortTestDeclaresAtOnceAndAlwaysAlerts).
}

TEST_F(Monitoring, aPortTestJudgesEveryEntryEvenWhenChecksReportFromInsideTheirStart)
{
    makeFrame({{80, GenericTcp, 1, 5}, {0, Ping, 1, 5}, {81, GenericTcp, 1, 5}});
    probes.responseAtStart = 6;
    EXPECT_EQ(portTest(1), 2) << "a warning";
    probes.responseAtStart = 5;
    EXPECT_EQ(portTest(1), 1);
    probes.failingPorts = {81};
    EXPECT_EQ(portTest(1), 0) << "the last entry's failure counts";
    EXPECT_EQ(entry(2).status, Failed);
}

TEST_F(Monitoring, aCheckThatCannotBeMadeIsMissingFromARegularRound)
{
    makeFrame({{80, GenericTcp, 1}});
    probes.makeWorks = false;
    frame->toggleMonitoring(true);
    EXPECT_EQ(entry(0).status, Idle);
    EXPECT_EQ(portTest(1), 0) << "and fails a port test";
}

TEST_F(Monitoring, aLocalShortageIsNotCountedAgainstTheTarget)
{
    makeFrame({{80, GenericTcp, 1, 0, "cmd"}, {0, Ping, 1, 0, "cmd"}}, 5, 0);
    probes.localShortage = true;
    EXPECT_EQ(portTest(0), 1);
    frame->toggleMonitoring(true);
    loop.advance(15000);
    EXPECT_EQ(probes.started.size(), 10u) << "both entries in every round";
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(entry(i).errorCount, 0u);
        EXPECT_EQ(entry(i).retryCount, 0u);
        EXPECT_EQ(entry(i).status, Idle);
        EXPECT_EQ(ui.dialog->images[int(i)], ImageIdle);
    }
    EXPECT_TRUE(commands.empty());
}

// Room for two checks at once among five entries: each round begins where
// the last ran short, so every entry is checked within three rounds, and
// the shortage shows in the tray tip and status and in one notice.
TEST_F(Monitoring, entriesTakeTurnsWhenNotAllChecksCanStartAndTheShortageShows)
{
    makeFrame(std::vector<StoredPort>(5, StoredPort{80, GenericTcp, 1}), 5, 1);
    probes.capacity = 2;
    ASSERT_TRUE(frame->toggleMonitoring(true));
    EXPECT_EQ(frame->uncheckedEntries(), 3u);
    tick(true);
    tick(true);
    probes.finishAll(true);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(entry(i).status, Ok) << i;
    EXPECT_EQ(ui.tray->tip, formatText(loadString(sid::TrayTipShortage), {"127.0.0.1", "3"}));
    EXPECT_EQ(prompter.count(loadString(sid::ShortageNotice)), 1);
    EXPECT_NE(statusText(true, 0, 0, 3).find(formatText(loadString(sid::StatusShortage), {"3"})), std::string::npos);

    probes.capacity = -1;
    loop.advance(5000);
    EXPECT_EQ(frame->uncheckedEntries(), 0u);
    EXPECT_EQ(ui.tray->tip, formatText(loadString(sid::TrayTipRunning), {"127.0.0.1"}));
}

// Room for no check at all: nothing takes turns, and every place says that
// no port can be checked, the one notice and the line included; with room
// again the turns show as such.
TEST_F(Monitoring, noRoomForAnyCheckIsSaidAsSuchNotAsTurns)
{
    makeFrame(std::vector<StoredPort>(3, StoredPort{80, GenericTcp, 1}), 5, 1);
    probes.capacity = 0;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(frame->toggleMonitoring(true));
    loop.advance(5000);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(probes.pending.empty());
    EXPECT_TRUE(frame->nothingChecked());
    EXPECT_EQ(ui.tray->tip, formatText(loadString(sid::TrayTipNothingChecked), {"127.0.0.1"}));
    EXPECT_EQ(prompter.count(loadString(sid::NothingCheckedNotice)), 1);
    EXPECT_EQ(prompter.count(loadString(sid::ShortageNotice)), 0);
    const std::string status = statusText(true, 0, 0, frame->uncheckedEntries(), frame->nothingChecked());
    EXPECT_NE(status.find(loadString(sid::StatusNothingChecked)), std::string::npos) << status;
    EXPECT_NE(said.find("none of the 3 active entries could be checked"), std::string::npos) << said;
    EXPECT_EQ(said.find("take turns"), std::string::npos) << said;

    probes.capacity = 1;
    loop.advance(5000);
    EXPECT_FALSE(frame->nothingChecked());
    EXPECT_EQ(ui.tray->tip, formatText(loadString(sid::TrayTipShortage), {"127.0.0.1", "2"}));
    EXPECT_EQ(prompter.count(loadString(sid::ShortageNotice)), 0) << "one notice in all";
}

class Suspend : public Monitoring {
protected:
    // Two entries, retry limit 0 (every failure declared), each with a
    // graph window.
    void startTwo()
    {
        start({{80, GenericTcp, 1, 0, "alert"}, {81, GenericTcp, 1, 0, "alert"}}, 0);
        frame->openResponseMonitor(0);
        frame->openResponseMonitor(1);
    }
    // The samples both entries' graph windows were given.
    std::vector<std::uint32_t> samples() const
    {
        std::vector<std::uint32_t> all;
        for (const auto &[name, graph] : ui.graphs)
            all.insert(all.end(), graph.samples.begin(), graph.samples.end());
        return all;
    }
};

TEST_F(Suspend, aCheckUnderWayDuringASuspendIsDiscardedAndTheNextRoundWaits)
{
    startTwo();
    ASSERT_EQ(probes.pending.size(), 2u);
    loop.advance(1000);
    clock.suspendMs(8 * 3600 * 1000);
    // After the resume the checks fail (the network is gone), one by one.
    probes.pending.front()->finish(false);
    probes.finishAll(false);
    EXPECT_EQ(std::tuple(entry(0).errorCount, entry(1).errorCount, entry(0).status), std::tuple(0u, 0u, Idle));
    EXPECT_TRUE(commands.empty());
    EXPECT_TRUE(samples().empty());
    // Their rows no longer show a check in progress.
    EXPECT_EQ(std::pair(ui.dialog->images[0], ui.dialog->images[1]), std::pair(int(ImageIdle), int(ImageIdle)));
    EXPECT_EQ(ui.tray->icon, 143u);

    // The round that was due 4 s later waits a full interval from the resume.
    loop.advance(4999);
    EXPECT_EQ(probes.started.size(), 2u);
    loop.advance(1);
    EXPECT_EQ(probes.started.size(), 4u);
    // Checks made after the resume count again.
    probes.finishAll(false);
    EXPECT_EQ(entry(0).errorCount, 1u);
    EXPECT_EQ(entry(1).errorCount, 1u);
    EXPECT_EQ(commands.size(), 2u);
    EXPECT_EQ(samples(), (std::vector<std::uint32_t>{0, 0}));
}

TEST_F(Suspend, aSuccessAcrossASuspendIsDiscardedToo)
{
    startTwo();
    probes.finishAll(true, 7);
    loop.advance(5000);
    ASSERT_EQ(samples().size(), 2u);
    clock.suspendMs(60000);
    probes.finishAll(true, 60000);
    EXPECT_EQ(samples().size(), 2u);
    EXPECT_EQ(entry(0).status, Ok);
    EXPECT_EQ(ui.dialog->images[0], ImageOk);
}

TEST_F(Suspend, aSuspendWhileNothingWaitsDelaysTheFirstRoundByOneInterval)
{
    startTwo();
    probes.finishAll(true);
    loop.advance(3000);
    clock.suspendMs(600000);
    // The timer falls due 2 s after the resume: that round is skipped.
    loop.advance(2000);
    EXPECT_EQ(probes.started.size(), 2u);
    loop.advance(4999);
    EXPECT_EQ(probes.started.size(), 2u);
    loop.advance(1);
    EXPECT_EQ(probes.started.size(), 4u);
    EXPECT_EQ(FrameTestPeer::pendingProbes(*frame).size(), 2u) << "the finished checks were reaped";
    EXPECT_EQ(entry(0).errorCount, 0u);
}

TEST_F(Suspend, clocksThatKeepTogetherChangeNothing)
{
    startTwo();
    for (int round = 0; round < 3; ++round) {
        // Drift well below a suspend, in both directions.
        clock.boottime += round % 2 ? 200000 : 0;
        clock.monotonic += round % 2 ? 0 : 100000;
        tick(false);
    }
    EXPECT_EQ(entry(0).errorCount, 3u);
    EXPECT_EQ(probes.started.size(), 8u);
}

TEST_F(Suspend, aSuspendDuringAPortTestEndsItWithWhatItHas)
{
    makeFrame({{0, Ping, 1, 0, "alert"}, {0, Ping, 1, 0, "alert"}}, 5, 0);
    int result = -1;
    ASSERT_TRUE(frame->startTestRound([&result](TestResult r) { result = static_cast<int>(r); }));
    probes.pending[0]->finish(false);
    clock.suspendMs(30000);
    probes.finishAll(false);
    loop.runPosted();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(entry(0).errorCount, 1u);
    EXPECT_EQ(entry(1).errorCount, 0u) << "the check that spanned the suspend is discarded";
    EXPECT_EQ(portTest(0), 0) << "and the next port test runs";
    EXPECT_EQ(entry(1).errorCount, 1u);
}

TEST_F(Monitoring, aDeletedEntryIsNeverTouchedByItsPendingCheck)
{
    start({{80, GenericTcp, 1}, {81, GenericTcp, 1}});
    ASSERT_EQ(probes.pending.size(), 2u);
    frame->openResponseMonitor(0);
    frame->openResponseMonitor(1);
    const std::string doomed = entry(0).name;
    ASSERT_EQ(frame->deleteEntry(0), CMainFrame::Change::Done);
    EXPECT_FALSE(ui.graphs[doomed].open) << "its graph window closes";
    EXPECT_TRUE(ui.graphs[entry(0).name].open);
    // Under the sanitizers a touch of the freed entry would be caught here.
    probes.finishAll(false);
    EXPECT_EQ(entry(0).port, 81u);
    EXPECT_EQ(entry(0).retryCount, 1u);
}

} // namespace
} // namespace vigilon::test
