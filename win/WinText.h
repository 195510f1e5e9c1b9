// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace vigilon::win {

// UTF-8, as the program keeps its texts, to the UTF-16 of the wide calls and
// back. Invalid sequences become U+FFFD.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// A text of the string table, as UTF-16, with "\r\n" line breaks kept.
std::wstring loadWString(unsigned id);

} // namespace vigilon::win
