// SPDX-License-Identifier: MIT
#include "store/InstanceLock.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <fcntl.h>
#include <pwd.h>
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

namespace {
// A folder of ours for the lock, made owner-only when missing; empty when
// what is there is not ours and private, or the socket would not fit.
std::string usableFolder(const std::string &path, std::string &refusal)
{
    if (path.empty() || path[0] != '/')
        return {};
    if (path.size() + kSocketNameLength > kMaxSocketPath) {
        refusal += "; " + path + " is too long a path for a socket";
        return {};
    }
    bool made = ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
    if (!made && errno == ENOENT) {
        // The cache folder itself may not be there yet.
        ::mkdir(path.substr(0, path.rfind('/')).c_str(), 0700);
        made = ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
    }
    if (!made) {
        refusal += "; cannot make " + path + ": " + std::strerror(errno);
        return {};
    }
    if (!privateFolder(path)) {
        refusal += "; " + path + " is not a private folder of this user";
        return {};
    }
    return path;
}

std::string trimmed(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}
} // namespace

std::string instanceRuntimeDir(std::string &error)
{
    // A runtime folder that others may enter or write is not used.
    if (const char *dir = std::getenv("XDG_RUNTIME_DIR");
        dir && dir[0] == '/' && std::strlen(dir) + kSocketNameLength <= kMaxSocketPath && privateFolder(dir))
        return dir;
    // Then a folder of ours under the temporary directory, and where another
    // user took that name first, one in our own cache folder. Every start
    // goes through the same places in the same order, so that all find the
    // one lock.
    const std::string user = std::to_string(::geteuid());
    std::vector<std::string> places;
    const char *tmp = std::getenv("TMPDIR");
    places.push_back(trimmed(tmp && tmp[0] == '/' ? tmp : "/tmp") + "/vigilon-" + user);
    if (const char *cache = std::getenv("XDG_CACHE_HOME"); cache && cache[0] == '/') {
        places.push_back(trimmed(cache) + "/vigilon-" + user);
    } else {
        const char *home = std::getenv("HOME");
        std::string homeDir = home && home[0] == '/' ? home : "";
        if (homeDir.empty()) {
            if (const passwd *entry = ::getpwuid(::geteuid()); entry && entry->pw_dir)
                homeDir = entry->pw_dir;
        }
        if (!homeDir.empty())
            places.push_back(trimmed(homeDir) + "/.cache/vigilon-" + user);
    }
    std::string refusal;
    for (const std::string &place : places) {
        if (std::string dir = usableFolder(place, refusal); !dir.empty())
            return dir;
    }
    error = "no private folder for the one-instance lock" + refusal;
    return {};
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
