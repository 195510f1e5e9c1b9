// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vigilon {

// Reads one code point of UTF-8 at text[at] and moves at past it; false on
// a malformed sequence (overlong forms, surrogates and code points past
// U+10FFFF included), at then unmoved.
bool nextUtf8(std::string_view text, std::size_t &at, char32_t &code);
// Appends a code point (at most U+10FFFF) in UTF-8.
void appendUtf8(std::string &out, char32_t code);
// The text as valid UTF-8: each byte that is not part of a valid sequence
// becomes U+FFFD, the readable rest stays. Prometheus refuses a whole scrape
// over one bad byte in a label, and JSON and XML want valid text too: a
// name stored in another encoding keeps its readable part.
std::string validUtf8(std::string_view text);

} // namespace vigilon
