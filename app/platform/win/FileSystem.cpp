// SPDX-License-Identifier: MIT
#include "app/platform/FileSystem.h"

#include <windows.h>

namespace vigilon::platform {

bool isFile(const std::string &path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string currentDirectory()
{
    char buffer[MAX_PATH];
    const DWORD got = GetCurrentDirectoryA(MAX_PATH, buffer);
    return got > 0 && got < MAX_PATH ? std::string(buffer, got) : std::string();
}

} // namespace vigilon::platform
