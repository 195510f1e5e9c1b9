// SPDX-License-Identifier: MIT
#include "channels/Delivery.h"

#include "base/StringTable.h"
#include "base/TextFormat.h"

#include <cstdio>

namespace vigilon::channels {

std::string failureText(const DeliveryFailure &failure, Language language)
{
    switch (failure.kind) {
    case DeliveryFailure::None: return {};
    case DeliveryFailure::Refused: return loadString(sid::ChannelReasonRefused, language);
    case DeliveryFailure::Timeout: return loadString(sid::ChannelReasonTimeout, language);
    case DeliveryFailure::Status:
        return formatText(loadString(sid::ChannelReasonStatus, language), {std::to_string(failure.status)});
    case DeliveryFailure::Certificate: return loadString(sid::ChannelReasonCertificate, language);
    case DeliveryFailure::Other: return formatText(loadString(sid::ChannelReasonOther, language), {failure.detail});
    case DeliveryFailure::Invalid: return formatText(loadString(sid::ChannelReasonInvalid, language), {failure.detail});
    }
    return {};
}

std::string channelKey(const std::string &url)
{
    // FNV-1a, 64 bits, twice with different offsets: enough to tell the
    // channels of one configuration apart, and it keeps nothing of the URL.
    std::uint64_t a = 0xcbf29ce484222325ull, b = 0x84222325cbf29ce4ull;
    for (const char c : url) {
        a = (a ^ std::uint8_t(c)) * 0x100000001b3ull;
        b = (b ^ std::uint8_t(c)) * 0x100000001b3ull;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(a),
                  static_cast<unsigned long long>(b));
    return text;
}

} // namespace vigilon::channels
