// SPDX-License-Identifier: MIT
#include "app/platform/FileSystem.h"

#include <windows.h>
#include <shlobj.h>

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

std::string documentsFolder()
{
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, folder, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1)
        return {};
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, folder, -1, out.data(), length, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(length - 1));
    return out;
}

bool isAnchoredPath(const std::string &path)
{
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    return drive || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

} // namespace vigilon::platform
