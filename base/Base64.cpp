// SPDX-License-Identifier: MIT
#include "base/Base64.h"

namespace vigilon {

namespace {
constexpr std::string_view kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string base64Encode(std::string_view data)
{
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    const auto byte = [&](std::size_t i) { return i < data.size() ? std::uint32_t(std::uint8_t(data[i])) : 0u; };
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::uint32_t group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        out += kDigits[group >> 18 & 63];
        out += kDigits[group >> 12 & 63];
        out += i + 1 < data.size() ? kDigits[group >> 6 & 63] : '=';
        out += i + 2 < data.size() ? kDigits[group & 63] : '=';
    }
    return out;
}

bool base64Decode(std::string_view text, std::vector<std::uint8_t> &out)
{
    std::uint32_t group = 0;
    int bits = 0;
    for (const char c : text) {
        if (c == '=')
            break;
        const std::size_t at = kDigits.find(c);
        if (at == std::string_view::npos)
            return false;
        group = (group << 6 | std::uint32_t(at)) & 0xffffff;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(group >> bits & 0xff));
        }
    }
    return true;
}

} // namespace vigilon
