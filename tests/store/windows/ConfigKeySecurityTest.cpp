// SPDX-License-Identifier: MIT
// The configuration keys' security as Vigilon reads it before it runs an
// alert command, on the real registry of the test's own prefix: after
// "Vigilsvc -install", "-grant" and "-revoke", and with access lists set on
// the keys.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <sddl.h>

#include "store/windows/ConfigKeySecurity.h"
#include "tests/support/win/RunAndWait.h"

#include <gtest/gtest.h>

#include <string>

namespace vigilon::reg {
namespace {

constexpr wchar_t kKey[] = L"Software\\Ardentis\\Vigilon";
constexpr wchar_t kMonitor[] = L"Software\\Ardentis\\Vigilon\\Monitor";

DWORD runVigilsvc(const wchar_t *keyword)
{
    return test::runAndWait(L"\"" + std::wstring(VIGILSVC_BINARY_W) + L"\" " + keyword);
}

// Owner and access list of a key, written as SDDL; true when both took.
bool setSecurity(const wchar_t *path, const wchar_t *sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    HKEY key = nullptr;
    LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, WRITE_DAC | WRITE_OWNER, nullptr, &key,
                                 nullptr);
    if (error == ERROR_SUCCESS) {
        error = RegSetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, descriptor);
        RegCloseKey(key);
    }
    LocalFree(descriptor);
    return error == ERROR_SUCCESS;
}

TEST(ConfigKeySecurity, OnlyGrantOpensTheConfigurationAndRevokeOrAdminOnlyListsCloseIt)
{
    // No key yet: judged by HKEY_LOCAL_MACHINE\Software, which only the
    // administrators may change. Installing the service leaves it so.
    EXPECT_FALSE(readKeySecurity(L"MACHINE\\Software\\Ardentis\\Vigilon").read);
    EXPECT_FALSE(configurationWritableByNonAdministrators());
    ASSERT_EQ(runVigilsvc(L"-install"), 0u);
    EXPECT_FALSE(configurationWritableByNonAdministrators()) << "-install leaves the key to the administrators";
    ASSERT_EQ(runVigilsvc(L"-revoke"), 0u) << "nothing to take back";

    ASSERT_EQ(runVigilsvc(L"-grant"), 0u);
    const KeySecurity granted = readKeySecurity(L"MACHINE\\Software\\Ardentis\\Vigilon");
    ASSERT_TRUE(granted.read);
    bool interactive = false;
    for (const AccessEntry &e : granted.entries)
        interactive = interactive || (e.allow && e.sid == "S-1-5-4" && (e.mask & kKeyChangeRights) != 0);
    EXPECT_TRUE(interactive) << "-grant gives the interactive users write access";
    EXPECT_TRUE(configurationWritableByNonAdministrators());
    ASSERT_EQ(runVigilsvc(L"-revoke"), 0u);
    EXPECT_FALSE(configurationWritableByNonAdministrators()) << "-revoke takes the grant back, subkeys included";
    ASSERT_EQ(runVigilsvc(L"-grant"), 0u);
    EXPECT_TRUE(configurationWritableByNonAdministrators());

    const wchar_t adminOnly[] = L"O:BAD:(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;KR;;;BU)";
    ASSERT_TRUE(setSecurity(kKey, adminOnly));
    EXPECT_FALSE(configurationWritableByNonAdministrators());

    // The alert commands' subkey open to everybody, or owned by a user.
    ASSERT_TRUE(setSecurity(kMonitor, L"O:BAD:(A;;KA;;;BA)(A;;KR;;;WD)(A;;KW;;;WD)"));
    EXPECT_TRUE(configurationWritableByNonAdministrators());
    ASSERT_TRUE(setSecurity(kMonitor, L"O:S-1-5-21-1-2-3-1001D:(A;;KA;;;BA)"));
    EXPECT_TRUE(configurationWritableByNonAdministrators());
    ASSERT_TRUE(setSecurity(kMonitor, adminOnly));
    EXPECT_FALSE(configurationWritableByNonAdministrators());
}

} // namespace
} // namespace vigilon::reg
