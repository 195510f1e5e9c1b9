// SPDX-License-Identifier: MIT
#include "base/ThreadPriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace vigilon {

void lowerThisThreadsPriority()
{
    // On Linux a nice value is a thread's own; failing leaves it as it was.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
}

} // namespace vigilon
