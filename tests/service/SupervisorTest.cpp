// SPDX-License-Identifier: MIT
// The watch loop on a simulated clock: every wait advances time at once.
#include "service/Supervisor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace vigilon::svc {
namespace {

class FakeHost final : public SupervisorHost {
public:
    // Plans
    std::optional<std::uint64_t> stopAt;
    std::uint64_t horizon = 200000; // the loop is stopped here at the latest
    bool waitFails = false;
    std::function<bool(int attempt)> startSucceeds = [](int) { return true; };
    // How long the n-th successful start runs by itself (nothing: until ended).
    std::map<int, std::uint64_t> lifetimes;
    std::multimap<std::uint64_t, std::function<void()>> schedule;
    bool statusFails = false;

    // Observations
    std::uint64_t now = 0;
    std::vector<std::uint64_t> starts;   // successful starts
    int attempts = 0;
    std::vector<std::uint64_t> ends;     // endMonitor calls
    std::vector<std::uint64_t> killedWhileRunning;
    std::vector<std::uint64_t> logonReads;
    std::vector<ServiceState> statuses;
    std::vector<std::pair<EventType, unsigned>> events;
    std::uint32_t logon = 0;
    bool running = false;

    bool waitForStop(std::uint32_t ms) override
    {
        if (waitFails)
            return true;
        const std::uint64_t target = now + ms;
        if (stopAt && *stopAt <= target) {
            advanceTo(std::max(now, *stopAt));
            return true;
        }
        if (target > horizon) {
            advanceTo(horizon);
            return true;
        }
        advanceTo(target);
        return false;
    }
    bool startMonitor() override
    {
        if (!startSucceeds(attempts++))
            return false;
        const int n = static_cast<int>(starts.size());
        starts.push_back(now);
        running = true;
        ++generation_;
        if (auto it = lifetimes.find(n); it != lifetimes.end()) {
            const int gen = generation_;
            schedule.emplace(now + it->second, [this, gen] {
                if (generation_ == gen)
                    running = false;
            });
        }
        return true;
    }
    bool monitorRunning() override { return running; }
    void endMonitor() override
    {
        ends.push_back(now);
        if (running)
            killedWhileRunning.push_back(now);
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
    void logServiceEvent(EventType type, unsigned id) override { events.emplace_back(type, id); }

    int count(unsigned id) const
    {
        int n = 0;
        for (const auto &e : events)
            n += e.second == id && e.first == EventType::Information;
        return n;
    }

private:
    void advanceTo(std::uint64_t t)
    {
        while (!schedule.empty() && schedule.begin()->first <= t) {
            auto action = schedule.begin()->second;
            now = schedule.begin()->first;
            schedule.erase(schedule.begin());
            action();
        }
        now = t;
    }
    int generation_ = 0;
};

using Times = std::vector<std::uint64_t>;

TEST(Supervisor, StartsReportsAndEndsVigilonAtOnceOnStop)
{
    FakeHost host;
    host.stopAt = 35000;
    CSupervisor supervisor(host);
    EXPECT_TRUE(supervisor.superviseMonitor());

    EXPECT_EQ(host.starts, Times{0});
    EXPECT_EQ(host.killedWhileRunning, Times{35000}) << "ended when the stop came, not at the next round";
    EXPECT_EQ(supervisor.state(), SupervisorState::Stopping);
    ASSERT_EQ(host.statuses.size(), 2u);
    EXPECT_EQ(host.statuses[0], ServiceState::StartPending);
    EXPECT_EQ(host.statuses[1], ServiceState::Running);
    const std::vector<std::pair<EventType, unsigned>> expected{{EventType::Information, ssid::ServiceStarted},
                                                               {EventType::Information, ssid::ServiceStopped}};
    EXPECT_EQ(host.events, expected);
    EXPECT_EQ(host.logonReads, (Times{10000, 20000, 30000}));
}

TEST(Supervisor, VigilonEndingInTheFirstRoundIsNotStartedAgain)
{
    FakeHost host;
    host.lifetimes[0] = 5000;
    host.horizon = 100000;
    CSupervisor supervisor(host);
    supervisor.superviseMonitor();

    EXPECT_EQ(host.starts, Times{0});
    EXPECT_TRUE(host.logonReads.empty()) << "Logon is looked at only while Vigilon runs";
    EXPECT_EQ(host.now, 100000u) << "the service keeps running";
    EXPECT_TRUE(host.killedWhileRunning.empty());
}

TEST(Supervisor, VigilonEndingWhileWatchedIsStartedAgainWithinARound)
{
    FakeHost host;
    host.lifetimes[0] = 25000;
    host.lifetimes[1] = 1000; // a restarted Vigilon that dies at once is restarted every round
    host.stopAt = 55000;
    CSupervisor supervisor(host);
    supervisor.superviseMonitor();

    EXPECT_EQ(host.starts, (Times{0, 30000, 40000}));
    EXPECT_EQ(host.count(ssid::ServiceStarted), 3);
    EXPECT_EQ(host.count(ssid::ServiceStopped), 1);
    // Each start reports pending and then running again.
    EXPECT_EQ(std::count(host.statuses.begin(), host.statuses.end(), ServiceState::StartPending), 3);
    EXPECT_EQ(std::count(host.statuses.begin(), host.statuses.end(), ServiceState::Running), 3);
    EXPECT_EQ(host.killedWhileRunning, Times{55000});
}

TEST(Supervisor, LogonEndsVigilonAndStartsItOneRoundLater)
{
    FakeHost host;
    host.schedule.emplace(15000, [&host] { host.logon = 1; });
    host.stopAt = 45000;
    CSupervisor supervisor(host);
    supervisor.superviseMonitor();

    EXPECT_EQ(host.starts, (Times{0, 30000}));
    EXPECT_EQ(host.killedWhileRunning, (Times{20000, 45000}));
    EXPECT_EQ(host.logon, 0u) << "the flag is left cleared";
}

TEST(Supervisor, LogonInTheFirstRoundStillRestartsVigilon)
{
    // The ended Vigilon counts as running in that round, so the loop moves
    // on to Watching and starts the next one.
    FakeHost host;
    host.logon = 1;
    host.stopAt = 25000;
    CSupervisor supervisor(host);
    supervisor.superviseMonitor();

    EXPECT_EQ(host.starts, (Times{0, 20000}));
    EXPECT_EQ(host.killedWhileRunning, (Times{10000, 25000}));
}

TEST(Supervisor, LogonIsReadOnlyWhileVigilonRuns)
{
    FakeHost host;
    host.lifetimes[0] = 25000;
    host.schedule.emplace(26000, [&host] { host.logon = 1; });
    host.stopAt = 55000;
    CSupervisor supervisor(host);
    supervisor.superviseMonitor();

    // Round 30000 finds Vigilon gone: it starts it without reading the flag,
    // which the fresh Vigilon then answers for at 40000.
    EXPECT_EQ(host.logonReads, (Times{10000, 20000, 40000}));
    EXPECT_EQ(host.starts, (Times{0, 30000, 50000}));
}

TEST(Supervisor, FirstStartFailureStopsTheServiceWithoutEnteringTheLoop)
{
    FakeHost host;
    host.startSucceeds = [](int attempt) { return attempt > 0; };
    CSupervisor supervisor(host);
    EXPECT_FALSE(supervisor.superviseMonitor());

    EXPECT_EQ(host.now, 0u) << "no round was waited for";
    EXPECT_TRUE(host.starts.empty());
    EXPECT_EQ(host.count(ssid::ServiceStarted), 0);
    EXPECT_EQ(host.count(ssid::ServiceStopped), 1);
    EXPECT_EQ(host.statuses, std::vector<ServiceState>{ServiceState::StartPending});
}

TEST(Supervisor, FailedStatusReportMeansNoStart)
{
    FakeHost host;
    host.statusFails = true;
    CSupervisor supervisor(host);
    EXPECT_FALSE(supervisor.launchMonitor());
    EXPECT_EQ(host.attempts, 0);
}

TEST(Supervisor, LaterStartFailuresAreRetriedEveryRoundWithoutEvents)
{
    FakeHost host;
    host.lifetimes[0] = 15000;
    host.startSucceeds = [](int attempt) { return attempt == 0 || attempt >= 3; };
    host.stopAt = 45000;
    CSupervisor supervisor(host);
    supervisor.superviseMonitor();

    EXPECT_EQ(host.attempts, 4); // 0, then 20000, 30000 fail, 40000 works
    EXPECT_EQ(host.starts, (Times{0, 40000}));
    EXPECT_EQ(host.count(ssid::ServiceStarted), 2);
    EXPECT_EQ(supervisor.state(), SupervisorState::Stopping);
    // After each failed start the service is reported running again, so that
    // it still takes a stop request.
    using S = ServiceState;
    const std::vector<ServiceState> expected{S::StartPending, S::Running,      // first start
                                             S::StartPending, S::Running,      // 20000 failed
                                             S::StartPending, S::Running,      // 30000 failed
                                             S::StartPending, S::Running};     // 40000
    EXPECT_EQ(host.statuses, expected);
}

TEST(Supervisor, FailedWaitStopsLikeAStopRequest)
{
    FakeHost host;
    host.waitFails = true;
    CSupervisor supervisor(host);
    supervisor.superviseMonitor();
    EXPECT_EQ(host.killedWhileRunning, Times{0});
    EXPECT_TRUE(host.logonReads.empty());
    EXPECT_EQ(host.count(ssid::ServiceStopped), 1);
}

TEST(Supervisor, StopBetweenLogonEndAndRestartStartsNothing)
{
    FakeHost host;
    host.logon = 1;
    host.stopAt = 15000;
    CSupervisor supervisor(host);
    supervisor.superviseMonitor();
    EXPECT_EQ(host.starts, Times{0});
    EXPECT_EQ(host.killedWhileRunning, Times{10000});
}

TEST(Supervisor, RoundLengthIsTheHostsWait)
{
    FakeHost host;
    host.lifetimes[0] = 600;
    host.stopAt = 1100;
    CSupervisor supervisor(host, 250);
    supervisor.superviseMonitor();
    EXPECT_EQ(host.starts, (Times{0, 750}));
}

} // namespace
} // namespace vigilon::svc
