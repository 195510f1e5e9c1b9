// SPDX-License-Identifier: MIT
#include "app/MonitorRules.h"

#include <gtest/gtest.h>

namespace vigilon {
namespace {

constexpr std::uint32_t kNow = 1767225600;

TEST(MonitorRules, thresholdIsExceededOnlyAboveIt)
{
    struct Case {
        std::uint32_t threshold, response;
        PortStatus expected;
    };
    for (const Case c : {Case{100, 100, Ok}, Case{100, 101, Warning}, Case{0, 999999, Ok}, Case{1, 0, Ok},
                         Case{0xFFFFFFFFu, 0xFFFFFFFFu, Ok}}) {
        MonitorPort entry;
        entry.threshold = c.threshold;
        entry.responseTime = c.response;
        // The rule sees the rounded milliseconds, never the exact time.
        entry.responseMicros = (c.response + 1ull) * 1000u;
        entry.retryCount = 3;
        EXPECT_EQ(applySuccess(entry), c.expected == Warning);
        EXPECT_EQ(entry.status, c.expected) << c.threshold << " " << c.response;
        EXPECT_EQ(entry.retryCount, 0u);
    }
}

TEST(MonitorRules, retryLimitDeclaresAtTheNextFailureAndAlertsOnce)
{
    MonitorPort entry;
    entry.status = Ok;
    EXPECT_EQ(applyFailure(entry, 1, false, kNow), FailureVerdict::Tolerated);
    EXPECT_EQ(entry.status, Ok);
    EXPECT_EQ(entry.errorCount, 0u);
    EXPECT_EQ(applyFailure(entry, 1, false, kNow + 5), FailureVerdict::DeclaredAndAlert);
    EXPECT_EQ(entry.status, Failed);
    EXPECT_EQ(entry.errorCount, 1u);
    EXPECT_EQ(entry.lastErrorTime, kNow + 5);
    EXPECT_EQ(entry.retryCount, 0u);

    // While failed every further failure is declared again, without a command,
    // keeping the time of the first.
    EXPECT_EQ(applyFailure(entry, 1, false, kNow + 10), FailureVerdict::Declared);
    EXPECT_EQ(applyFailure(entry, 1, false, kNow + 15), FailureVerdict::Declared);
    EXPECT_EQ(entry.errorCount, 3u);
    EXPECT_EQ(entry.lastErrorTime, kNow + 5);

    // The first success ends it and keeps the counters.
    applySuccess(entry);
    EXPECT_EQ(entry.status, Ok);
    EXPECT_EQ(entry.errorCount, 3u);
    EXPECT_EQ(entry.lastErrorTime, kNow + 5);
}

TEST(MonitorRules, higherRetryLimitsTolerateThatManyFailures)
{
    for (std::uint32_t limit = 1; limit <= 5; ++limit) {
        MonitorPort entry;
        for (std::uint32_t i = 0; i < limit; ++i)
            EXPECT_EQ(applyFailure(entry, limit, false, kNow), FailureVerdict::Tolerated) << limit;
        EXPECT_EQ(applyFailure(entry, limit, false, kNow), FailureVerdict::DeclaredAndAlert) << limit;
    }
}

TEST(MonitorRules, aFailureAfterWarningKeepsAnEarlierErrorTime)
{
    MonitorPort entry;
    entry.status = Warning;
    entry.lastErrorTime = kNow - 100;
    applyFailure(entry, 0, false, kNow);
    EXPECT_EQ(entry.lastErrorTime, kNow - 100);

    MonitorPort fresh;
    fresh.status = Warning;
    applyFailure(fresh, 0, false, kNow);
    EXPECT_EQ(fresh.lastErrorTime, kNow) << "no earlier failure: the new time";

    MonitorPort ok;
    ok.status = Ok;
    ok.lastErrorTime = kNow - 100;
    applyFailure(ok, 0, false, kNow);
    EXPECT_EQ(ok.lastErrorTime, kNow) << "after Ok always the new time";
}

TEST(MonitorRules, aPortTestDeclaresAtOnceAndAlwaysAlerts)
{
    MonitorPort entry;
    entry.status = Failed;
    EXPECT_EQ(applyFailure(entry, 5, true, kNow), FailureVerdict::DeclaredAndAlert);
    EXPECT_EQ(entry.errorCount, 1u);
    MonitorPort idle;
    EXPECT_EQ(applyFailure(idle, 5, true, kNow), FailureVerdict::DeclaredAndAlert);
}

} // namespace
} // namespace vigilon
