// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace vigilon {

// A stored time (seconds since 1970, UTC) in local time, in a strftime-style
// format of the string table (%Y, %m, %d, %H, %M, %S).
std::string formatLocalTime(const std::string &format, std::uint32_t seconds);
// A duration in seconds: %D whole days, %H, %M, %S the hours, minutes and
// seconds of the rest, two digits each; "%%" a percent sign.
std::string formatElapsed(const std::string &format, std::uint32_t seconds);

} // namespace vigilon
