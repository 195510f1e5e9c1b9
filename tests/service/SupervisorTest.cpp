// SPDX-License-Identifier: MIT
// The watch loop on a simulated clock (every wait advances time at once),
// the command line, the language choice and the event records.
#include "service/LaunchPlace.h"
#include "service/ServiceCommand.h"
#include "service/ServiceStrings.h"
#include "service/Supervisor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace vigilon::svc {
namespace {

using Times = std::vector<std::uint64_t>;

class FakeHost final : public SupervisorHost {
public:
    // The plan: when the stop comes, which starts fail, how long each
    // successful start runs by itself, what else happens when.
    std::optional<std::uint64_t> stopAt;
    std::uint64_t horizon = 200000; // stops the loop at the latest
    bool waitFails = false;
    bool statusFails = false;
    std::function<bool(int attempt)> startSucceeds = [](int) { return true; };
    std::map<std::size_t, std::uint64_t> lifetimes;
    std::multimap<std::uint64_t, std::function<void()>> schedule;

    // What happened.
    std::uint64_t now = 0;
    int attempts = 0;
    Times starts, killed, logonReads;
    std::vector<ServiceState> statuses;
    std::vector<unsigned> events;
    std::uint32_t logon = 0;
    bool running = false;
    bool misplaced = false; // set by the plan, cleared by a start
    bool withheld = false;

