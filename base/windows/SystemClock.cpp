// SPDX-License-Identifier: MIT
// The system's clocks on Windows: the performance counter, with the time
// spent suspended taken out for monotonic time.
#include "base/Clock.h"

#include <mutex>
#include <windows.h>

namespace vigilon {

namespace {
std::uint64_t performanceMicros()
{
    static const LONGLONG frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const auto q = static_cast<std::uint64_t>(now.QuadPart);
    const auto f = static_cast<std::uint64_t>(frequency);
    return q / f * 1000000u + q % f * 1000000u / f;
}
} // namespace

std::uint64_t SystemClock::monotonicMicros() const
{
    // The performance counter is fine-grained but keeps counting across a
    // suspend; the unbiased interrupt time leaves suspends out but moves only
    // at the timer tick. Their distance grows by the time suspended (and
    // jitters by a tick): a growth beyond a few ticks is taken out of the
    // counter for good, so the time stays fine-grained between suspends.
    static std::mutex mutex;
    static bool started = false;
    static std::int64_t firstGap = 0;
    static std::uint64_t removed = 0;
    static std::uint64_t lastAnswer = 0;
    std::lock_guard<std::mutex> lock(mutex);
    const std::uint64_t counter = performanceMicros();
    ULONGLONG unbiased = 0;
    QueryUnbiasedInterruptTime(&unbiased);
    const std::int64_t gap = static_cast<std::int64_t>(counter) - static_cast<std::int64_t>(unbiased / 10u);
    if (!started) {
        started = true;
        firstGap = gap;
    }
    const std::int64_t grown = gap - firstGap - static_cast<std::int64_t>(removed);
    if (grown > 100000)
        removed += static_cast<std::uint64_t>(grown);
    std::uint64_t answer = counter - removed;
    if (answer < lastAnswer)
        answer = lastAnswer;
    lastAnswer = answer;
    return answer;
}

std::uint64_t SystemClock::boottimeMicros() const
{
    return performanceMicros();
}

std::tm localTime(std::time_t seconds)
{
    std::tm local{};
    if (localtime_s(&local, &seconds) != 0)
        local = std::tm{};
    return local;
}

} // namespace vigilon
