// SPDX-License-Identifier: MIT
#pragma once

#include "base/System.h"

#include <string>

namespace vigilon::platform {

// Whether path names a file that exists and is no directory.
bool isFile(const std::string &path);

// The program's current directory; empty when it cannot be read.
std::string currentDirectory();

// The folder of the running program's executable; empty when it cannot be
// found.
std::string programDirectory();

// The user's documents folder: on Windows the Documents folder of the
// profile; elsewhere XDG_DOCUMENTS_DIR (from the environment or
// user-dirs.dirs), else ~/Documents, else the home folder. Empty when there
// is none. In UTF-8.
std::string documentsFolder();

inline constexpr char kPathSeparator = kWindowsBuild ? '\\' : '/';

// Whether path names a place without the current directory's help: it
// starts at a root ("/", "\\", "C:\\") or a drive ("C:").
bool isAnchoredPath(const std::string &path);

} // namespace vigilon::platform
