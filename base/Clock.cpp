// SPDX-License-Identifier: MIT
// The system clock's wall time; its monotonic and boottime readings differ
// by system and live in posix/SystemClock.cpp and windows/SystemClock.cpp.
#include "base/Clock.h"

#include <chrono>
#include <ctime>

namespace vigilon {

std::uint32_t SystemClock::nowSeconds() const
{
    return static_cast<std::uint32_t>(std::time(nullptr));
}

std::int64_t SystemClock::nowMillis() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

SystemClock &SystemClock::instance()
{
    static SystemClock clock;
    return clock;
}

} // namespace vigilon
