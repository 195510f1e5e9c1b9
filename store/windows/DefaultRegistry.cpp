// SPDX-License-Identifier: MIT
// The store the program uses on Windows: the registry.
#include "store/Settings.h"

#include "store/windows/Win32Registry.h"

namespace vigilon {

using reg::Registry;

std::string defaultRegistryPath()
{
    return "HKEY_LOCAL_MACHINE";
}

std::unique_ptr<Registry> openDefaultRegistry()
{
    return std::make_unique<reg::Win32Registry>();
}

} // namespace vigilon