    bool waitForStop(std::uint32_t ms) override
    {
        if (waitFails)
            return true;
        const std::uint64_t target = std::min({now + ms, stopAt.value_or(UINT64_MAX), horizon});
        // Vigilon's own ends and the other planned events up to then; an
        // end wakes the wait, as it does on the real hosts.
        while (!schedule.empty() && schedule.begin()->first <= target) {
            now = schedule.begin()->first;
            auto action = schedule.begin()->second;
            schedule.erase(schedule.begin());
            const bool wasRunning = running;
            action();
            if (wasRunning && !running)
                return false;
        }
        now = target;
        return target == stopAt || target == horizon;
    }
    bool startMonitor() override
    {
        if (!startSucceeds(attempts++))
            return false;
        const std::size_t n = starts.size();
        starts.push_back(now);
        running = true;
        misplaced = false;
        if (lifetimes.count(n) != 0)
            schedule.emplace(now + lifetimes[n], [this, n] {
                if (starts.size() == n + 1)
                    running = false;
            });
        return true;
    }
    bool monitorRunning() override { return running; }
    bool monitorMisplaced() override { return misplaced; }
    bool monitorWithheld() override { return withheld; }
    void endMonitor() override
    {
        if (running)
            killed.push_back(now);
        running = false;
    }
    std::uint32_t takeLogonFlag() override
    {
        logonReads.push_back(now);
        return std::exchange(logon, 0u);
    }
    bool reportServiceStatus(ServiceState state, std::uint32_t, std::uint32_t) override
    {
        statuses.push_back(state);
        return !statusFails;
    }
    void logServiceEvent(EventType type, unsigned id) override
    {
        EXPECT_EQ(type, EventType::Information);
        events.push_back(id);
    }
    std::uint64_t nowMs() override { return now; }
    std::string monitorEndText() override { return "exit status 1"; }
    void logServiceText(EventType type, const std::string &text) override
    {
        EXPECT_EQ(type, EventType::Warning);
        texts.push_back(text);
    }
    std::vector<std::string> texts;
    long count(unsigned id) const { return std::count(events.begin(), events.end(), id); }
};

TEST(Supervisor, StartsReportsAndEndsVigilonAtOnceOnStop)
{
    FakeHost host;
    host.stopAt = 35000;
    CSupervisor supervisor(host);
    EXPECT_TRUE(supervisor.superviseMonitor());

    EXPECT_EQ(host.starts, Times{0});
    EXPECT_EQ(host.killed, Times{35000}) << "ended when the stop came, not at the next round";
    EXPECT_EQ(supervisor.state(), SupervisorState::Stopping);
    EXPECT_EQ(host.statuses, (std::vector<ServiceState>{ServiceState::StartPending, ServiceState::Running}));
    EXPECT_EQ(host.events, (std::vector<unsigned>{ssid::ServiceStarted, ssid::ServiceStopped}));
    EXPECT_EQ(host.logonReads, (Times{10000, 20000, 30000}));
}

TEST(Supervisor, VigilonThatEndsIsStartedAgainAfterAPauseThatDoublesAndResetsAfterALongRun)
{
    FakeHost host;
    host.horizon = 3000000;
    const std::vector<std::uint64_t> lifetimes{1000, 1000, 1000, 1000, 1000, 1000, 1000, 600000, 1000, 1000};
    for (std::size_t n = 0; n < lifetimes.size(); ++n)
        host.lifetimes[n] = lifetimes[n];
    CSupervisor(host).superviseMonitor();

    // The first one ends within its first round and is started again too.
    ASSERT_GE(host.starts.size(), lifetimes.size());
    Times pauses;
    for (std::size_t n = 0; n + 1 < lifetimes.size(); ++n)
        pauses.push_back(host.starts[n + 1] - host.starts[n] - lifetimes[n]);
    EXPECT_EQ(pauses, (Times{10000, 20000, 40000, 80000, 160000, 300000, 300000, 10000, 20000}));
    ASSERT_GE(host.texts.size(), 1u);
    EXPECT_EQ(host.texts[0], "Vigilon ended after 1 s (exit status 1); starting it again in 10 s");
    EXPECT_EQ(host.count(ssid::ServiceStarted), static_cast<long>(host.starts.size()));
}

// A logon, or one at the console that leaves Vigilon in the wrong session:
// ended at the next round, started one round later.
TEST(Supervisor, LogonOrAMoveToTheConsoleEndsVigilonAndStartsItOneRoundLater)
{
    for (const bool console : {false, true}) {
        SCOPED_TRACE(console ? "at the console" : "Logon");
        FakeHost host;
        host.schedule.emplace(15000, [&host, console] { console ? void(host.misplaced = true) : void(host.logon = 1); });
        host.stopAt = 45000;
        CSupervisor(host).superviseMonitor();
        EXPECT_EQ(host.starts, (Times{0, 30000}));
        EXPECT_EQ(host.killed, (Times{20000, 45000}));
        EXPECT_EQ(host.logon, 0u) << "the flag is left cleared";
    }

    // In the first round too: the ended Vigilon still counts as running in
    // that round, so the loop moves on to watching and starts the next one.
    // A stop between the end and the restart starts nothing.
    for (const auto &[stopAt, starts, killed] :
         {std::tuple{25000u, Times{0, 20000}, Times{10000, 25000}}, std::tuple{15000u, Times{0}, Times{10000}}}) {
        FakeHost first;
        first.logon = 1;
        first.stopAt = stopAt;
        CSupervisor(first).superviseMonitor();
        EXPECT_EQ(std::pair(first.starts, first.killed), std::pair(starts, killed)) << stopAt;
    }
}

// A logoff ends the Vigilon of that session: started again at once, without
// the pause of a Vigilon that failed, and without the warning.
TEST(Supervisor, VigilonEndedByALogoffIsStartedAgainWithoutAPause)
{
    FakeHost logoff;
    logoff.lifetimes[0] = 25000;
    logoff.schedule.emplace(25000, [&logoff] { logoff.misplaced = true; });
    logoff.stopAt = 45000;
    CSupervisor(logoff).superviseMonitor();
    EXPECT_EQ(logoff.starts, (Times{0, 25000}));
    EXPECT_TRUE(logoff.texts.empty());
}

TEST(LaunchPlace, UserSessionOnlyWhenAnotherSessionHasAUserAtTheConsole)
{
    const LaunchPlace own{false, 0}, user{true, 2};
    EXPECT_EQ(chooseLaunchPlace(2, 0, true), user);
    EXPECT_EQ(chooseLaunchPlace(2, 0, false), own) << "nobody logged on: the service's own place";
    EXPECT_EQ(chooseLaunchPlace(kNoSession, 0, true), own);
    EXPECT_EQ(chooseLaunchPlace(0, 0, true), own) << "the console is the service's own session";

    LaunchPlaces places;
    EXPECT_FALSE(places.misplaced(user)) << "nothing started yet";
    places.started(own, own);
    EXPECT_TRUE(places.misplaced(user)) << "a logon";
    places.started(user, user);
    EXPECT_FALSE(places.misplaced(user));
    EXPECT_TRUE(places.misplaced(own)) << "a logoff";
    EXPECT_TRUE(places.misplaced(LaunchPlace{true, 3})) << "another user at the console";
    // A start in the user's session failed and fell back: not tried again
    // every round, but again once the console changes.
    places.started(user, own);
    EXPECT_FALSE(places.misplaced(user));
    EXPECT_TRUE(places.misplaced(LaunchPlace{true, 3}));
    EXPECT_FALSE(places.misplaced(own));
}

TEST(Supervisor, LogonIsReadOnlyWhileVigilonRuns)
{
    FakeHost host;
    host.lifetimes[0] = 25000;
    host.schedule.emplace(26000, [&host] { host.logon = 1; });
    host.stopAt = 55000;
    CSupervisor(host).superviseMonitor();

    // The end at 25000 is seen at once and the flag is not read; the
    // Vigilon started again after its pause answers for it at 45000.
    EXPECT_EQ(host.logonReads, (Times{10000, 20000, 45000}));
    EXPECT_EQ(host.starts, (Times{0, 35000}));
    EXPECT_EQ(host.killed, (Times{45000}));
}

TEST(Supervisor, FirstStartFailureStopsTheServiceWithoutEnteringTheLoop)
{
    FakeHost host;
    host.startSucceeds = [](int attempt) { return attempt > 0; };
    EXPECT_FALSE(CSupervisor(host).superviseMonitor());
    EXPECT_EQ(host.now, 0u) << "no round was waited for";
    EXPECT_EQ(host.events, std::vector<unsigned>{ssid::ServiceStopped});
    EXPECT_EQ(host.statuses, std::vector<ServiceState>{ServiceState::StartPending});

    FakeHost noStatus;
    noStatus.statusFails = true;
    EXPECT_FALSE(CSupervisor(noStatus).launchMonitor());
    EXPECT_EQ(noStatus.attempts, 0) << "no start without the pending state reported";
}

TEST(Supervisor, LaterStartFailuresAreRetriedEveryRoundAndTheServiceStaysStoppable)
{
    FakeHost host;
    host.lifetimes[0] = 15000;
    host.startSucceeds = [](int attempt) { return attempt == 0 || attempt >= 3; };
    host.stopAt = 50000;
    CSupervisor(host).superviseMonitor();

    EXPECT_EQ(host.attempts, 4); // 0, then 25000 and 35000 fail, 45000 works
    EXPECT_EQ(host.starts, (Times{0, 45000}));
    EXPECT_EQ(host.count(ssid::ServiceStarted), 2) << "a failed start logs nothing";
    // After a failed start the service reports itself running again: a
    // pending start would accept no stop request.
    using S = ServiceState;
    EXPECT_EQ(host.statuses, (std::vector<S>{S::StartPending, S::Running, S::StartPending, S::Running,
                                             S::StartPending, S::Running, S::StartPending, S::Running}));
}

TEST(Supervisor, WithheldVigilonIsStartedInTheFirstRoundThatAllowsIt)
{
    // Withheld from the service's start, as with nobody logged on at boot:
    // the service runs all the same, and a logon at 25000 lets the round
    // at 30000 start Vigilon.
    FakeHost host;
    host.withheld = true;
    host.schedule.emplace(25000, [&host] { host.withheld = false; });
    host.stopAt = 45000;
    EXPECT_TRUE(CSupervisor(host).superviseMonitor());
    EXPECT_EQ(host.starts, Times{30000});
    EXPECT_EQ(host.statuses.front(), ServiceState::Running);
    EXPECT_TRUE(host.texts.empty()) << "a withheld Vigilon is no Vigilon that ended";
    EXPECT_EQ(host.events, (std::vector<unsigned>{ssid::ServiceStarted, ssid::ServiceStopped}));

    // A first start that fails and leaves Vigilon withheld (the start in a
    // user's session failed, the one beside the service is refused) does
    // not stop the service like other failed first starts.
    FakeHost failed;
    failed.startSucceeds = [&failed](int attempt) { return attempt > 0 || !(failed.withheld = true); };
    failed.schedule.emplace(25000, [&failed] { failed.withheld = false; });
    failed.stopAt = 45000;
    EXPECT_TRUE(CSupervisor(failed).superviseMonitor());
    EXPECT_EQ(failed.starts, Times{30000});
}

TEST(Supervisor, FailedWaitStopsLikeAStopRequest)
{
    FakeHost host;
    host.waitFails = true;
    CSupervisor(host).superviseMonitor();
    EXPECT_EQ(host.killed, Times{0});
    EXPECT_TRUE(host.logonReads.empty());
    EXPECT_EQ(host.count(ssid::ServiceStopped), 1);
}

ServiceCommand parse(std::vector<const char *> args)
{
    args.insert(args.begin(), "vigilsvc");
    return parseServiceCommand(static_cast<int>(args.size()), args.data());
}

TEST(ServiceCommandLine, OnlyAnExactFirstKeywordAfterDashOrSlashCounts)
{
    // -install, -stop, /remove, -debug alone and no argument are read by the
    // real program in VigilsvcProgramTest.
    EXPECT_EQ(parse({"/install"}), ServiceCommand::Install);
    EXPECT_EQ(parse({"-debug", "more", "args"}), ServiceCommand::Debug);
    for (const char *arg : {"-Install", "-INSTALL", "/Debug", "install", "--install", "-install ", "-installx",
                            "-inst", "-", "/", "", "+debug", "\\remove"})
        EXPECT_EQ(parse({arg}), ServiceCommand::Service) << '"' << arg << '"';
    EXPECT_EQ(parse({"x", "-install"}), ServiceCommand::Service) << "only the first argument counts";
    const char *nullArg[] = {"vigilsvc", nullptr};
    EXPECT_EQ(parseServiceCommand(2, nullArg), ServiceCommand::Service);
}

TEST(ServiceStrings, LanguageFollowsTheMessagesLocale)
{
    EXPECT_EQ(languageFromLocale(nullptr, nullptr, nullptr), Language::English);
    EXPECT_EQ(languageFromLocale(nullptr, nullptr, "ja_JP.UTF-8"), Language::Japanese);
    EXPECT_EQ(languageFromLocale(nullptr, "ja_JP.UTF-8", "en_US.UTF-8"), Language::Japanese);
    EXPECT_EQ(languageFromLocale("C", "ja_JP.UTF-8", "ja_JP.UTF-8"), Language::English) << "LC_ALL wins";
    EXPECT_EQ(languageFromLocale("", "", "ja"), Language::Japanese) << "empty values count as unset";
    EXPECT_EQ(languageFromLocale(nullptr, "en_GB", "ja_JP"), Language::English);
    EXPECT_EQ(languageFromLocale(nullptr, nullptr, "jv_ID"), Language::English);
}

// The ids are those of the message table in Vigilsvc.exe (tests/service/windows/MessageTableTest.cpp).
TEST(ServiceStrings, EventRecordsFromTheMessageTable)
{
    EXPECT_EQ(eventId(EventType::Information), 0x40000003u);
    EXPECT_EQ(eventId(EventType::Warning), 0x80000002u);
    EXPECT_EQ(eventId(EventType::Error), 0xC0000001u);
    EXPECT_EQ(eventRecordText(EventType::Warning, "x", Language::English), "Vigilsvc Warning: x.\r\n");
    EXPECT_EQ(eventRecordText(EventType::Error, "%1 y", Language::Japanese), "Vigilsvc エラー: %1 y.\r\n")
        << "an insertion is not scanned again";
}

} // namespace
} // namespace vigilon::svc
