// SPDX-License-Identifier: MIT
// Who may change a key of the configuration, decided from its owner and
// access list as Vigilon reads them before it runs an alert command.
#include "store/ConfigAccess.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace vigilon::reg {
namespace {

TEST(ConfigAccess, OnlyAdministrativeAccountsMayChangeTheKey)
{
    const std::string system = "S-1-5-18", admins = "S-1-5-32-544", users = "S-1-5-32-545";
    // As a key under HKEY_LOCAL_MACHINE\Software is made: full control for
    // LocalSystem, the administrators and (on subkeys) their creator, read
    // access for the users.
    const KeySecurity adminOnly{true, false, admins,
                                {{true, system, 0xF003F},
                                 {true, admins, 0xF003F},
                                 {true, "S-1-3-0", 0x10000000},
                                 {true, users, 0x20019},
                                 {true, "S-1-1-0", 0x80000000}}};
    EXPECT_FALSE(writableByNonAdministrators(adminOnly));
    EXPECT_TRUE(writableByNonAdministrators(KeySecurity{})) << "unreadable";

    // Users, the interactive users, the authenticated users and everybody,
    // with any right that changes the key.
    for (const char *sid : {"S-1-5-32-545", "S-1-5-4", "S-1-5-11", "S-1-1-0", "S-1-5-21-1-2-3-1001"})
        for (std::uint32_t mask : {0x2u, 0x4u, 0x40000u, 0x80000u, 0x40000000u, 0x10000000u, 0xF003Fu, 0x20006u}) {
            KeySecurity granted = adminOnly;
            granted.entries.push_back({true, sid, mask});
            EXPECT_TRUE(writableByNonAdministrators(granted)) << sid << " " << std::hex << mask;
            granted.entries.back().allow = false;
            EXPECT_FALSE(writableByNonAdministrators(granted)) << "denied: " << sid << " " << std::hex << mask;
        }

    KeySecurity other = adminOnly;
    other.owner = "S-1-5-21-1-2-3-1001";
    EXPECT_TRUE(writableByNonAdministrators(other)) << "an owner may rewrite the access list";
    other = adminOnly;
    other.nullDacl = true;
    other.entries.clear();
    EXPECT_TRUE(writableByNonAdministrators(other)) << "no access list";
}

} // namespace
} // namespace vigilon::reg
