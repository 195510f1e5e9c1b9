// SPDX-License-Identifier: MIT
#include "base/TimerTable.h"

#include <algorithm>
#include <climits>

namespace vigilon {

void TimerTable::set(Owner owner, unsigned id, unsigned periodMs, Callback callback, std::uint64_t nowMicros)
{
    // One look in the table, whether the owner is new or has timers already.
    const auto [it, ownerAdded] = timers_.try_emplace(owner);
    Owned &owned = it->second;
    Timer *timer = nullptr;
    if (ownerAdded || owned.first.id == id) {
        owned.first.id = id;
        timer = &owned.first.timer;
    } else {
        for (Slot &slot : owned.more)
            if (slot.id == id)
                timer = &slot.timer;
        if (!timer)
            timer = &owned.more.emplace_back(Slot{id, Timer{}}).timer;
    }
    // A timer that was never set has no serial yet.
    if (timer->serial == 0)
        ++count_;
    timer->period = std::uint64_t(std::max(1u, periodMs)) * 1000u;
    timer->due = nowMicros + timer->period;
    timer->serial = ++serial_;
    timer->callback = std::move(callback);
    heap_.push(Due{timer->due, timer->serial, Key{owner, id}});
    compactIfStale();
}

void TimerTable::kill(Owner owner, unsigned id)
{
    const auto it = timers_.find(owner);
    if (it == timers_.end())
        return;
    Owned &owned = it->second;
    if (owned.first.id == id) {
        if (owned.more.empty()) {
            timers_.erase(it);
        } else {
            owned.first = std::move(owned.more.back());
            owned.more.pop_back();
        }
        --count_;
        return;
    }
    const auto slot =
        std::find_if(owned.more.begin(), owned.more.end(), [id](const Slot &s) { return s.id == id; });
    if (slot == owned.more.end())
        return;
    if (slot != owned.more.end() - 1)
        *slot = std::move(owned.more.back());
    owned.more.pop_back();
    --count_;
}

void TimerTable::killAll(Owner owner)
{
    const auto it = timers_.find(owner);
    if (it == timers_.end())
        return;
    count_ -= 1 + it->second.more.size();
    timers_.erase(it);
}

TimerTable::Timer *TimerTable::find(Owner owner, unsigned id)
{
    return const_cast<Timer *>(std::as_const(*this).find(owner, id));
}

const TimerTable::Timer *TimerTable::find(Owner owner, unsigned id) const
{
    const auto it = timers_.find(owner);
    if (it == timers_.end())
        return nullptr;
    const Owned &owned = it->second;
    if (owned.first.id == id)
        return &owned.first.timer;
    for (const Slot &slot : owned.more)
        if (slot.id == id)
            return &slot.timer;
    return nullptr;
}

std::uint64_t TimerTable::nextDueMicros() const
{
    while (!heap_.empty()) {
        const Due &top = heap_.top();
        const Timer *timer = find(top.key.first, top.key.second);
        if (timer && timer->serial == top.serial)
            return top.due;
        heap_.pop();
    }
    return UINT64_MAX;
}

void TimerTable::compactIfStale()
{
    if (heap_.size() <= 2 * count_ + 64)
        return;
    std::vector<Due> live;
    live.reserve(count_);
    for (const auto &[owner, owned] : timers_) {
        live.push_back(Due{owned.first.timer.due, owned.first.timer.serial, Key{owner, owned.first.id}});
        for (const Slot &slot : owned.more)
            live.push_back(Due{slot.timer.due, slot.timer.serial, Key{owner, slot.id}});
    }
    heap_ = decltype(heap_)(std::greater<Due>(), std::move(live));
}

} // namespace vigilon
