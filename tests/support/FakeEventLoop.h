// SPDX-License-Identifier: MIT
#pragma once

#include "base/Clock.h"
#include "base/EventLoop.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

namespace vigilon::test {

// A clock the test moves by hand.
class FakeClock final : public Clock {
public:
    std::uint64_t monotonicMicros() const override { return monotonic; }
    std::uint64_t boottimeMicros() const override { return boottime; }
    std::uint32_t nowSeconds() const override { return wallSeconds; }

    void advanceMs(std::uint64_t ms)
    {
        monotonic += ms * 1000u;
        suspendMs(ms);
    }

    // The machine sleeps for ms: boottime and the wall clock go on,
    // monotonic time stands still.
    void suspendMs(std::uint64_t ms)
    {
        boottime += ms * 1000u;
        accumulatedMicros += ms * 1000u;
        wallSeconds = baseSeconds + static_cast<std::uint32_t>(accumulatedMicros / 1000000u);
    }

    std::uint64_t monotonic = 1000000;
    std::uint64_t boottime = 1000000;
    std::uint32_t baseSeconds = 1767225600; // 2026-01-01 00:00:00 UTC
    std::uint32_t wallSeconds = baseSeconds;
    std::uint64_t accumulatedMicros = 0;
};

// An event loop in virtual time: timers fire only when the test advances the
// clock, in due order, as window timers would.
class FakeEventLoop final : public EventLoop {
public:
    explicit FakeEventLoop(FakeClock &clock) : clock_(clock) {}

    void setTimer(TimerOwner owner, unsigned id, unsigned periodMs, TimerCallback callback) override
    {
        Timer &t = timers_[{owner, id}];
        t.periodMs = periodMs;
        t.dueMs = nowMs() + periodMs;
        t.callback = std::move(callback);
    }
    void killTimer(TimerOwner owner, unsigned id) override { timers_.erase({owner, id}); }
    void killTimers(TimerOwner owner) override
    {
        for (auto it = timers_.begin(); it != timers_.end();)
            it = it->first.first == owner ? timers_.erase(it) : std::next(it);
    }
    bool hasTimer(TimerOwner owner, unsigned id) const override { return timers_.count({owner, id}) != 0; }
    unsigned timerPeriod(TimerOwner owner, unsigned id) const
    {
        auto it = timers_.find({owner, id});
        return it == timers_.end() ? 0 : it->second.periodMs;
    }
    void watchSocket(int fd, unsigned, SocketCallback callback) override { watches_[fd] = std::move(callback); }
    void unwatchSocket(int fd) override { watches_.erase(fd); }
    // From any thread, as the loop's contract says.
    void post(std::function<void()> fn) override
    {
        std::lock_guard lock(postedMutex_);
        posted_.push_back(std::move(fn));
    }

    // Moves virtual time forward, firing every timer that falls due on the
    // way, and running posted calls after each.
    void advance(std::uint64_t ms)
    {
        const std::uint64_t end = nowMs() + ms;
        runPosted();
        for (;;) {
            auto next = std::min_element(timers_.begin(), timers_.end(),
                                         [](const auto &a, const auto &b) { return a.second.dueMs < b.second.dueMs; });
            if (next == timers_.end() || next->second.dueMs > end)
                break;
            clock_.advanceMs(next->second.dueMs - nowMs());
            next->second.dueMs += std::max(1u, next->second.periodMs);
            TimerCallback callback = next->second.callback;
            callback();
            runPosted();
        }
        clock_.advanceMs(end - nowMs());
        runPosted();
    }

    void runPosted()
    {
        for (;;) {
            std::function<void()> fn;
            {
                std::lock_guard lock(postedMutex_);
                if (posted_.empty())
                    break;
                fn = std::move(posted_.front());
                posted_.pop_front();
            }
            fn();
        }
    }

    // Fires one timer now, whenever it is due; false when there is none.
    bool fire(TimerOwner owner, unsigned id)
    {
        const auto it = timers_.find({owner, id});
        if (it == timers_.end())
            return false;
        TimerCallback callback = it->second.callback;
        callback();
        return true;
    }

    std::size_t watchCount() const { return watches_.size(); }

private:
    struct Timer {
        unsigned periodMs = 0;
        std::uint64_t dueMs = 0;
        TimerCallback callback;
    };
    std::uint64_t nowMs() const { return clock_.monotonicMicros() / 1000u; }

    FakeClock &clock_;
    std::map<std::pair<TimerOwner, unsigned>, Timer> timers_;
    std::map<int, SocketCallback> watches_;
    std::mutex postedMutex_;
    std::deque<std::function<void()>> posted_;
};

// Local time in the given zone (a TZ value) while it lives, so that the
// texts of local times are the same everywhere.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char *zone)
    {
        if (const char *old = std::getenv("TZ"))
            saved_ = old;
        use(zone);
    }
    ~ScopedTimeZone() { use(saved_ ? saved_->c_str() : nullptr); }
    ScopedTimeZone(const ScopedTimeZone &) = delete;
    ScopedTimeZone &operator=(const ScopedTimeZone &) = delete;

private:
    static void use(const char *zone)
    {
#ifdef _WIN32
        _putenv_s("TZ", zone ? zone : "");
        _tzset();
#else
        zone ? setenv("TZ", zone, 1) : unsetenv("TZ");
        tzset();
#endif
    }
    std::optional<std::string> saved_;
};

// Virtual time: a clock the test moves and a loop whose timers it fires.
struct VirtualTime {
    FakeClock clock;
    FakeEventLoop loop{clock};
};

} // namespace vigilon::test
