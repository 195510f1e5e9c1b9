// SPDX-License-Identifier: MIT
#include "base/QuietTime.h"

#include "base/Clock.h"

#include <array>
#include <cctype>
#include <cstdio>

namespace vigilon {

namespace {

constexpr std::array<const char *, 7> kDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::uint8_t kEveryDay = 0x7F;

std::string trimmed(const std::string &text)
{
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

int dayOf(const std::string &name)
{
    if (name.size() != 3)
        return -1;
    for (std::size_t d = 0; d < kDayNames.size(); ++d) {
        bool same = true;
        for (std::size_t k = 0; k < 3; ++k)
            same = same && std::tolower(static_cast<unsigned char>(name[k])) ==
                               std::tolower(static_cast<unsigned char>(kDayNames[d][k]));
        if (same)
            return static_cast<int>(d);
    }
    return -1;
}

bool readDays(const std::string &text, std::uint8_t &days)
{
    days = 0;
    std::string lower;
    for (const char c : text)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "daily") {
        days = kEveryDay;
        return true;
    }
    std::size_t at = 0;
    while (at <= text.size()) {
        const std::size_t plus = text.find('+', at);
        const std::string part = text.substr(at, plus == std::string::npos ? std::string::npos : plus - at);
        const std::size_t dash = part.find('-');
        const int first = dayOf(part.substr(0, dash));
        const int last = dash == std::string::npos ? first : dayOf(part.substr(dash + 1));
        if (first < 0 || last < 0)
            return false;
        for (int d = first;; d = (d + 1) % 7) {
            days |= static_cast<std::uint8_t>(1u << d);
            if (d == last)
                break;
        }
        if (plus == std::string::npos)
            break;
        at = plus + 1;
    }
    return days != 0;
}

bool readTime(const std::string &text, std::uint16_t &minute)
{
    if (text.size() != 5 || text[2] != ':')
        return false;
    for (const std::size_t k : {0u, 1u, 3u, 4u})
        if (!std::isdigit(static_cast<unsigned char>(text[k])))
            return false;
    const int hours = (text[0] - '0') * 10 + (text[1] - '0');
    const int minutes = (text[3] - '0') * 10 + (text[4] - '0');
    if (minutes > 59 || hours > 24 || (hours == 24 && minutes != 0))
        return false;
    minute = static_cast<std::uint16_t>(hours * 60 + minutes);
    return true;
}

std::string timeText(std::uint16_t minute)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02u:%02u", unsigned(minute / 60), unsigned(minute % 60));
    return text;
}

std::string daysText(std::uint8_t days)
{
    if (days == kEveryDay)
        return "Daily";
    // Runs of days as ranges, joined by "+"; a run over Saturday and
    // Sunday begins at the first day of it.
    std::string text;
    int start = 0;
    while (start < 7 && (days >> start & 1u))
        ++start;
    for (int k = 0; k < 7; ++k) {
        const int d = (start + k) % 7;
        if (!(days >> d & 1u) || (days >> ((d + 6) % 7) & 1u))
            continue;
        int last = d;
        while (days >> ((last + 1) % 7) & 1u)
            last = (last + 1) % 7;
        text += std::string(text.empty() ? "" : "+") + kDayNames[d];
        if (last != d)
            text += std::string("-") + kDayNames[last];
    }
    return text;
}

} // namespace

bool parseQuietWindows(const std::string &text, std::vector<QuietWindow> &windows, std::string &error)
{
    std::vector<QuietWindow> read;
    std::size_t at = 0;
    const std::string whole = trimmed(text);
    while (!whole.empty() && at <= whole.size()) {
        const std::size_t comma = whole.find(',', at);
        const std::string item = trimmed(whole.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
        const std::size_t space = item.find(' ');
        QuietWindow window;
        const std::string range = space == std::string::npos ? std::string() : trimmed(item.substr(space + 1));
        const std::size_t dash = range.find('-');
        if (space == std::string::npos || !readDays(item.substr(0, space), window.days) ||
            dash == std::string::npos || !readTime(trimmed(range.substr(0, dash)), window.startMinute) ||
            !readTime(trimmed(range.substr(dash + 1)), window.endMinute) ||
            window.startMinute == window.endMinute || window.startMinute == 1440) {
            error = item;
            return false;
        }
        read.push_back(window);
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
    windows = std::move(read);
    error.clear();
    return true;
}

std::string quietWindowsText(const std::vector<QuietWindow> &windows)
{
    std::string text;
    for (const QuietWindow &w : windows)
        text += (text.empty() ? "" : ",") + daysText(w.days) + " " + timeText(w.startMinute) + "-" +
                timeText(w.endMinute);
    return text;
}

bool inQuietWindow(const std::vector<QuietWindow> &windows, const std::tm &local)
{
    const int minute = local.tm_hour * 60 + local.tm_min;
    const int today = local.tm_wday;
    const int yesterday = (today + 6) % 7;
    for (const QuietWindow &w : windows) {
        if (w.startMinute < w.endMinute) {
            if ((w.days >> today & 1u) && minute >= w.startMinute && minute < w.endMinute)
                return true;
        } else if (((w.days >> today & 1u) && minute >= w.startMinute) ||
                   ((w.days >> yesterday & 1u) && minute < w.endMinute)) {
            return true;
        }
    }
    return false;
}

bool inQuietWindow(const std::vector<QuietWindow> &windows, std::int64_t unixSeconds)
{
    if (windows.empty())
        return false;
    return inQuietWindow(windows, localTime(static_cast<std::time_t>(unixSeconds)));
}

} // namespace vigilon
