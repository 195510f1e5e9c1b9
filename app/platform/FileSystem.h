// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace vigilon::platform {

// Whether path names a file that exists and is no directory.
bool isFile(const std::string &path);

// The program's current directory; empty when it cannot be read.
std::string currentDirectory();

// The folder of the running program's executable; empty when it cannot be
// found.
std::string programDirectory();

} // namespace vigilon::platform
