// SPDX-License-Identifier: MIT
// Entries with an interval, a retry limit and a timeout of their own, through
// the engine on fake checks in virtual time.
#include "tests/support/FrameTestPeer.h"
#include "tests/support/FrameFixture.h"
#include "store/Settings.h"

#include <algorithm>
#include <map>
#include <numeric>

namespace vigilon::test {
namespace {

class EntrySchedule : public FrameFixture {
protected:
    // The frame goes before its store.
    ~EntrySchedule() override { frame.reset(); }
    // Entries on ports from 1000 up, each with the interval given (0: the
    // global one of 5 s); every check answers from inside its start.
    void startWith(const std::vector<std::uint32_t> &intervals)
    {
        // Put in the list directly, on a store that cannot be read and is
        // therefore never written: thousands go through no store.
        frameRegistry = unreadable.get();
        makeFrame();
        PortList &ports = FrameTestPeer::ports(*frame);
        for (std::size_t i = 0; i < intervals.size(); ++i) {
            auto entry = std::make_unique<MonitorPort>();
            entry->id = static_cast<std::uint32_t>(100 + i);
            entry->port = static_cast<std::uint32_t>(1000 + i);
            entry->active = 1;
            entry->name = "port " + std::to_string(entry->port);
            entry->intervalSeconds = intervals[i];
            ports.insert(ports.end() - 1, std::move(entry));
        }
        for (std::size_t i = 0; i < ports.size(); ++i)
            ports[i]->rowHint = i;
        probes.outcomeAtStart = 1;
        ASSERT_TRUE(frame->toggleMonitoring(true));
        loop.runPosted();
    }
    // Checks started per port since the list was last cleared.
    std::map<std::uint32_t, int> checksByPort() const
    {
        std::map<std::uint32_t, int> counts;
        for (const auto &started : probes.started)
            ++counts[started.port];
        return counts;
    }
    const void *engineTimer() { return &FrameTestPeer::engine(*frame); }
    PortList &ports() { return FrameTestPeer::ports(*frame); }
    std::unique_ptr<reg::Registry> unreadable = unavailableRegistry(reg::Status::IoError);
};

// Every entry is checked in the first round, then each at its own pace;
// those on the global interval keep to it, all in one round.
TEST_F(EntrySchedule, eachEntryIsCheckedAtItsOwnInterval)
{
    startWith({1, 3, 10, 0, 0});
    EXPECT_EQ(checksByPort(), (std::map<std::uint32_t, int>{{1000, 1}, {1001, 1}, {1002, 1}, {1003, 1}, {1004, 1}}));
    EXPECT_EQ(loop.timerPeriod(engineTimer(), timers::Poll), 1000u);
    probes.started.clear();
    loop.advance(30000);
    EXPECT_EQ(checksByPort(),
              (std::map<std::uint32_t, int>{{1000, 30}, {1001, 10}, {1002, 3}, {1003, 6}, {1004, 6}}));
    // The two on the global interval are always checked together.
    for (std::size_t i = 0; i < probes.started.size(); ++i) {
        if (probes.started[i].port == 1003) {
            ASSERT_LT(i + 1, probes.started.size());
            EXPECT_EQ(probes.started[i + 1].port, 1004u);
        }
    }
}

// A store without intervals of its own keeps one timer of the global
// interval, and each of its rounds checks every entry at once.
TEST_F(EntrySchedule, withoutOwnIntervalsRoundsKeepTheGlobalInterval)
{
    startWith({0, 0, 0});
    EXPECT_EQ(loop.timerPeriod(engineTimer(), timers::Poll), 5000u);
    probes.started.clear();
    loop.advance(4999);
    EXPECT_TRUE(probes.started.empty());
    loop.advance(1);
    EXPECT_EQ(probes.started.size(), 3u);
    EXPECT_TRUE(std::all_of(ports().begin(), ports().end(), [](const auto &entry) { return entry->nextDueMicros == 0; }))
        << "no schedule is kept";
}

// Each entry tolerates its own number of failed checks before one is
// declared, and its alert runs once.
TEST_F(EntrySchedule, retriesAreCountedPerEntry)
{
    storeConfiguration({{80, GenericTcp, 1, 0, "alert 80"}, {81, GenericTcp, 1, 0, "alert 81"}}, 5, 1);
    makeFrame();
    FrameTestPeer::ports(*frame)[1]->retryLimit = 3;
    ASSERT_TRUE(frame->toggleMonitoring(true));
    const auto fail = [this] {
        probes.finishAll(false);
        loop.advance(5000);
    };
    fail();
    EXPECT_TRUE(commands.empty());
    fail();
    EXPECT_EQ(commands, std::vector<std::string>{"alert 80"}) << "the global limit: declared at the second failure";
    fail();
    fail();
    EXPECT_EQ(commands, (std::vector<std::string>{"alert 80", "alert 81"})) << "its own limit: at the fourth";
    EXPECT_EQ(std::pair(ports()[0]->status, ports()[1]->status), std::pair(Failed, Failed));
}

// Thousands of entries with intervals of their own do not fall due
// together: their checks spread over their intervals, and each entry is
// checked as often as its interval says.
TEST_F(EntrySchedule, manyEntriesWithMixedIntervalsSpreadTheirChecks)
{
    constexpr std::size_t kEntries = 5000;
    const std::uint32_t pattern[] = {10, 30, 60, 10, 0};
    std::vector<std::uint32_t> intervals;
    for (std::size_t i = 0; i < kEntries; ++i)
        intervals.push_back(pattern[i % 5]);
    startWith(intervals);
    EXPECT_EQ(probes.started.size(), kEntries) << "the first round checks them all";
    probes.started.clear();
    std::vector<std::size_t> perSecond;
    for (int second = 0; second < 60; ++second) {
        const std::size_t before = probes.started.size();
        loop.advance(1000);
        perSecond.push_back(probes.started.size() - before);
    }
    // 2000 entries every 10 s, 1000 every 30 s and every 60 s, and 1000 on
    // the global 5 s: 12000 + 2000 + 1000 + 12000 checks in a minute.
    EXPECT_EQ(std::accumulate(perSecond.begin(), perSecond.end(), std::size_t(0)), 27000u);
    // The global entries' 1000 come together every 5 s by design; the
    // others' 250 a second on average never come near a burst.
    for (std::size_t second = 0; second < perSecond.size(); ++second) {
        const std::size_t global = (second + 1) % 5 == 0 ? 1000 : 0;
        EXPECT_LE(perSecond[second], global + 350) << "second " << second + 1;
        EXPECT_GE(perSecond[second], global + 150) << "second " << second + 1;
    }
}

// An entry left out for want of local resources is due again at the next
// tick, not a whole interval later.
TEST_F(EntrySchedule, anEntryLeftOutIsTriedAgainAtTheNextTick)
{
    startWith({60});
    probes.started.clear();
    probes.localShortage = true;
    ASSERT_GT(ports()[0]->nextDueMicros, clock.monotonic) << "its next check is scheduled";
    loop.advance((ports()[0]->nextDueMicros - clock.monotonic) / 1000);
    ASSERT_EQ(probes.started.size(), 1u);
    probes.localShortage = false;
    loop.advance(1000);
    EXPECT_EQ(probes.started.size(), 2u);
}

} // namespace
} // namespace vigilon::test
