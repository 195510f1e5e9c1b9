// SPDX-License-Identifier: MIT
#pragma once

#include "base/Language.h"
#include "channels/ChannelAddress.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vigilon::channels {

enum class EventKind {
    // Declared failed.
    Down,
    // Answers again after a failure.
    Up,
    // A reminder while the entry stays failed.
    StillDown,
};

// What a channel is told of one entry.
struct ChannelEvent {
    EventKind event = EventKind::Down;
    std::string name;
    // The host the entry checks.
    std::string host;
    std::uint32_t port = 0;
    // The check's kind as the metrics name it ("tcp", "https", ...).
    std::string kind;
    // Why it failed: the stable English text, and the one the interface
    // shows. Empty when it answers.
    std::string reason, reasonShown;
    std::uint32_t errorCount = 0;
    std::optional<std::int32_t> certDays;
    // The outage: when it began (seconds since 1970 UTC, 0 unknown) and how
    // long it lasted or lasts so far.
    std::int64_t outageStart = 0;
    std::int64_t outageSeconds = 0;
};

// A message ready to send: for a webhook the body and its headers ("Name:
// value"), for e-mail the whole mail (headers and body) in body.
struct Message {
    std::vector<std::string> headers;
    std::string body;
};

// One message for a round's events, as the channel's kind takes it: the JSON
// document, ntfy's plain text, {"text": ...}, or an e-mail, its texts in
// language. now: seconds since 1970 UTC.
Message composeMessage(const ChannelAddress &address, const std::vector<ChannelEvent> &events, std::int64_t now,
                       Language language);

// The test message of a channel.
Message composeTestMessage(const ChannelAddress &address, std::int64_t now, Language language);

// A length of time as the messages give it: "2 h 15 min", "3 min", "40 s".
std::string outageLength(std::int64_t seconds, Language language);

// Seconds since 1970 as "2026-12-09T05:00:00Z".
std::string isoTime(std::int64_t seconds);

} // namespace vigilon::channels
