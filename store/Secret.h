// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace vigilon::secret {

// Secret values (passwords and tokens in a channel's URL) as the store
// holds them. Off Windows the store's file is readable by its user alone,
// so a value is kept as it is; on Windows it is encrypted for this machine
// and marked with a prefix, so that a clear value written by hand or by
// the store's editor is still read.

// The text to store for a clear value.
std::string protect(const std::string &clear);
// The clear value of a stored text: a text without the prefix is clear
// already. False when a protected text cannot be decrypted here.
bool reveal(const std::string &stored, std::string &clear);
// Whether a stored text is kept as this system protects secrets.
bool isProtected(const std::string &stored);

} // namespace vigilon::secret
