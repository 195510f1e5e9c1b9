// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace vigilon {

// Formats a moment (seconds since 1970, shown in local time) with a pattern of
// the string table: %Y four-digit year, %m month, %d day, %H hour of 24, %M
// minute, %S second, all but the year with two digits; "%%" is a percent
// sign. Every other character, multi-byte ones included, is copied.
std::string formatLocalTime(const std::string &pattern, std::uint32_t secondsSince1970);

// Formats a duration in seconds: %D the whole number of days without
// padding, %H the hours of the day, %M minutes, %S seconds, two digits each.
std::string formatElapsed(const std::string &pattern, std::uint32_t seconds);

} // namespace vigilon
