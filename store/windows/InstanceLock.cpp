// SPDX-License-Identifier: MIT
#include "store/InstanceLock.h"

namespace vigilon {

// The registry is the store here, and no instance lock is made.

std::string instanceKey(const std::string &)
{
    return "vigilon";
}

std::string instanceRuntimeDir(std::string &error)
{
    error = "instance locks are not made on this system";
    return {};
}

bool storeHeldByRunningInstance(const std::string &)
{
    return false;
}

} // namespace vigilon
