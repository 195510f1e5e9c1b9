// SPDX-License-Identifier: MIT
// On Windows the configuration is in the registry; the history lies in the
// user's local application data, %LOCALAPPDATA%\Vigilon.
#include "history/HistoryFile.h"

#include "base/Utf8Path.h"

#include <windows.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace vigilon::history {

namespace {

// A variable of the environment as UTF-8; empty when unset.
std::string environmentUtf8(const wchar_t *name)
{
    wchar_t buffer[32768];
    const DWORD length = GetEnvironmentVariableW(name, buffer, static_cast<DWORD>(std::size(buffer)));
    if (length == 0 || length >= std::size(buffer))
        return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, buffer, static_cast<int>(length), out.data(), bytes, nullptr, nullptr);
    return out;
}

} // namespace

std::string defaultHistoryPath()
{
    if (std::string path = environmentUtf8(L"VIGILON_HISTORY"); !path.empty())
        return path;
    for (const wchar_t *folder : {L"LOCALAPPDATA", L"APPDATA"})
        if (std::string base = environmentUtf8(folder); !base.empty())
            return base + "\\Vigilon\\history.db";
    return "Vigilon\\history.db";
}

bool prepareFile(const std::string &path, std::string &why)
{
    namespace fs = std::filesystem;
    const auto notRegular = [](const std::string &name) {
        std::error_code error;
        const fs::file_status status = fs::status(pathFromUtf8(name), error);
        return fs::exists(status) && !fs::is_regular_file(status);
    };
    if (notRegular(path)) {
        why = "not a regular file";
        return false;
    }
    for (const char *suffix : {"-journal", "-wal", "-shm"}) {
        if (notRegular(path + suffix)) {
            why = std::string("its ") + suffix + " is not a regular file";
            return false;
        }
    }
    return true;
}

bool isStoreFile(const std::string &)
{
    return false;
}

void makePrivate(const std::string &)
{
    // %LOCALAPPDATA% is the user's own.
}

} // namespace vigilon::history
