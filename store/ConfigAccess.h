// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vigilon::reg {

// One entry of a key's access list, as plain data: the account or group as
// a SID string ("S-1-5-18") and the access mask it is given or denied.
struct AccessEntry {
    bool allow = true;
    std::string sid;
    std::uint32_t mask = 0;
};

// What could be read of a key's security: its owner and access list.
struct KeySecurity {
    bool read = false;     // false: the descriptor could not be read
    bool nullDacl = false; // no access list at all: open to everybody
    std::string owner;     // empty when unknown
    std::vector<AccessEntry> entries;
};

// The rights that change a key or who may change it: set a value, make a
// subkey or link, delete, rewrite the access list or take the key over, and
// the generic rights that include them.
constexpr std::uint32_t kKeyChangeRights = 0x0002u /* KEY_SET_VALUE */ | 0x0004u /* KEY_CREATE_SUB_KEY */ |
                                           0x0020u /* KEY_CREATE_LINK */ | 0x00010000u /* DELETE */ |
                                           0x00040000u /* WRITE_DAC */ | 0x00080000u /* WRITE_OWNER */ |
                                           0x10000000u /* GENERIC_ALL */ | 0x40000000u /* GENERIC_WRITE */ |
                                           0x02000000u /* MAXIMUM_ALLOWED */;

// LocalSystem, the Administrators group, TrustedInstaller, and the owner
// placeholders (creator owner, owner rights), which stand for an owner that
// is itself checked to be one of the others.
bool administrativeSid(std::string_view sid);

// Whether anybody but the administrative accounts may change a key (true
// also when that cannot be told: an unreadable descriptor, no access list,
// an unknown owner). A non-administrative owner counts, as an owner may
// always rewrite the access list. Denying entries are not weighed against
// allowing ones: only the allowing entries decide.
bool writableByNonAdministrators(const KeySecurity &key);

} // namespace vigilon::reg
