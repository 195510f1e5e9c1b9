// SPDX-License-Identifier: MIT
// vigilon-reg on POSIX systems: the SQLite file of the program.
#include "reg/StoreAccess.h"

#include "store/InstanceLock.h"
#include "store/Settings.h"
#include "store/posix/SqliteRegistry.h"

#include <cstdio>
#include <string>

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

} // namespace vigilon::regtool
