// SPDX-License-Identifier: MIT
#include "base/ThreadPriority.h"

#include <windows.h>

namespace vigilon {

void lowerThisThreadsPriority()
{
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

} // namespace vigilon
