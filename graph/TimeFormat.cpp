// SPDX-License-Identifier: MIT
#include "graph/TimeFormat.h"

#include "base/Clock.h"

#include <ctime>

namespace vigilon {

namespace {

void appendTwoDigits(std::string &out, unsigned value)
{
    out.push_back(static_cast<char>('0' + (value / 10) % 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

struct Fields {
    long long days = 0;
    unsigned year = 0;
    unsigned month = 0;
    unsigned day = 0;
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
};

std::string expand(const std::string &pattern, const Fields &f)
{
    std::string out;
    out.reserve(pattern.size() + 16);
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c != '%' || i + 1 >= pattern.size()) {
            out.push_back(c);
            continue;
        }
        switch (pattern[i + 1]) {
        case 'Y':
            out += std::to_string(f.year);
            break;
        case 'm':
            appendTwoDigits(out, f.month);
            break;
        case 'd':
            appendTwoDigits(out, f.day);
            break;
        case 'D':
            out += std::to_string(f.days);
            break;
        case 'H':
            appendTwoDigits(out, f.hour);
            break;
        case 'M':
            appendTwoDigits(out, f.minute);
            break;
        case 'S':
            appendTwoDigits(out, f.second);
            break;
        case '%':
            out.push_back('%');
            break;
        default:
            // Not a field of ours: keep both characters.
            out.push_back(c);
            continue;
        }
        ++i;
    }
    return out;
}

} // namespace

std::string formatLocalTime(const std::string &pattern, std::uint32_t secondsSince1970)
{
    const std::tm local = localTime(static_cast<std::time_t>(secondsSince1970));
    Fields f;
    // A day of the month of 0: the system could not tell.
    if (local.tm_mday != 0) {
        f.year = static_cast<unsigned>(local.tm_year + 1900);
        f.month = static_cast<unsigned>(local.tm_mon + 1);
        f.day = static_cast<unsigned>(local.tm_mday);
        f.hour = static_cast<unsigned>(local.tm_hour);
        f.minute = static_cast<unsigned>(local.tm_min);
        f.second = static_cast<unsigned>(local.tm_sec);
    }
    return expand(pattern, f);
}

std::string formatElapsed(const std::string &pattern, std::uint32_t seconds)
{
    Fields f;
    f.days = seconds / 86400u;
    f.hour = (seconds / 3600u) % 24u;
    f.minute = (seconds / 60u) % 60u;
    f.second = seconds % 60u;
    return expand(pattern, f);
}

} // namespace vigilon
