// SPDX-License-Identifier: MIT
#include "store/ConfigAccess.h"

#include <array>

namespace vigilon::reg {

bool administrativeSid(std::string_view sid)
{
    static constexpr std::array<std::string_view, 5> kAdministrative{
        "S-1-5-18",     // LocalSystem
        "S-1-5-32-544", // Administrators
        "S-1-3-0",      // creator owner
        "S-1-3-4",      // owner rights
        "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", // TrustedInstaller
    };
    for (std::string_view s : kAdministrative)
        if (sid == s)
            return true;
    return false;
}

bool writableByNonAdministrators(const KeySecurity &key)
{
    if (!key.read || key.nullDacl || !administrativeSid(key.owner))
        return true;
    for (const AccessEntry &e : key.entries)
        if (e.allow && (e.mask & kKeyChangeRights) != 0 && !administrativeSid(e.sid))
            return true;
    return false;
}

} // namespace vigilon::reg
