// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vigilon {

// Fills the printf-style fields of a program text: each %s or %d takes the
// next argument in order, "%%" is a percent sign, other fields stay as they
// are. Only for texts whose fields are %s and %d; date formats have their own
// formatter.
std::string formatText(const std::string &format, std::initializer_list<std::string> args);

// Text for a line of standard error: control characters become visible
// escapes (\t, \n, \r, \xHH; U+0080 to U+009F as \u0080 and so on), so
// that no text can break the line or drive the terminal. Every other byte
// stays as it is.
std::string escapeControls(const std::string &text);

// The value of a hex digit in either letter case; -1 for any other character.
int hexDigit(char c);
// Whether two words are the same in any ASCII letter case.
bool sameWord(std::string_view a, std::string_view b);
// The text without the blanks and tabs around it.
std::string_view trimmed(std::string_view text);

// How a system counts the length of a text it limits: bytes of UTF-8,
// UTF-16 code units (a character beyond U+FFFF takes two) or characters.
enum class TextUnit { Utf8Bytes, Utf16Units, Characters };
struct TextLimit {
    std::size_t length = 0;
    TextUnit unit = TextUnit::Utf8Bytes;
};
// The length of a UTF-8 text in unit.
std::size_t textLength(const std::string &text, TextUnit unit);
// Cuts text to what limit holds, whole characters only.
std::string cutText(const std::string &text, TextLimit limit);

} // namespace vigilon
