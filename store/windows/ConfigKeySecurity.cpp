// SPDX-License-Identifier: MIT
// Reads the security of the configuration keys for ConfigAccess's decision.
#ifndef UNICODE
#define UNICODE
#endif
#include "store/windows/ConfigKeySecurity.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>

namespace vigilon::reg {

namespace {

std::string sidText(PSID sid)
{
    LPSTR text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidA(sid, &text))
        return {};
    std::string out(text);
    LocalFree(text);
    return out;
}

// The security of the key, or of the nearest existing key above it.
KeySecurity readExistingOrAbove(std::wstring object)
{
    for (;;) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        // The parts asked for are given places to go: Wine's version reads
        // through them.
        PSID owner = nullptr;
        PACL dacl = nullptr;
        const DWORD error = GetNamedSecurityInfoW(object.c_str(), SE_REGISTRY_KEY,
                                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                                  nullptr, &dacl, nullptr, &descriptor);
        if (descriptor != nullptr)
            LocalFree(descriptor);
        const std::size_t cut = object.rfind(L'\\');
        if (error != ERROR_FILE_NOT_FOUND || cut == std::wstring::npos)
            return readKeySecurity(object.c_str());
        object.resize(cut);
    }
}

} // namespace

KeySecurity readKeySecurity(const wchar_t *objectName)
{
    KeySecurity key;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(objectName, SE_REGISTRY_KEY, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
        return key;
    key.read = true;
    key.owner = sidText(owner);
    key.nullDacl = dacl == nullptr;
    ACL_SIZE_INFORMATION size{};
    if (dacl != nullptr && !GetAclInformation(dacl, &size, sizeof size, AclSizeInformation))
        key.read = false;
    for (DWORD i = 0; key.read && dacl != nullptr && i < size.AceCount; ++i) {
        void *ace = nullptr;
        if (!GetAce(dacl, i, &ace)) {
            key.read = false;
            break;
        }
        const BYTE type = static_cast<ACE_HEADER *>(ace)->AceType;
        if (type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_DENIED_ACE_TYPE) {
            // Both kinds have the mask and the SID at the same places.
            auto *entry = static_cast<ACCESS_ALLOWED_ACE *>(ace);
            key.entries.push_back(
                AccessEntry{type == ACCESS_ALLOWED_ACE_TYPE, sidText(&entry->SidStart), entry->Mask});
        } else {
            // Conditional and object entries are not taken apart: a list
            // with one cannot be judged.
            key.read = false;
        }
    }
    LocalFree(descriptor);
    return key;
}

bool configurationWritableByNonAdministrators()
{
    for (const wchar_t *object :
         {L"MACHINE\\Software\\Ardentis\\Vigilon", L"MACHINE\\Software\\Ardentis\\Vigilon\\Monitor"})
        if (writableByNonAdministrators(readExistingOrAbove(object)))
            return true;
    return false;
}

} // namespace vigilon::reg
