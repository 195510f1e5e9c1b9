// SPDX-License-Identifier: MIT
// The sample file on POSIX systems: iconv for the character set, an advisory
// lock that keeps other recorders out.
#include "graph/SampleFile.h"
#include "graph/SampleRecorder.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vigilon {

namespace samplefile {

std::string convert(const std::string &utf8, const std::string &charset)
{
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

int openFile(const std::string &path, std::string &error)
{
    // A symbolic link is not followed (the file would be another's), and a
    // FIFO or device does not hold the program up in open().
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = errno == ELOOP ? "it is a symbolic link" : std::strerror(errno);
        return -1;
    }
    struct stat st {};
    const int flags = ::fcntl(fd, F_GETFL);
    // Emptied only once it is known to be a regular file held by us alone.
    if (::fstat(fd, &st) != 0 || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        error = std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        error = "it is not a regular file";
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = errno == EWOULDBLOCK ? "another recording is writing it" : std::strerror(errno);
    else if (::ftruncate(fd, 0) != 0)
        error = std::strerror(errno);
    else
        return fd;
    ::close(fd);
    return -1;
}

long long writeFile(int fd, const char *data, std::size_t size)
{
    return ::write(fd, data, size);
}

bool truncateFile(int fd, long long size)
{
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

void closeFile(int fd)
{
    ::close(fd);
}

} // namespace samplefile

std::string localeCharacterSet()
{
    const char *cs = nl_langinfo(CODESET);
    return cs ? cs : "";
}

} // namespace vigilon
