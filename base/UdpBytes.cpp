// SPDX-License-Identifier: MIT
#include "base/UdpBytes.h"
#include "base/TextFormat.h"

namespace vigilon {

std::optional<std::string> decodeUdpBytes(std::string_view stored)
{
    const bool hex = stored.size() >= 4 && sameWord(stored.substr(0, 3), "hex") && stored[3] == ':';
    if (!hex)
        return std::string(stored);
    std::string bytes;
    int high = -1;
    for (const char c : stored.substr(4)) {
        if (c == ' ' || c == '\t' || c == ':' || c == '-') {
            // A separator never splits a pair.
            if (high >= 0)
                return std::nullopt;
            continue;
        }
        const int digit = hexDigit(c);
        if (digit < 0)
            return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<char>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0)
        return std::nullopt;
    return bytes;
}

} // namespace vigilon
