// SPDX-License-Identifier: MIT
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include "service/windows/WinServiceInstall.h"

#include "service/ServiceStrings.h"
#include "service/windows/WinServiceHost.h"
#include "service/windows/WinServiceText.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace vigilon::svc {

namespace {

// Opens or creates a key of HKEY_LOCAL_MACHINE for writing.
HKEY openOrCreate(const wchar_t *path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) == ERROR_SUCCESS)
        return key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) == ERROR_SUCCESS)
        return key;
    return nullptr;
}

// REG_SZ values are written with twice the character count as their length,
// without the terminating null.
bool setString(HKEY key, const wchar_t *name, const std::wstring &value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                          static_cast<DWORD>(value.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
}

} // namespace

int registerServiceKeys(const std::wstring &path)
{
    HKEY key = openOrCreate(kServiceKeyW);
    if (key == nullptr)
        return 0;
    bool ok = setString(key, L"DisplayName", text(ssid::DisplayName));
    ok = setString(key, L"Description", text(ssid::Description)) && ok;
    RegCloseKey(key);
    key = openOrCreate(kEventSourceKeyW);
    if (key == nullptr)
        return 0;
    ok = setString(key, L"EventMessageFile", path) && ok;
    const DWORD types = 7; // error, warning, information
    ok = RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&types), sizeof types) ==
             ERROR_SUCCESS &&
         ok;
    RegCloseKey(key);
    return ok ? 1 : 0;
}

namespace {

// A copy of dacl without the entries of its own (not inherited) that give
// sid access; in *result, to be freed with LocalFree.
DWORD withoutEntriesOf(PACL dacl, PSID sid, PACL *result)
{
    ACL_SIZE_INFORMATION size{};
    if (dacl == nullptr || !GetAclInformation(dacl, &size, sizeof size, AclSizeInformation))
        return dacl == nullptr ? ERROR_SUCCESS : GetLastError();
    *result = static_cast<PACL>(LocalAlloc(LPTR, size.AclBytesInUse));
    if (*result == nullptr || !InitializeAcl(*result, size.AclBytesInUse, ACL_REVISION))
        return ERROR_NOT_ENOUGH_MEMORY;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        void *ace = nullptr;
        if (!GetAce(dacl, i, &ace))
            return GetLastError();
        const auto *header = static_cast<ACE_HEADER *>(ace);
        const bool theirs = header->AceType == ACCESS_ALLOWED_ACE_TYPE && (header->AceFlags & INHERITED_ACE) == 0 &&
                            EqualSid(&static_cast<ACCESS_ALLOWED_ACE *>(ace)->SidStart, sid);
        if (!theirs && !AddAce(*result, ACL_REVISION, MAXDWORD, ace, header->AceSize))
            return GetLastError();
    }
    return ERROR_SUCCESS;
}

// Gives the interactive users read and write access to the program's key
// and everything below it (grant), making the key when it is missing, or
// takes back every access entry of theirs that the key itself holds
// (revoke). The change reaches the subkeys through inheritance. Vigilon
// runs as the user at the desktop and keeps its configuration there, under
// HKEY_LOCAL_MACHINE, which only administrators may write by default.
bool changeConfigurationAccess(bool grant)
{
    HKEY key = nullptr;
    LONG error = grant ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProgramKeyW, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_QUERY_VALUE, nullptr, &key, nullptr)
                       : RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProgramKeyW, 0, KEY_QUERY_VALUE, &key);
    if (!grant && error == ERROR_FILE_NOT_FOUND)
        return true; // no key: nothing to take back
    if (error != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(error));
        return false;
    }
    RegCloseKey(key);
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    if (!CreateWellKnownSid(WinInteractiveSid, nullptr, sid, &sidSize))
        return false;
    PACL oldDacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring object = kProgramKeyObjectW;
    PSID owner = nullptr;
    error = GetNamedSecurityInfoW(object.data(), SE_REGISTRY_KEY,
                                  OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr, &oldDacl,
                                  nullptr, &descriptor);
    PACL newDacl = nullptr;
    if (error == ERROR_SUCCESS && grant) {
        EXPLICIT_ACCESSW access{};
        access.grfAccessPermissions = KEY_READ | KEY_WRITE;
        access.grfAccessMode = GRANT_ACCESS;
        access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(sid);
        error = SetEntriesInAclW(1, &access, oldDacl, &newDacl);
    } else if (error == ERROR_SUCCESS) {
        error = withoutEntriesOf(oldDacl, sid, &newDacl);
    }
    // The owner is written back as it was: Wine's version would replace it
    // with one of its own otherwise. An owner that we may not set is left
    // alone.
    if (error == ERROR_SUCCESS)
        error = SetNamedSecurityInfoW(object.data(), SE_REGISTRY_KEY,
                                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, owner, nullptr, newDacl,
                                      nullptr);
    if (error == ERROR_INVALID_OWNER)
        error = SetNamedSecurityInfoW(object.data(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                      newDacl, nullptr);
    if (newDacl != nullptr)
        LocalFree(newDacl);
    if (descriptor != nullptr)
        LocalFree(descriptor);
    SetLastError(static_cast<DWORD>(error));
    return error == ERROR_SUCCESS;
}

} // namespace

