// SPDX-License-Identifier: MIT
#include "app/store/InstanceLock.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vigilon {

namespace {

// A local socket's path must fit the 108 bytes of sun_path; a runtime
// folder too deep for the instance's socket gives way to the private one.
constexpr std::size_t kMaxSocketPath = 107;
constexpr std::size_t kSocketNameLength = 38; // "/vigilon-" + 24 hex digits + ".sock"

std::uint64_t fnv1a(const std::string &text, std::uint64_t basis)
{
    std::uint64_t hash = basis;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

} // namespace

std::string instanceKey(const std::string &storePath)
{
    std::string absolute = storePath;
    if (absolute.empty() || absolute[0] != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd))
            absolute = std::string(cwd) + "/" + storePath;
    }
    const std::size_t cut = absolute.rfind('/');
    const std::string dir = cut == 0 ? "/" : absolute.substr(0, cut);
    if (char *real = ::realpath(dir.c_str(), nullptr)) {
        const std::string resolved = real;
        std::free(real);
        absolute = (resolved == "/" ? "" : resolved) + absolute.substr(cut);
    }
    char digest[25];
    std::snprintf(digest, sizeof digest, "%016llx%08llx",
                  static_cast<unsigned long long>(fnv1a(absolute, 0xcbf29ce484222325ull)),
                  static_cast<unsigned long long>(fnv1a(absolute, 0x84222325cbf29ce4ull) >> 32));
    return std::string("vigilon-") + digest;
}

namespace {
// A folder of ours, not a link, that nobody else may enter.
bool privateFolder(const std::string &path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}
} // namespace

std::string instanceRuntimeDir(std::string &error)
{
    // A runtime folder that others may enter or write is not used.
    if (const char *dir = std::getenv("XDG_RUNTIME_DIR");
        dir && dir[0] == '/' && std::strlen(dir) + kSocketNameLength <= kMaxSocketPath && privateFolder(dir))
        return dir;
    std::string temp = "/tmp";
    if (const char *dir = std::getenv("TMPDIR"); dir && dir[0] == '/')
        temp = dir;
    while (temp.size() > 1 && temp.back() == '/')
        temp.pop_back();
    const std::string fallback = temp + "/vigilon-" + std::to_string(::geteuid());
    if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot make " + fallback + ": " + std::strerror(errno);
        return {};
    }
    if (!privateFolder(fallback)) {
        error = fallback + " is not a private folder of this user";
        return {};
    }
    return fallback;
}

bool storeHeldByRunningInstance(const std::string &storePath)
{
    std::string error;
    const std::string dir = instanceRuntimeDir(error);
    if (dir.empty())
        return false;
    const std::string lock = dir + "/" + instanceKey(storePath) + ".lock";
    const int fd = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false; // never made: nobody ever held it
    // A shared lock is refused only while the instance holds its exclusive
    // one; taken, it is dropped at once.
    bool held = false;
    while (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        if (errno != EINTR) {
            held = errno == EWOULDBLOCK;
            break;
        }
    }
    ::close(fd);
    return held;
}

} // namespace vigilon
