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

int openFile(const std::string &path)
{
    // Others may read the file while it is recorded, but not write it. A
    // symbolic link or junction is opened as itself and refused with
    // anything else that is not a file on disk (a pipe, a device such as
    // CON); the file is emptied only then.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool regular = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
                         (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0;
    if (!regular || !SetEndOfFile(handle)) {
        CloseHandle(handle);
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (fd < 0)
        CloseHandle(handle);
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
