// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace vigilon {

// Quiet periods: while one lasts an entry is checked and recorded as ever,
// but its failures run no alert command and send no notification or
// channel message.

// "Quiet Until #i": seconds since 1970 UTC; this value is "until resumed".
constexpr std::int64_t kQuietUntilResumed = 0xFFFFFFFF;

// A weekly window in local time: on the days of days (bit 0 Sunday .. bit 6
// Saturday) from startMinute to endMinute (minutes after midnight, the end
// up to 1440). An end at or before the start crosses midnight: the window
// then ends on the next day, and its day is the day it begins.
struct QuietWindow {
    std::uint8_t days = 0;
    std::uint16_t startMinute = 0;
    std::uint16_t endMinute = 0;

    bool operator==(const QuietWindow &) const = default;
};

// Reads the stored text form of weekly windows: items parted by commas,
// each days and a time range, e.g. "Sun 02:00-04:00,Mon-Fri 12:00-13:00".
// Days are Sun Mon Tue Wed Thu Fri Sat (any letter case), a range of them
// ("Fri-Mon" wraps over the week's end), several joined by "+"
// ("Sat+Sun"), or "Daily". Times are HH:MM, 00:00 to 24:00. An empty text
// is no window. False on a text that does not read, with error the first
// item that does not.
bool parseQuietWindows(const std::string &text, std::vector<QuietWindow> &windows, std::string &error);
// The text form, as parseQuietWindows reads it.
std::string quietWindowsText(const std::vector<QuietWindow> &windows);

// Whether a local time falls in one of the windows. local: as localtime
// gives it (tm_wday, tm_hour, tm_min are read).
bool inQuietWindow(const std::vector<QuietWindow> &windows, const std::tm &local);
// The same at a moment, through this system's local time (its time zone
// and daylight saving time rules).
bool inQuietWindow(const std::vector<QuietWindow> &windows, std::int64_t unixSeconds);

// Whether a quiet period set by hand lasts at now (seconds since 1970).
inline bool quietByHand(std::int64_t quietUntil, std::int64_t now)
{
    return quietUntil == kQuietUntilResumed || quietUntil > now;
}

} // namespace vigilon
