// SPDX-License-Identifier: MIT
// Off Windows the history lies beside the configuration store.
#include "history/HistoryFile.h"

#include "app/store/Settings.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/resource.h>
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

void makePrivateFile(const std::string &path)
{
    // SQLite gives its journal files the mode of the database's.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) && st.st_uid == ::geteuid())
        ::fchmod(fd, st.st_mode & 0700);
    ::close(fd);
}

void lowerThisThreadsPriority()
{
    // On Linux a nice value is a thread's own; failing leaves it as it was.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
}

} // namespace vigilon::history