int changeAccessAndSay(bool grant)
{
    if (!changeConfigurationAccess(grant)) {
        std::wprintf(grant ? L"HKEY_LOCAL_MACHINE\\%ls: write access for the interactive users not given - %ls\n"
                           : L"HKEY_LOCAL_MACHINE\\%ls: write access of the interactive users not taken back - %ls\n",
                     kProgramKeyW, widen(lastError()).c_str());
        return 1;
    }
    if (grant)
        std::wprintf(L"%ls\n", text(ssid::GrantedNoCommands).c_str());
    std::fflush(stdout);
    return 0;
}

void installService()
{
    const std::string display = displayName();
    const std::wstring path = ownExecutable();
    if (path.empty()) {
        print(ssid::InstallFailed, {display, lastError()});
        return;
    }
    if (!registerServiceKeys(path)) {
        print(ssid::InstallFailed, {display, "Registry error"});
        return;
    }
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) {
        print(ssid::OpenManagerFailed, {lastError()});
        return;
    }
    const std::wstring displayW = widen(display);
    // Quoted: the manager reads an unquoted path with blanks ("C:\Program
    // Files\...") as "C:\Program" with arguments, if such a program exists.
    const std::wstring binaryPath = L"\"" + path + L"\"";
    SC_HANDLE service =
        CreateServiceW(manager, kServiceNameW, displayW.c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS, SERVICE_AUTO_START,
                       SERVICE_ERROR_NORMAL, binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (service != nullptr) {
        // The description once more through the manager: a manager that
        // keeps the service's settings itself and writes them back to the
        // key (Wine's does) would otherwise drop the value written above.
        std::wstring description = text(ssid::Description);
        SERVICE_DESCRIPTIONW info{description.data()};
        ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &info);
        print(ssid::Installed, {display});
        CloseServiceHandle(service);
    } else {
        print(ssid::CreateServiceFailed, {lastError()});
    }
    CloseServiceHandle(manager);
}

namespace {

// Whether process id was started by the running service: its parent is the
// service's process.
bool childOfService(SC_HANDLE service, DWORD id)
{
    SERVICE_STATUS_PROCESS status{};
    DWORD size = 0;
    if (id == 0 || !QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE *>(&status),
                                         sizeof status, &size) ||
        status.dwProcessId == 0)
        return false;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool child = false;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == id) {
            child = entry.th32ParentProcessID == status.dwProcessId;
            break;
        }
    CloseHandle(snapshot);
    return child;
}

// The event source names this program as its message file: it goes with
// the service.
void removeEventSource()
{
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKeyW);
}

} // namespace

void stopOrRemove(bool remove, DWORD leave)
{
    const std::string display = displayName();
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) {
        print(ssid::OpenManagerFailed, {lastError()});
        return;
    }
    SC_HANDLE service = OpenServiceW(manager, kServiceNameW, SERVICE_ALL_ACCESS);
    if (service == nullptr) {
        const DWORD error = GetLastError();
        print(ssid::OpenServiceFailed, {lastError()});
        // A source left behind without its service.
        if (remove && error == ERROR_SERVICE_DOES_NOT_EXIST)
            removeEventSource();
        CloseServiceHandle(manager);
        return;
    }
    SERVICE_STATUS status{};
    if (remove && childOfService(service, leave))
        ControlService(service, kLeaveMonitorControl, &status);
    if (ControlService(service, SERVICE_CONTROL_STOP, &status)) {
        print(ssid::Stopping, {display});
        Sleep(1000);
        while (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOP_PENDING) {
            std::wprintf(L".");
            std::fflush(stdout);
            Sleep(1000);
        }
        print(status.dwCurrentState == SERVICE_STOPPED ? ssid::StopDone : ssid::StopFailed, {display});
    }
    if (remove) {
        if (DeleteService(service)) {
            removeEventSource();
            print(ssid::Removed, {display});
        } else
            print(ssid::DeleteServiceFailed, {lastError()});
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

} // namespace vigilon::svc
