// SPDX-License-Identifier: MIT
// The Windows programs are built without a client library for webhooks and
// mail yet: every message fails at once with that reason, which the
// channel's state shows, and nothing waits.
#include "channels/Delivery.h"

#include <cstdio>
#include <ctime>

namespace vigilon::channels {

namespace {
constexpr const char *kNotBuilt = "this build of the program cannot send channel messages";
}

struct Delivery::Channel {
    Target target;
    ChannelState state;
};
struct Delivery::Transfer {};

Delivery::Delivery(Outbox *outbox, DeliveryOptions options) : outbox_(outbox), options_(std::move(options)) {}

Delivery::~Delivery() = default;

std::int64_t Delivery::now() const
{
    return options_.now ? options_.now() : static_cast<std::int64_t>(std::time(nullptr));
}

void Delivery::setChannels(std::vector<Target> targets)
{
    std::lock_guard lock(mutex_);
    channels_.clear();
    for (Target &target : targets) {
        auto channel = std::make_unique<Channel>();
        const std::uint32_t index = target.index;
        channel->target = std::move(target);
        channels_[index] = std::move(channel);
    }
}

void Delivery::send(std::uint32_t channel, Message)
{
    std::function<void()> changed;
    {
        std::lock_guard lock(mutex_);
        const auto it = channels_.find(channel);
        if (it == channels_.end())
            return;
        ChannelState &state = it->second->state;
        state.lastFailure = now();
        state.lastError = {DeliveryFailure::Other, 0, kNotBuilt};
        if (!state.failingSince)
            state.failingSince = state.lastFailure;
        ++state.dropped;
        changed = changed_;
    }
    if (changed)
        changed();
}

void Delivery::sendTest(std::uint32_t, Message, std::function<void(const DeliveryFailure &, const std::string &)> done)
{
    done({DeliveryFailure::Other, 0, kNotBuilt}, {});
}

void Delivery::sendTestTo(ChannelAddress, Message,
                          std::function<void(const DeliveryFailure &, const std::string &)> done)
{
    done({DeliveryFailure::Other, 0, kNotBuilt}, {});
}

std::map<std::uint32_t, ChannelState> Delivery::states() const
{
    std::lock_guard lock(mutex_);
    std::map<std::uint32_t, ChannelState> states;
    for (const auto &[index, channel] : channels_)
        states[index] = channel->state;
    return states;
}

void Delivery::setChanged(std::function<void()> changed)
{
    std::lock_guard lock(mutex_);
    changed_ = std::move(changed);
}

bool Delivery::waitIdle(long)
{
    return true;
}

} // namespace vigilon::channels
