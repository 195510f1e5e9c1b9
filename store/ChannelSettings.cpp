// SPDX-License-Identifier: MIT
#include "store/ChannelSettings.h"

#include "store/Secret.h"
#include "store/Settings.h"

#include <algorithm>

namespace vigilon {

using reg::Key;
using reg::Status;
using reg::Value;

namespace {

std::string indexed(const char *name, std::uint32_t index)
{
    return std::string(name) + " #" + std::to_string(index);
}

// A DWORD of 4 bytes, or a decimal number as text.
Status readNumber(Key &key, const std::string &name, std::uint32_t &out)
{
    Value value;
    const Status status = key.queryValue(name, value);
    if (status != Status::Ok)
        return status;
    if (value.type == reg::RegSz || value.type == reg::RegExpandSz) {
        const std::string text = reg::stringFromValue(value);
        if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos ||
            std::stoull(text) > 0xFFFFFFFFull)
            return Status::TooLarge;
        out = static_cast<std::uint32_t>(std::stoull(text));
        return Status::Ok;
    }
    if (value.data.size() != 4)
        return Status::TooLarge;
    out = std::uint32_t(value.data[0]) | std::uint32_t(value.data[1]) << 8 | std::uint32_t(value.data[2]) << 16 |
          std::uint32_t(value.data[3]) << 24;
    return Status::Ok;
}

Status readText(Key &key, const std::string &name, std::string &out, std::size_t limit)
{
    Value value;
    const Status status = key.queryValue(name, value);
    if (status != Status::Ok)
        return status;
    if (value.data.size() > limit)
        return Status::TooLarge;
    out = reg::stringFromValue(value);
    return Status::Ok;
}

bool isTrouble(Status status)
{
    return status != Status::Ok && status != Status::NotFound && status != Status::TooLarge;
}

// A protected URL is several times its clear length.
constexpr std::size_t kMaxStoredUrl = 16 * 1024;

} // namespace

LoadedChannels loadChannels(reg::Registry &registry, Status *status)
{
    LoadedChannels loaded;
    const Status result = registry.readTransact([&]() {
        loaded = LoadedChannels{};
        Status opened = Status::Ok;
        std::unique_ptr<Key> key = registry.openKey(kMonitorKey, reg::KeyQueryValue, &opened);
        if (!key)
            return opened == Status::NotFound ? Status::Ok : opened;
        std::uint32_t count = 0;
        Status read = readNumber(*key, "Channel Count", count);
        if (isTrouble(read))
            return read;
        if (read != Status::Ok)
            return Status::Ok;
        count = std::min(count, kMaxChannels);
        for (std::uint32_t c = 0; c < count; ++c) {
            ChannelSetting channel;
            std::string stored;
            read = readText(*key, indexed("Channel", c), stored, kMaxStoredUrl);
            if (isTrouble(read))
                return read;
            if (read == Status::Ok && !stored.empty() && secret::reveal(stored, channel.url)) {
                loaded.clearStored = loaded.clearStored || !secret::isProtected(stored);
            } else {
                // The index stays taken: the entries name channels by index.
                channel.url.clear();
            }
            if (read = readText(*key, indexed("Channel Name", c), channel.name, kMaxStringBytes); isTrouble(read))
                return read;
            std::string headers;
            if (read = readText(*key, indexed("Channel Headers", c), headers, kMaxStoredUrl); isTrouble(read))
                return read;
            if (read == Status::Ok && !headers.empty() && secret::reveal(headers, channel.headers))
                loaded.clearStored = loaded.clearStored || !secret::isProtected(headers);
            std::uint32_t number = 0;
            if (read = readNumber(*key, indexed("Channel Recovery", c), number); isTrouble(read))
                return read;
            channel.recovery = read == Status::Ok && number != 0;
            number = 0;
            if (read = readNumber(*key, indexed("Channel Reminder", c), number); isTrouble(read))
                return read;
            channel.reminderMinutes = read == Status::Ok ? number : 0;
            loaded.channels.push_back(std::move(channel));
        }
        return Status::Ok;
    });
    if (result != Status::Ok)
        loaded = LoadedChannels{};
    if (status)
        *status = result;
    return loaded;
}

