// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vigilon {

// Base64 with the standard alphabet and padding.
std::string base64Encode(std::string_view data);
// False when text holds a character outside the alphabet (padding ends it).
bool base64Decode(std::string_view text, std::vector<std::uint8_t> &out);

} // namespace vigilon
