// SPDX-License-Identifier: MIT
#include "app/base/TextFormat.h"

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

std::string cutUtf8(const std::string &text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t end = maxBytes;
    // Step back over continuation bytes to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

} // namespace vigilon
