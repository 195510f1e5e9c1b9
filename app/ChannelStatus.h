// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vigilon {

// How a message channel is doing, as the front ends show it.
struct ChannelStatus {
    std::string name;
    // The URL with its password and tokens masked.
    std::string url;
    // Seconds since 1970 UTC; 0 for never.
    std::int64_t lastSuccess = 0, lastFailure = 0;
    // The last failure's reason, in the interface's language.
    std::string error;
    // Messages waiting for delivery.
    std::size_t waiting = 0;
    // Its messages have failed since its last success.
    bool failing = false;
};

} // namespace vigilon
