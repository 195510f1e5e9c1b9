// SPDX-License-Identifier: MIT
#pragma once

#include "store/Registry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vigilon {

// The most message channels that are read from the store.
constexpr std::uint32_t kMaxChannels = 64;

// A message channel as the store keeps it in the configuration's key:
// "Channel #c" (its URL, a secret: see store/Secret.h), "Channel Name #c",
// "Channel Recovery #c" (0/1), "Channel Reminder #c" (minutes, 0 none) and
// "Channel Headers #c" (a secret too), c below "Channel Count".
struct ChannelSetting {
    // The URL in clear; never printed, logged or shown back as it is.
    std::string url;
    std::string name;
    // A message when an entry answers again.
    bool recovery = false;
    // A reminder every this many minutes while an entry stays failed.
    std::uint32_t reminderMinutes = 0;
    // Webhooks: header lines sent besides the message's own ("Name: value",
    // one a line), such as an Authorization token; "Channel Headers #c", a
    // secret like the URL; optional.
    std::string headers;
};

struct LoadedChannels {
    std::vector<ChannelSetting> channels;
    // A URL was stored in clear where this system keeps it protected: a
    // save of the channels protects it.
    bool clearStored = false;
};

// Reads the channels. A store without them has none; a channel whose URL
// is missing, too long or cannot be revealed is left out, and its index
// with it (the entries' lists name indexes, so the others keep theirs).
LoadedChannels loadChannels(reg::Registry &registry, reg::Status *status = nullptr);

// Writes the channels in one transaction and removes the values of channels
// at or above their number, so that no URL of a removed channel stays.
reg::Status saveChannels(reg::Registry &registry, const std::vector<ChannelSetting> &channels);

// An entry's "Channels #i": the indexes it uses, as "0,2". A text that is no
// such list (blanks around numbers allowed; an empty text names none) reads
// as absent, which means every channel.
std::optional<std::vector<std::uint32_t>> channelListFromText(const std::string &text);
std::string channelListText(const std::vector<std::uint32_t> &channels);
// Whether an entry that stores channels uses channel c.
bool usesChannel(const std::optional<std::vector<std::uint32_t>> &channels, std::uint32_t c);

} // namespace vigilon