Status saveChannels(reg::Registry &registry, const std::vector<ChannelSetting> &channels)
{
    return registry.transact([&]() {
        Status status = Status::Ok;
        std::unique_ptr<Key> key = registry.openKey(kMonitorKey, reg::KeyQueryValue | reg::KeySetValue, &status);
        if (!key && status == Status::NotFound)
            key = registry.createKey(kMonitorKey, &status);
        if (!key)
            return status;
        std::uint32_t before = 0;
        if (const Status read = readNumber(*key, "Channel Count", before); isTrouble(read))
            return read;
        const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(channels.size(), kMaxChannels));
        status = key->setValue("Channel Count", reg::RegDword, reg::dwordBytes(count));
        for (std::uint32_t c = 0; c < count && status == Status::Ok; ++c) {
            const ChannelSetting &channel = channels[c];
            status = key->setValue(indexed("Channel", c), reg::RegSz, reg::stringBytes(secret::protect(channel.url)));
            if (status == Status::Ok)
                status = key->setValue(indexed("Channel Name", c), reg::RegSz, reg::stringBytes(channel.name));
            if (status == Status::Ok)
                status = key->setValue(indexed("Channel Recovery", c), reg::RegDword,
                                       reg::dwordBytes(channel.recovery ? 1 : 0));
            if (status == Status::Ok)
                status = key->setValue(indexed("Channel Reminder", c), reg::RegDword,
                                       reg::dwordBytes(channel.reminderMinutes));
            // Extra headers only where there are some, so that a store
            // without them keeps none.
            if (status == Status::Ok && !channel.headers.empty()) {
                status = key->setValue(indexed("Channel Headers", c), reg::RegSz,
                                       reg::stringBytes(secret::protect(channel.headers)));
            } else if (status == Status::Ok) {
                if (const Status removed = key->deleteValue(indexed("Channel Headers", c));
                    removed != Status::Ok && removed != Status::NotFound)
                    status = removed;
            }
        }
        // A removed channel leaves no URL behind.
        for (std::uint32_t c = count; c < std::min(before, kMaxChannels) && status == Status::Ok; ++c) {
            for (const char *name :
                 {"Channel", "Channel Name", "Channel Recovery", "Channel Reminder", "Channel Headers"}) {
                const Status removed = key->deleteValue(indexed(name, c));
                if (removed != Status::Ok && removed != Status::NotFound)
                    status = removed;
            }
        }
        return status;
    });
}

std::optional<std::vector<std::uint32_t>> channelListFromText(const std::string &text)
{
    std::vector<std::uint32_t> list;
    std::size_t at = 0;
    if (text.find_first_not_of(" \t") == std::string::npos)
        return list;
    while (at <= text.size()) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        const std::string part = text.substr(at, comma - at);
        const std::size_t first = part.find_first_not_of(" \t");
        if (first == std::string::npos)
            return std::nullopt;
        const std::string digits = part.substr(first, part.find_last_not_of(" \t") + 1 - first);
        if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        const auto c = static_cast<std::uint32_t>(std::stoul(digits));
        if (std::find(list.begin(), list.end(), c) == list.end())
            list.push_back(c);
        at = comma + 1;
    }
    std::sort(list.begin(), list.end());
    return list;
}

std::string channelListText(const std::vector<std::uint32_t> &channels)
{
    std::string text;
    for (const std::uint32_t c : channels)
        text += (text.empty() ? "" : ",") + std::to_string(c);
    return text;
}

bool usesChannel(const std::optional<std::vector<std::uint32_t>> &channels, std::uint32_t c)
{
    return !channels || std::find(channels->begin(), channels->end(), c) != channels->end();
}

} // namespace vigilon
