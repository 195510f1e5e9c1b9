// SPDX-License-Identifier: MIT
// vigilon-reg on POSIX systems: the SQLite file of the program.
#include "reg/StoreAccess.h"

#include "store/InstanceLock.h"
#include "store/Settings.h"
#include "store/posix/SqliteRegistry.h"

#include <cstdio>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vigilon::regtool {

const char *storeHelp()
{
    return "The store is the file named by VIGILON_REGISTRY, else\n"
           "$XDG_CONFIG_HOME/vigilon/registry.sqlite or ~/.config/vigilon/registry.sqlite.\n";
}

std::unique_ptr<reg::Registry> openStore(bool readOnly, reg::Status &status)
{
    // A query never writes: not even the file of a store that is not there.
    reg::SqliteRegistry::Options options;
    options.readOnly = readOnly;
    return reg::SqliteRegistry::open(defaultRegistryPath(), options, &status);
}

void warnIfHeld()
{
    const std::string path = defaultRegistryPath();
    if (storeHeldByRunningInstance(path))
        std::fprintf(stderr,
                     "vigilon-reg: a running Vigilon uses %s and writes its configuration back on every change and at "
                     "exit: this change is lost unless Vigilon ends first\n",
                     path.c_str());
}

bool makeExportFile(const std::string &file)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // A file that was there keeps its mode through the open: narrow it.
    const bool narrowed = ::fchmod(fd, 0600) == 0;
    ::close(fd);
    return narrowed;
}

} // namespace vigilon::regtool
