// SPDX-License-Identifier: MIT
#include "app/text/TimeText.h"

#include "base/Clock.h"

#include <cstdio>
#include <ctime>

namespace vigilon {

namespace {
std::string twoDigits(unsigned value)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02u", value);
    return buffer;
}
} // namespace

std::string formatLocalTime(const std::string &format, std::uint32_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    const std::tm local = localTime(t);
    char buffer[256];
    const std::size_t n = std::strftime(buffer, sizeof buffer, format.c_str(), &local);
    return std::string(buffer, n);
}

std::string formatElapsed(const std::string &format, std::uint32_t seconds)
{
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            out += format[i];
            continue;
        }
        const char field = format[++i];
        switch (field) {
        case 'D':
            out += std::to_string(seconds / 86400u);
            break;
        case 'H':
            out += twoDigits(seconds % 86400u / 3600u);
            break;
        case 'M':
            out += twoDigits(seconds % 3600u / 60u);
            break;
        case 'S':
            out += twoDigits(seconds % 60u);
            break;
        case '%':
            out += '%';
            break;
        default:
            out += '%';
            out += field;
            break;
        }
    }
    return out;
}

} // namespace vigilon
