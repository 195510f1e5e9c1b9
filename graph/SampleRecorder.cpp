// SPDX-License-Identifier: MIT
#include "graph/SampleRecorder.h"

#include "app/base/StringTable.h"
#include "app/base/TextFormat.h"
#include "graph/TimeFormat.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#ifdef _WIN32
#include <windows.h>

#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <iconv.h>
#include <langinfo.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace vigilon {

namespace {

std::string upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

bool keepsUtf8(const std::string &charset)
{
    const std::string cs = upper(charset);
    // The C locale's ASCII cannot hold the program's texts; UTF-8 is the
    // sensible reading of it.
    return cs.empty() || cs == "UTF-8" || cs == "UTF8" || cs == "ANSI_X3.4-1968" || cs == "ASCII" ||
           cs == "US-ASCII";
}

} // namespace

#ifdef _WIN32
// Windows names its character sets by code page: "CP932" and the like.
std::string toCharacterSet(const std::string &utf8, const std::string &charset)
{
    if (keepsUtf8(charset) || utf8.empty())
        return utf8;
    const std::string cs = upper(charset);
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

std::string localeCharacterSet()
{
    const UINT codePage = GetACP();
    return codePage == CP_UTF8 ? std::string("UTF-8") : "CP" + std::to_string(codePage);
}
#else
std::string toCharacterSet(const std::string &utf8, const std::string &charset)
{
    if (keepsUtf8(charset) || utf8.empty())
        return utf8;
    iconv_t cd = iconv_open(charset.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return utf8;
    std::string out(utf8.size() * 4 + 16, '\0');
    char *in = const_cast<char *>(utf8.data());
    std::size_t inLeft = utf8.size();
    char *dst = out.data();
    std::size_t outLeft = out.size();
    const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<std::size_t>(-1) || inLeft != 0)
        return utf8;
    out.resize(out.size() - outLeft);
    return out;
}

std::string localeCharacterSet()
{
    const char *cs = nl_langinfo(CODESET);
    return cs ? cs : "";
}
#endif

SampleRecorder::~SampleRecorder()
{
    close();
}

bool SampleRecorder::open(const std::string &path, const std::string &targetHost, const std::string &sourceHost,
                          const std::vector<std::string> &seriesNames)
{
    close();
    // Opened without truncation first: a file another program holds must
    // not lose its content to a refused open.
#ifdef _WIN32
    // Others may read the file while it is recorded, but not write it.
    int fd = -1;
    if (::_sopen_s(&fd, path.c_str(), _O_WRONLY | _O_CREAT | _O_BINARY | _O_NOINHERIT, _SH_DENYWR,
                   _S_IREAD | _S_IWRITE) != 0 || fd < 0)
        return false;
    if (::_chsize_s(fd, 0) != 0) {
        ::_close(fd);
        return false;
    }
#else
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        return false;
    }
#endif
    fd_ = fd;
    path_ = path;

    std::string sampling = loadString(sid::RecordHeaderSampling);
    for (const std::string &name : seriesNames)
        sampling += ", " + name;
    if (!writeLine(formatText(loadString(sid::RecordHeaderTarget), {targetHost})) ||
        !writeLine(formatText(loadString(sid::RecordHeaderSource), {sourceHost})) || !writeLine(sampling)) {
        // The header did not fit: the file is no use for recording.
        return false;
    }
    return true;
}

std::string SampleRecorder::recordLine(const ResponseSample &sample)
{
    std::string line = formatLocalTime(loadString(sid::GraphDateTimeFormat), sample.time);
    for (std::uint32_t value : sample.values) {
        line += ',';
        line += std::to_string(static_cast<std::int32_t>(value));
    }
    return line;
}

void SampleRecorder::record(const ResponseSample &sample)
{
    if (fd_ < 0)
        return;
    writeLine(recordLine(sample));
}

bool SampleRecorder::writeLine(const std::string &utf8)
{
    const std::string bytes = toCharacterSet(utf8, localeCharacterSet()) + "\r\n";
    std::size_t done = 0;
    while (done < bytes.size()) {
#ifdef _WIN32
        const int n = ::_write(fd_, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
#else
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
#endif
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            std::fprintf(stderr, "vigilon: writing the sample file %s failed (%s); recording stopped\n",
                         path_.c_str(), std::strerror(err));
            close();
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void SampleRecorder::close()
{
    if (fd_ >= 0) {
#ifdef _WIN32
        ::_close(fd_);
#else
        ::close(fd_);
#endif
        fd_ = -1;
    }
}

} // namespace vigilon
