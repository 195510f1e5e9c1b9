// SPDX-License-Identifier: MIT
#include "base/TextFormat.h"

#include <cctype>

#include <algorithm>

namespace vigilon {

std::string formatText(const std::string &format, std::initializer_list<std::string> args)
{
    std::string out;
    out.reserve(format.size() + 32);
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            out.push_back(c);
            continue;
        }
        const char field = format[i + 1];
        if (field == '%') {
            out.push_back('%');
            ++i;
        } else if ((field == 's' || field == 'd') && next != args.end()) {
            out += *next++;
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string escapeControls(const std::string &text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
        if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if (c == 0xc2 && next >= 0x80 && next <= 0x9f) {
            // A C1 control in UTF-8.
            out += "\\u00";
            out += hex[next >> 4];
            out += hex[next & 15];
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

namespace {
// What one character, starting with lead, takes in unit.
std::size_t characterLength(unsigned char lead, std::size_t bytes, TextUnit unit)
{
    switch (unit) {
    case TextUnit::Utf8Bytes:
        return bytes;
    case TextUnit::Utf16Units:
        return lead >= 0xF0 ? 2 : 1;
    case TextUnit::Characters:
        return 1;
    }
    return bytes;
}

// The bytes of the character that starts at text[at].
std::size_t characterBytes(const std::string &text, std::size_t at)
{
    std::size_t end = at + 1;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        ++end;
    return end - at;
}
} // namespace

std::size_t textLength(const std::string &text, TextUnit unit)
{
    std::size_t length = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t bytes = characterBytes(text, at);
        length += characterLength(static_cast<unsigned char>(text[at]), bytes, unit);
        at += bytes;
    }
    return length;
}

std::string cutText(const std::string &text, TextLimit limit)
{
    std::size_t length = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t bytes = characterBytes(text, at);
        length += characterLength(static_cast<unsigned char>(text[at]), bytes, limit.unit);
        if (length > limit.length)
            return text.substr(0, at);
        at += bytes;
    }
    return text;
}

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

bool sameWord(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trimmed(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

} // namespace vigilon
