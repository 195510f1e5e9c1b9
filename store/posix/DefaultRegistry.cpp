// SPDX-License-Identifier: MIT
// The store the program uses on POSIX systems: a SQLite file in the user's
// configuration folder.
#include "store/Settings.h"

#include "store/posix/SqliteRegistry.h"

#include <cstdio>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vigilon {

using reg::Registry;
using reg::Status;

std::string defaultRegistryPath()
{
    if (const char *path = std::getenv("VIGILON_REGISTRY"); path && *path)
        return path;
    const char *config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/')
        return std::string(config) + "/vigilon/registry.sqlite";
    const char *home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd *user = getpwuid(geteuid());
        home = user ? user->pw_dir : "/";
    }
    return std::string(home) + "/.config/vigilon/registry.sqlite";
}

std::unique_ptr<Registry> openDefaultRegistry()
{
    const std::string path = defaultRegistryPath();
    Status status = Status::Ok;
    // A busy store is waited for by the program, not replaced by defaults.
    reg::SqliteRegistry::Options options;
    options.keepWhenBusy = true;
    std::unique_ptr<Registry> registry = reg::SqliteRegistry::open(path, options, &status);
    const char *chosen = std::getenv("VIGILON_REGISTRY");
    if (registry && !(chosen && *chosen)) {
        // The program's own directory admits nobody else, even when
        // something else created it first.
        const std::string dir = path.substr(0, path.rfind('/'));
        struct stat st {};
        if (::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077))
            ::chmod(dir.c_str(), 0700);
    }
    if (registry)
        return registry;
    std::fprintf(stderr,
                 "%s: the configuration store %s cannot be opened (%s); starting with the default settings, "
                 "which will not be saved\n",
                 reg::programName(), path.c_str(), reg::statusText(status));
    return unavailableRegistry(status);
}

} // namespace vigilon
