// SPDX-License-Identifier: MIT
#include "app/base/Clock.h"

#include <chrono>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vigilon {

namespace {
#ifndef _WIN32
std::uint64_t readClock(clockid_t id)
{
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000u;
}
#else
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
#endif
} // namespace

std::uint64_t SystemClock::monotonicMicros() const
{
#ifndef _WIN32
    return readClock(CLOCK_MONOTONIC);
#else
    // The performance counter keeps counting across a suspend; the
    // unbiased interrupt time does not.
    ULONGLONG unbiased = 0;
    QueryUnbiasedInterruptTime(&unbiased);
    return unbiased / 10u;
#endif
}

std::uint64_t SystemClock::boottimeMicros() const
{
#ifndef _WIN32
    return readClock(CLOCK_BOOTTIME);
#else
    return performanceMicros();
#endif
}

std::uint32_t SystemClock::nowSeconds() const
{
    return static_cast<std::uint32_t>(std::time(nullptr));
}

SystemClock &SystemClock::instance()
{
    static SystemClock clock;
    return clock;
}

} // namespace vigilon
