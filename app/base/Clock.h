// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace vigilon {

// Time as the monitor sees it. Durations are measured on the monotonic clock;
// suspended time shows as boottime growing faster than monotonic time.
class Clock {
public:
    virtual ~Clock() = default;
    // Monotonic time in microseconds; it does not advance while suspended.
    virtual std::uint64_t monotonicMicros() const = 0;
    // Like monotonicMicros(), but it also counts time spent suspended.
    virtual std::uint64_t boottimeMicros() const = 0;
    // Seconds since 1970-01-01 UTC, truncated to 32 bits as stored times are.
    virtual std::uint32_t nowSeconds() const = 0;

    // Milliseconds in the manner of a 32-bit tick counter: compare two of them
    // only through an unsigned 32-bit difference.
    std::uint32_t tickMs() const { return static_cast<std::uint32_t>(monotonicMicros() / 1000u); }
};

// The system's clocks.
class SystemClock final : public Clock {
public:
    std::uint64_t monotonicMicros() const override;
    std::uint64_t boottimeMicros() const override;
    std::uint32_t nowSeconds() const override;

    static SystemClock &instance();
};

} // namespace vigilon
