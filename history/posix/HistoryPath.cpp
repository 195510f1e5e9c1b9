// SPDX-License-Identifier: MIT
// Off Windows the history lies beside the configuration store.
#include "history/HistoryFile.h"

#include "store/Settings.h"

#include <cstdlib>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vigilon::history {

std::string defaultHistoryPath()
{
    if (const char *path = std::getenv("VIGILON_HISTORY"); path && *path)
        return path;
    const std::string store = defaultRegistryPath();
    const std::size_t slash = store.rfind('/');
    return (slash == std::string::npos ? std::string(".") : store.substr(0, slash)) + "/history.db";
}

bool prepareFile(const std::string &path, std::string &why)
{
    // Nothing else is opened: SQLite would wait for ever on a FIFO's writer,
    // and would put a journal beside a device, with the device's mode.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        why = "not a regular file";
        return false;
    }
    for (const char *suffix : {"-journal", "-wal", "-shm"}) {
        if (::lstat((path + suffix).c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            why = std::string("its ") + suffix + " is not a regular file";
            return false;
        }
    }
    // A file that is there may be open in another of this process's
    // connections (the outbox's): it is looked at through a path descriptor,
    // whose close drops no lock. One that is not is made empty and private,
    // before SQLite makes it with the umask's mode.
    int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0)
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0)
        return true; // SQLite tells why it cannot have it either
    // What the path names now is looked at, not what it named before.
    struct stat store {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular) {
        why = "not a regular file";
        return false;
    }
    if (::stat(defaultRegistryPath().c_str(), &store) == 0 && store.st_dev == st.st_dev && store.st_ino == st.st_ino) {
        why = "it is the configuration store";
        return false;
    }
    return true;
}

bool isStoreFile(const std::string &path)
{
    struct stat file {}, store {};
    return ::stat(path.c_str(), &file) == 0 && ::stat(defaultRegistryPath().c_str(), &store) == 0 &&
           file.st_dev == store.st_dev && file.st_ino == store.st_ino;
}

void makePrivate(const std::string &path)
{
    // The files are open in SQLite's connection, which holds POSIX locks on
    // them: closing any other descriptor of such a file would drop every
    // lock this process holds on it, and another connection could then take
    // the shared memory for its own. A path descriptor (O_PATH) holds no
    // lock and drops none when closed; the mode is changed through it.
    for (const char *suffix : {"", "-journal", "-wal", "-shm"}) {
        const int fd = ::open((path + suffix).c_str(), O_PATH | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) && st.st_uid == ::geteuid())
            (void)::chmod(("/proc/self/fd/" + std::to_string(fd)).c_str(), st.st_mode & 0700);
        ::close(fd);
    }
}

} // namespace vigilon::history
