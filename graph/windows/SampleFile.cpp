// SPDX-License-Identifier: MIT
// The sample file on Windows: code pages for the character set, a share mode
// that keeps other writers out.
#include "graph/SampleFile.h"
#include "graph/SampleRecorder.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>

namespace vigilon {

namespace samplefile {

// Windows names its character sets by code page: "CP932" and the like.
std::string convert(const std::string &utf8, const std::string &charset)
{
    std::string cs = charset;
    std::transform(cs.begin(), cs.end(), cs.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (cs.size() < 3 || cs.compare(0, 2, "CP") != 0)
        return utf8;
    const UINT codePage = static_cast<UINT>(std::strtoul(cs.c_str() + 2, nullptr, 10));
    if (codePage == 0 || codePage == CP_UTF8)
        return utf8;
    const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                               static_cast<int>(utf8.size()), nullptr, 0);
    if (wideLength <= 0)
        return utf8;
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), wideLength);
    BOOL lossy = FALSE;
    const int length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, nullptr, 0,
                                           nullptr, &lossy);
    if (length <= 0 || lossy)
        return utf8;
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, out.data(), length, nullptr,
                        nullptr);
    return out;
}

namespace {
std::wstring wide(const std::string &utf8)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(length, 0)), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), length);
    return out;
}

// The system's text for an error code, in UTF-8 without its line end.
std::string systemText(DWORD code)
{
    wchar_t *text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string out;
    if (length > 0 && text) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        out.resize(static_cast<std::size_t>(std::max(bytes, 0)));
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), bytes, nullptr, nullptr);
    }
    if (text)
        LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    return out.empty() ? "error " + std::to_string(code) : out;
}
} // namespace

int openFile(const std::string &path, std::string &error)
{
    // Others may read the file while it is recorded, but not write it. A
    // symbolic link or junction is opened as itself and refused with
    // anything else that is not a file on disk (a pipe, a device such as
    // CON); the file is emptied only then. The name is UTF-8, as the
    // program's texts are.
    const HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = systemText(GetLastError());
        return -1;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool regular = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
                         (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    if (!regular || !SetEndOfFile(handle)) {
        error = regular ? systemText(GetLastError()) : "it is not a regular file";
        CloseHandle(handle);
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (fd < 0) {
        error = "no descriptor is left for it";
        CloseHandle(handle);
    }
    return fd;
}

long long writeFile(int fd, const char *data, std::size_t size)
{
    return ::_write(fd, data, static_cast<unsigned>(size));
}

bool truncateFile(int fd, long long size)
{
    return ::_chsize_s(fd, size) == 0;
}

void closeFile(int fd)
{
    ::_close(fd);
}

} // namespace samplefile

std::string localeCharacterSet()
{
    const UINT codePage = GetACP();
    return codePage == CP_UTF8 ? std::string("UTF-8") : "CP" + std::to_string(codePage);
}

} // namespace vigilon
