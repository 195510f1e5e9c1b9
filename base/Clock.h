// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <ctime>

namespace vigilon {

// The local calendar time of a moment, in the system's time zone; all zero
// when the system cannot tell.
std::tm localTime(std::time_t seconds);

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
    // Milliseconds since 1970-01-01 UTC, for what is kept with its time.
    virtual std::int64_t nowMillis() const { return std::int64_t(nowSeconds()) * 1000; }

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
    std::int64_t nowMillis() const override;

    static SystemClock &instance();
};

// Notices suspends of the machine. Boottime goes on counting while the
// machine sleeps and monotonic time does not, so the distance between the
// two grows by every suspend and by nothing else. Each look compares the
// distance with the one seen at the previous look.
class SuspendWatch {
public:
    // Growth below this is taken for the time between reading the two clocks.
    static constexpr std::uint64_t toleranceMicros = 500000;

    // clock may be null: then no suspend is ever seen.
    explicit SuspendWatch(const Clock *clock) : clock_(clock), distance_(distanceNow()) {}

    // Whether the machine was suspended since the previous look (or since
    // construction). The distance seen now becomes the new reference.
    bool suspendedSinceLastLook()
    {
        const std::int64_t now = distanceNow();
        const std::int64_t grown = now - distance_;
        distance_ = now;
        if (grown <= static_cast<std::int64_t>(toleranceMicros))
            return false;
        lastSuspendMicros_ = static_cast<std::uint64_t>(grown);
        return true;
    }
    // How long the last suspend seen lasted.
    std::uint64_t lastSuspendMicros() const { return lastSuspendMicros_; }

private:
    std::int64_t distanceNow() const
    {
        if (!clock_)
            return 0;
        // Monotonic first: a suspend between the two readings then shows.
        const std::uint64_t monotonic = clock_->monotonicMicros();
        return static_cast<std::int64_t>(clock_->boottimeMicros() - monotonic);
    }

    const Clock *clock_;
    std::int64_t distance_;
    std::uint64_t lastSuspendMicros_ = 0;
};

} // namespace vigilon
