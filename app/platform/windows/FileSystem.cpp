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

std::string programDirectory()
{
    char buffer[MAX_PATH];
    const DWORD got = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (got == 0 || got >= MAX_PATH)
        return {};
    const std::string path(buffer, got);
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace vigilon::platform
