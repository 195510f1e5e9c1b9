// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vigilon {

// The bytes of a UDP entry's payload or expected reply as the store and the
// dialog hold them: "hex:" (in any case) and hex digits in pairs, which may
// be set apart by blanks, colons or dashes ("hex:1b 00 00"), or else the
// text's own bytes. Empty when the text is neither (an odd digit, a letter
// that is not hex).
std::optional<std::string> decodeUdpBytes(std::string_view stored);

} // namespace vigilon
