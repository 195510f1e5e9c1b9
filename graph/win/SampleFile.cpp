// SPDX-License-Identifier: MIT
// The sample file on Windows: code pages for the character set, a share mode
// that keeps other writers out.
#include "graph/SampleFile.h"
#include "graph/SampleRecorder.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

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
    // Others may read the file while it is recorded, but not write it.
    int fd = -1;
    if (::_sopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT, _SH_DENYWR,
                   _S_IREAD | _S_IWRITE) != 0 || fd < 0)
        return -1;
    if (::_chsize_s(fd, 0) != 0) {
        ::_close(fd);
        return -1;
    }
    return fd;
}

long long writeFile(int fd, const char *data, std::size_t size)
{
    return ::_write(fd, data, static_cast<unsigned>(size));
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
