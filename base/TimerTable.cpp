// SPDX-License-Identifier: MIT
#include "base/TimerTable.h"

#include <algorithm>
#include <climits>

namespace vigilon {

void TimerTable::set(Owner owner, unsigned id, unsigned periodMs, Callback callback, std::uint64_t nowMicros)
{
    const Key key{owner, id};
    Timer &timer = timers_[key];
    timer.period = std::uint64_t(std::max(1u, periodMs)) * 1000u;
    timer.due = nowMicros + timer.period;
    timer.serial = ++serial_;
    timer.callback = std::move(callback);
    heap_.push(Due{timer.due, timer.serial, key});
    compactIfStale();
}

void TimerTable::kill(Owner owner, unsigned id)
{
    timers_.erase({owner, id});
}

void TimerTable::killAll(Owner owner)
{
    // Keys sort by owner first: the owner's timers lie side by side.
    const auto first = timers_.lower_bound({owner, 0u});
    auto last = first;
    while (last != timers_.end() && last->first.first == owner)
        ++last;
    timers_.erase(first, last);
}

std::uint64_t TimerTable::nextDueMicros() const
{
    while (!heap_.empty()) {
        const Due &top = heap_.top();
        const auto it = timers_.find(top.key);
        if (it != timers_.end() && it->second.serial == top.serial)
            return top.due;
        heap_.pop();
    }
    return UINT64_MAX;
}

void TimerTable::compactIfStale()
{
    if (heap_.size() <= 2 * timers_.size() + 64)
        return;
    std::vector<Due> live;
    live.reserve(timers_.size());
    for (const auto &[key, timer] : timers_)
        live.push_back(Due{timer.due, timer.serial, key});
    heap_ = decltype(heap_)(std::greater<Due>(), std::move(live));
}

} // namespace vigilon
