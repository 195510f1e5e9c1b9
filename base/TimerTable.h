// SPDX-License-Identifier: MIT
#pragma once

#include "base/EventLoop.h"

#include <cstdint>
#include <functional>
#include <queue>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vigilon {

// The timers of an event loop, kept by the loop itself so that the system
// needs one timer only, for the earliest deadline. A timer is found by its
// key (owner, id), the owner's in a hash table: setting, killing and testing
// one costs about the same however many there are (a round sets and kills
// one for each of thousands of checks, each check its own owner); killing all
// of one owner's costs as many as it has. Deadlines sit in a heap; an entry
// of a timer killed or set anew stays there, stale, until it comes up or the
// heap is rebuilt.
class TimerTable {
public:
    using Owner = EventLoop::TimerOwner;
    using Callback = EventLoop::TimerCallback;

    // Sets (or restarts) the timer; first due periodMs after nowMicros.
    void set(Owner owner, unsigned id, unsigned periodMs, Callback callback, std::uint64_t nowMicros);
    void kill(Owner owner, unsigned id);
    void killAll(Owner owner);
    bool has(Owner owner, unsigned id) const { return find(owner, id) != nullptr; }
    std::size_t size() const { return count_; }

    // When the earliest timer is due; UINT64_MAX when there is none.
    std::uint64_t nextDueMicros() const;

    // Runs the timers due at nowMicros, earliest first, each once (a late
    // timer keeps its period from now on, as window timers do). Stops after
    // a callback that ends past stopAtMicros; what is left is due still.
    // now() reads the clock. Returns how many ran.
    template <typename Now>
    std::size_t runDue(std::uint64_t nowMicros, std::uint64_t stopAtMicros, Now now)
    {
        std::size_t ran = 0;
        while (!heap_.empty() && heap_.top().due <= nowMicros) {
            const Due top = heap_.top();
            heap_.pop();
            Timer *found = find(top.key.first, top.key.second);
            if (!found || found->serial != top.serial)
                continue; // killed or set anew since
            Timer &timer = *found;
            timer.due += timer.period;
            if (timer.due <= nowMicros)
                timer.due = nowMicros + timer.period;
            timer.serial = ++serial_;
            heap_.push(Due{timer.due, timer.serial, top.key});
            // The callback may kill or set its own timer.
            Callback callback = timer.callback;
            callback();
            ++ran;
            if (now() > stopAtMicros)
                break;
        }
        return ran;
    }

private:
    using Key = std::pair<Owner, unsigned>;
    struct Timer {
        std::uint64_t period = 0;
        std::uint64_t due = 0;
        std::uint64_t serial = 0;
        Callback callback;
    };
    struct Due {
        std::uint64_t due = 0;
        std::uint64_t serial = 0;
        Key key;
        bool operator>(const Due &other) const
        {
            return due != other.due ? due > other.due : serial > other.serial;
        }
    };
    struct Slot {
        unsigned id = 0;
        Timer timer;
    };
    // One owner's timers. Most owners keep one, which needs no list.
    struct Owned {
        Slot first;
        std::vector<Slot> more;
    };
    Timer *find(Owner owner, unsigned id);
    const Timer *find(Owner owner, unsigned id) const;
    // Rebuilds the heap once its stale entries outnumber the live ones.
    void compactIfStale();

    std::unordered_map<Owner, Owned> timers_;
    std::size_t count_ = 0;
    mutable std::priority_queue<Due, std::vector<Due>, std::greater<Due>> heap_;
    std::uint64_t serial_ = 0;
};

} // namespace vigilon
