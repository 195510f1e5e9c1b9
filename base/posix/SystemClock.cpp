// SPDX-License-Identifier: MIT
// The system's clocks on POSIX systems: CLOCK_MONOTONIC and CLOCK_BOOTTIME.
#include "base/Clock.h"

#include <ctime>

namespace vigilon {

namespace {
std::uint64_t readClock(clockid_t id)
{
    timespec ts{};
    clock_gettime(id, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000u;
}
} // namespace

std::uint64_t SystemClock::monotonicMicros() const
{
    return readClock(CLOCK_MONOTONIC);
}

std::uint64_t SystemClock::boottimeMicros() const
{
    return readClock(CLOCK_BOOTTIME);
}

std::tm localTime(std::time_t seconds)
{
    std::tm local{};
    if (!localtime_r(&seconds, &local))
        local = std::tm{};
    return local;
}

} // namespace vigilon
