// SPDX-License-Identifier: MIT
// vigilon-reg on Windows: the registry itself.
#include "reg/StoreAccess.h"

#include "store/windows/Win32Registry.h"

namespace vigilon::regtool {

const char *storeHelp()
{
    return "The store is the Windows registry: keys are read and written under\n"
           "HKEY_LOCAL_MACHINE (the configuration under HKLM\\Software\\Ardentis\\Vigilon),\n"
           "which needs write access to the key (given to the interactive users by the\n"
           "installer and by \"Vigilsvc -install\"), else an administrator.\n"
           "A running Vigilon writes its whole configuration back on every change made\n"
           "in its dialogs and when it ends: a change made here to the Monitor key is\n"
           "lost unless Vigilon ends first (or is started after the change).\n";
}

std::unique_ptr<reg::Registry> openStore(bool, reg::Status &status)
{
    status = reg::Status::Ok;
    return std::make_unique<reg::Win32Registry>();
}

// The registry has no holder to ask about.
void warnIfHeld() {}

// The secrets in it are encrypted for the machine; the file takes the
// folder's permissions.
bool makeExportFile(const std::string &)
{
    return true;
}

} // namespace vigilon::regtool
