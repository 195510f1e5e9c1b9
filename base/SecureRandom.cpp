// SPDX-License-Identifier: MIT
#include "base/SecureRandom.h"

namespace vigilon {

std::string makePushToken()
{
    unsigned char bytes[24];
    if (!secureRandomBytes(bytes, sizeof bytes))
        return {};
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string token;
    token.reserve(32);
    // Three bytes make four characters of six bits each.
    for (std::size_t i = 0; i < sizeof bytes; i += 3) {
        const unsigned v = (unsigned(bytes[i]) << 16) | (unsigned(bytes[i + 1]) << 8) | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6)
            token += kAlphabet[(v >> shift) & 63];
    }
    return token;
}

bool isPushToken(const std::string &text)
{
    if (text.size() < 16 || text.size() > 128)
        return false;
    for (const char c : text) {
        const bool fits = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_' || c == '.' || c == '~';
        if (!fits)
            return false;
    }
    return true;
}

} // namespace vigilon
