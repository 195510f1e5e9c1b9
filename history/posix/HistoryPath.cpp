// SPDX-License-Identifier: MIT
// Off Windows the history lies beside the configuration store.
#include "history/HistoryFile.h"

#include "app/store/Settings.h"

#include <cstdlib>
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

void lowerThisThreadsPriority()
{
    // On Linux a nice value is a thread's own; failing leaves it as it was.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
}

} // namespace vigilon::history
