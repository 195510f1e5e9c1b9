// SPDX-License-Identifier: MIT
#include "base/Clock.h"
#include "base/PollEventLoop.h"
#include "tests/support/EventLoopContract.h"

#include <gtest/gtest.h>

namespace vigilon {
namespace {

TEST(PollEventLoop, KeepsTheEventLoopContract)
{
    PollEventLoop loop;
    const test::contract::Run run = [&loop](const std::function<bool()> &done, int timeoutMs) {
        loop.runUntil(done, static_cast<unsigned>(timeoutMs));
    };
    EXPECT_EQ(test::contract::all(loop, run), test::contract::Failures{});
    EXPECT_EQ(loop.timerCount(), 0u);
    EXPECT_EQ(loop.watchCount(), 0u);
}

TEST(PollEventLoop, TimerSleepsUntilItsDeadline)
{
    PollEventLoop loop;
    std::uint64_t firedAt = 0;
    int owner = 0;
    const std::uint64_t began = SystemClock::instance().monotonicMicros();
    loop.setTimer(&owner, 9, 30, [&] {
        firedAt = SystemClock::instance().monotonicMicros();
        loop.killTimer(&owner, 9);
    });
    loop.runUntil([&] { return firedAt != 0; }, 1000);
    ASSERT_NE(firedAt, 0u);
    EXPECT_GE(firedAt - began, 30000u);
}

} // namespace
} // namespace vigilon
