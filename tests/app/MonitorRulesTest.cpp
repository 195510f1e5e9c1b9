// SPDX-License-Identifier: MIT
#include "app/MonitorRules.h"

#include <gtest/gtest.h>

#include <tuple>

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

// HTTPS and TLS entries warn when their certificate has its days of warning
// left or fewer; 0 days never warns, and other kinds never look.
TEST(MonitorRules, aCertificateWithinItsDaysOfWarningWarnsAsASlowAnswerDoes)
{
    struct Case {
        std::uint32_t protocol, warnDays;
        bool known;
        std::int32_t left;
        PortStatus expected;
    } const cases[] = {
        {Https, 14, true, 14, Warning}, {Https, 14, true, 15, Ok},  {Tls, 14, true, -3, Warning},
        {Tls, 0, true, 1, Ok},          {Tls, 3, false, 1, Ok},     {Http, 14, true, 1, Ok},
        {Tls, 0xFFFFFFFFu, true, 0x7fffffff, Warning},
    };
    for (const Case &c : cases) {
        MonitorPort entry;
        entry.protocol = c.protocol;
        entry.certWarnDays = c.warnDays;
        entry.certDaysKnown = c.known;
        entry.certDaysLeft = c.left;
        EXPECT_EQ(applySuccess(entry), c.expected == Warning) << c.protocol << " " << c.warnDays << " " << c.left;
        EXPECT_EQ(entry.status, c.expected);
    }
}

TEST(MonitorRules, retryLimitDeclaresAtTheNextFailureAndAlertsOnce)
{
    MonitorPort entry;
    entry.status = Ok;
    // The entry's status, errors, time of the first error and retries.
    const auto state = [&entry] {
        return std::tuple(entry.status, entry.errorCount, entry.lastErrorTime, entry.retryCount);
    };
    EXPECT_EQ(applyFailure(entry, 1, false, kNow), FailureVerdict::Tolerated);
    EXPECT_EQ(state(), std::tuple(Ok, 0u, 0u, 1u));
    EXPECT_EQ(applyFailure(entry, 1, false, kNow + 5), FailureVerdict::DeclaredAndAlert);
    EXPECT_EQ(state(), std::tuple(Failed, 1u, kNow + 5, 0u));

    // While failed every further failure is declared again, without a command,
    // keeping the time of the first.
    EXPECT_EQ(applyFailure(entry, 1, false, kNow + 10), FailureVerdict::Declared);
    EXPECT_EQ(applyFailure(entry, 1, false, kNow + 15), FailureVerdict::Declared);
    EXPECT_EQ(state(), std::tuple(Failed, 3u, kNow + 5, 0u));

    // The first success ends it and keeps the counters.
    applySuccess(entry);
    EXPECT_EQ(state(), std::tuple(Ok, 3u, kNow + 5, 0u));
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

// After a warning an earlier failure's time is kept; with none, or after
// Ok, the new failure's time is taken.
TEST(MonitorRules, aFailureAfterWarningKeepsAnEarlierErrorTime)
{
    for (const auto &[status, before, after] : {std::tuple(Warning, kNow - 100, kNow - 100),
                                                std::tuple(Warning, 0u, kNow), std::tuple(Ok, kNow - 100, kNow)}) {
        MonitorPort entry;
        entry.status = status;
        entry.lastErrorTime = before;
        applyFailure(entry, 0, false, kNow);
        EXPECT_EQ(entry.lastErrorTime, after) << status << " " << before;
    }
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
