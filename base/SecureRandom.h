// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>

namespace vigilon {

// Fills out with bytes from the system's cryptographic generator. False
// when the system cannot give them (out is then not to be used).
bool secureRandomBytes(void *out, std::size_t size);

// A fresh secret for a heartbeat entry's URL: 192 bits from the system's
// generator as 32 characters of the URL-safe Base64 alphabet (A-Z a-z 0-9
// - _). Empty when the generator fails.
std::string makePushToken();

// Whether text can be a heartbeat token in a URL path as it is: 16 to 128
// characters of A-Z a-z 0-9 - _ . ~ (a token written into the store by
// hand is used as it is, so long as it is one).
bool isPushToken(const std::string &text);

} // namespace vigilon
