// SPDX-License-Identifier: MIT
#include "base/UdpBytes.h"

namespace vigilon {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<std::string> decodeUdpBytes(std::string_view stored)
{
    const bool hex = stored.size() >= 4 && (stored[0] == 'h' || stored[0] == 'H') &&
                     (stored[1] == 'e' || stored[1] == 'E') && (stored[2] == 'x' || stored[2] == 'X') &&
                     stored[3] == ':';
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
