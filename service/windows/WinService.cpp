// SPDX-License-Identifier: MIT
// Vigilsvc on Windows: a service of the service control manager that starts
// Vigilon on the interactive desktop, and the console actions that install,
// stop and remove it. The watch loop itself is CSupervisor.
//
// Vigilon is started in the session of the user at the console (the
// service's own session 0 has no desktop anybody sees), on that session's
// "WinSta0\Default"; with nobody logged on it monitors beside the service,
// without a window anybody sees. Logons and logoffs wake the watch loop,
// which moves Vigilon. Vigilon itself runs no alert command while users
// other than the administrators may change its configuration, so that no
// one's command runs as another account (LocalSystem, or the user at the
// console).
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <userenv.h>
#include <wtsapi32.h>

#include "app/base/TextFormat.h"
#include "app/store/Settings.h"
#include "service/LaunchPlace.h"
#include "service/ServiceCommand.h"
#include "service/ServiceStrings.h"
#include "service/Supervisor.h"
#include "service/Vigilsvc.h"

#include <tlhelp32.h>

#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace vigilon::svc {

namespace {

constexpr wchar_t kServiceNameW[] = L"Vigilsvc";
constexpr wchar_t kServiceKeyW[] = L"System\\CurrentControlSet\\Services\\Vigilsvc";
constexpr wchar_t kEventSourceKeyW[] = L"System\\CurrentControlSet\\Services\\EventLog\\Application\\Vigilsvc";
// The program's configuration key, as the security functions name it.
constexpr wchar_t kProgramKeyW[] = L"Software\\Ardentis\\Vigilon";
constexpr wchar_t kProgramKeyObjectW[] = L"MACHINE\\Software\\Ardentis\\Vigilon";

// Process-wide state, as the service control manager's callbacks need it.
std::wstring g_ownDir;
std::wstring g_monitorPath;
std::wstring g_commandLine;
PROCESS_INFORMATION g_process{};
// One stop event for the whole run: a stop signalled at any moment is kept.
HANDLE g_stopEvent = nullptr;
// Wakes the watch loop for a round at once (a logon or logoff).
HANDLE g_wakeEvent = nullptr;
LaunchPlaces g_places;
// Set by the control that "-remove -leave" sends: the Vigilon that runs is
// left running when the service stops.
std::atomic<bool> g_leaveMonitor{false};
// The service-defined control that asks for it.
constexpr DWORD kLeaveMonitorControl = 128;
bool g_debugMode = false;
SERVICE_STATUS g_status{};
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
DWORD g_checkPoint = 1;
Language g_language = Language::English;

std::wstring widen(const std::string &utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring &wide)
{
    if (wide.empty())
        return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// A text of the string table from the program's resources, in the language
// the system picks; the built-in table should the resource be missing.
std::wstring text(unsigned id)
{
    wchar_t buffer[1025];
    const int n = LoadStringW(GetModuleHandleW(nullptr), id, buffer, 1025);
    if (n > 0)
        return std::wstring(buffer, static_cast<std::size_t>(n));
    return widen(serviceString(id, g_language));
}

void print(unsigned id, std::initializer_list<std::string> args)
{
    std::wprintf(L"%ls", widen(formatText(narrow(text(id)), args)).c_str());
    std::fflush(stdout);
}

std::string displayName() { return narrow(text(ssid::DisplayName)); }

} // namespace

// The text of GetLastError() as "<message> (0x<code>)", or empty when the
// system has none or it does not fit the 256 characters of buffer.
wchar_t *lastErrorText(wchar_t *buffer, std::size_t size)
{
    const DWORD error = GetLastError();
    wchar_t *message = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                        nullptr, error, LANG_NEUTRAL, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
    buffer[0] = L'\0';
    if (length >= 2 && length + 14 < size) {
        message[length - 2] = L'\0'; // the CR LF that system messages end with
        std::swprintf(buffer, size, L"%ls (0x%lx)", message, static_cast<unsigned long>(error));
    }
    if (message != nullptr)
        LocalFree(message);
    return buffer;
}

namespace {

std::string lastError()
{
    wchar_t buffer[256];
    return narrow(lastErrorText(buffer, 256));
}

} // namespace

namespace {

void reportEventText(EventType type, const std::wstring &insertion)
{
    HANDLE source = RegisterEventSourceW(nullptr, kServiceNameW);
    if (source == nullptr)
        return;
    const wchar_t *strings[1] = {insertion.c_str()};
    ReportEventW(source, static_cast<WORD>(type), 0, eventId(type), nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

} // namespace

void logServiceEvent(EventType type, unsigned stringId)
{
    reportEventText(type, text(stringId));
}

BOOL reportServiceStatus(DWORD state, DWORD exitCode, DWORD waitHint)
{
    if (g_debugMode)
        return TRUE;
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwServiceSpecificExitCode = 0;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted =
        state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SESSIONCHANGE;
    g_status.dwWin32ExitCode = exitCode;
    g_status.dwWaitHint = waitHint;
    g_status.dwCheckPoint = (state == SERVICE_RUNNING || state == SERVICE_STOPPED) ? 0 : g_checkPoint++;
    const BOOL ok = SetServiceStatus(g_statusHandle, &g_status);
    if (!ok)
        logServiceEvent(EventType::Information, ssid::SetStatusFailed);
    return ok;
}

namespace {

DWORD winState(ServiceState s)
{
    switch (s) {
    case ServiceState::StartPending: return SERVICE_START_PENDING;
    case ServiceState::Running: return SERVICE_RUNNING;
    case ServiceState::StopPending: return SERVICE_STOP_PENDING;
    case ServiceState::Stopped: break;
    }
    return SERVICE_STOPPED;
}

class CWinHost final : public SupervisorHost {
public:
    bool waitForStop(std::uint32_t ms) override
    {
        if (g_stopEvent == nullptr)
            return true;
        if (g_wakeEvent == nullptr)
            return WaitForSingleObject(g_stopEvent, ms) != WAIT_TIMEOUT;
        const HANDLE events[2] = {g_stopEvent, g_wakeEvent};
        const DWORD woken = WaitForMultipleObjects(2, events, FALSE, ms);
        return woken != WAIT_TIMEOUT && woken != WAIT_OBJECT_0 + 1;
    }
    bool startMonitor() override
    {
        if (g_stopEvent == nullptr && (g_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr)) == nullptr)
            return false;
        closeProcessHandles();
        STARTUPINFOW si{};
        si.cb = sizeof si;
        wchar_t desktop[] = L"WinSta0\\Default";
        si.lpDesktop = desktop;
        si.dwFlags = STARTF_USESHOWWINDOW | STARTF_FORCEOFFFEEDBACK;
        si.wShowWindow = SW_HIDE;
        std::vector<wchar_t> commandLine(g_commandLine.begin(), g_commandLine.end());
        commandLine.push_back(L'\0');
        HANDLE token = nullptr;
        const LaunchPlace wanted = wantedPlace(&token);
        if (token != nullptr) {
            // In the user's session, with the user's environment; nothing of
            // the service's is inherited there.
            void *environment = nullptr;
            if (!CreateEnvironmentBlock(&environment, token, FALSE))
                environment = nullptr;
            const bool started =
                CreateProcessAsUserW(token, g_monitorPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                     CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT, environment,
                                     g_ownDir.c_str(), &si, &g_process) != 0;
            const DWORD error = GetLastError();
            if (environment != nullptr)
                DestroyEnvironmentBlock(environment);
            CloseHandle(token);
            if (started) {
                g_places.started(wanted, wanted);
                return true;
            }
            reportEventText(EventType::Warning, L"Vigilon could not be started in the session of the user at the "
                                                L"console (error " + std::to_wstring(error) +
                                                    L"); starting it beside the service");
        }
        const bool started = CreateProcessW(g_monitorPath.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                            CREATE_NEW_PROCESS_GROUP, nullptr, g_ownDir.c_str(), &si, &g_process) != 0;
        if (started)
            g_places.started(wanted, LaunchPlace{false, ownSession()});
        return started;
    }
    bool monitorMisplaced() override { return g_places.misplaced(wantedPlace(nullptr)); }
    static DWORD ownSession()
    {
        DWORD session = 0;
        if (!ProcessIdToSessionId(GetCurrentProcessId(), &session))
            session = 0;
        return session;
    }
    // Where a start would put Vigilon now; with token, the user's token
    // for a start in the user's session (closed by the caller).
    static LaunchPlace wantedPlace(HANDLE *token)
    {
        const DWORD active = WTSGetActiveConsoleSessionId();
        const DWORD own = ownSession();
        HANDLE userToken = nullptr;
        // Only a service running as LocalSystem gets a user's token.
        const bool loggedOn = active != kNoSession && active != own && WTSQueryUserToken(active, &userToken);
        const LaunchPlace place = chooseLaunchPlace(active, own, loggedOn);
        if (token != nullptr && place.userSession)
            *token = userToken;
        else if (userToken != nullptr)
            CloseHandle(userToken);
        return place;
    }
    bool monitorRunning() override
    {
        DWORD code = 0;
        return g_process.hProcess != nullptr && GetExitCodeProcess(g_process.hProcess, &code) &&
               code == STILL_ACTIVE;
    }
    void endMonitor() override
    {
        if (g_process.hProcess == nullptr || g_leaveMonitor)
            return;
        // Vigilon ends in order on WM_CLOSE to its hidden window (icon
        // removed, "Logon" written); it is terminated only when it has no
        // window or does not end within a few seconds.
        if (askToClose(g_process.dwProcessId) && WaitForSingleObject(g_process.hProcess, 5000) == WAIT_OBJECT_0)
            return;
        TerminateProcess(g_process.hProcess, 0);
    }
    // Posts WM_CLOSE to the top-level windows of a process; false when it
    // has none.
    static bool askToClose(DWORD processId)
    {
        struct Search {
            DWORD processId;
            bool found;
        } search{processId, false};
        EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto *s = reinterpret_cast<Search *>(data);
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner == s->processId && PostMessageW(window, WM_CLOSE, 0, 0))
                    s->found = true;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    std::uint32_t takeLogonFlag() override
    {
        std::unique_ptr<reg::Registry> registry = openDefaultRegistry();
        std::uint32_t value = 0;
        if (!registry || vigilon::takeLogonFlag(*registry, value) != reg::Status::Ok)
            return 0;
        return value;
    }
    bool reportServiceStatus(ServiceState s, std::uint32_t exitCode, std::uint32_t waitHint) override
    {
        return vigilon::svc::reportServiceStatus(winState(s), exitCode, waitHint) != 0;
    }
    void logServiceEvent(EventType type, unsigned id) override { vigilon::svc::logServiceEvent(type, id); }
    void logServiceText(EventType type, const std::string &line) override { reportEventText(type, widen(line)); }
    std::string monitorEndText() override
    {
        DWORD code = 0;
        if (g_process.hProcess == nullptr || !GetExitCodeProcess(g_process.hProcess, &code) || code == STILL_ACTIVE)
            return {};
        return "exit code " + std::to_string(code);
    }

    static void closeProcessHandles()
    {
        for (HANDLE h : {g_process.hProcess, g_process.hThread})
            if (h != nullptr)
                CloseHandle(h);
        g_process = PROCESS_INFORMATION{};
    }
};

std::wstring ownExecutable()
{
    wchar_t path[512];
    const DWORD n = GetModuleFileNameW(nullptr, path, 511);
    return n == 0 || n >= 511 ? std::wstring() : std::wstring(path, n);
}

void superviseMonitor()
{
    const std::wstring self = ownExecutable();
    g_ownDir = self.substr(0, self.rfind(L'\\'));
    g_monitorPath = g_ownDir + L"\\Vigilon.exe";
    g_commandLine = L"\"" + g_monitorPath + L"\" -service";
    CWinHost host;
    CSupervisor(host).superviseMonitor();
    CWinHost::closeProcessHandles();
    if (g_stopEvent != nullptr) {
        CloseHandle(g_stopEvent);
        g_stopEvent = nullptr;
    }
}

DWORD WINAPI serviceControl(DWORD control, DWORD eventType, LPVOID, LPVOID)
{
    if (control == SERVICE_CONTROL_STOP) {
        reportServiceStatus(SERVICE_STOP_PENDING, 0, 0);
        if (g_stopEvent != nullptr)
            SetEvent(g_stopEvent);
        return NO_ERROR;
    }
    if (control == kLeaveMonitorControl) {
        g_leaveMonitor = true;
        return NO_ERROR;
    }
    if (control == SERVICE_CONTROL_SESSIONCHANGE) {
        switch (eventType) {
        case WTS_CONSOLE_CONNECT:
        case WTS_CONSOLE_DISCONNECT:
        case WTS_SESSION_LOGON:
        case WTS_SESSION_LOGOFF:
            if (g_wakeEvent != nullptr)
                SetEvent(g_wakeEvent);
            break;
        default:
            break;
        }
        return NO_ERROR;
    }
    reportServiceStatus(g_status.dwCurrentState, 0, 0);
    return control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR : ERROR_CALL_NOT_IMPLEMENTED;
}

VOID WINAPI serviceMain(DWORD, LPWSTR *)
{
    g_wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_statusHandle = RegisterServiceCtrlHandlerExW(kServiceNameW, serviceControl, nullptr);
    if (g_statusHandle == nullptr)
        return;
    if (reportServiceStatus(SERVICE_START_PENDING, 0, 3000))
        superviseMonitor();
    reportServiceStatus(SERVICE_STOPPED, 0, 0);
}

BOOL WINAPI consoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    print(ssid::Stopping, {displayName()});
    if (g_stopEvent != nullptr)
        SetEvent(g_stopEvent);
    return TRUE;
}

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

// "-grant" and "-revoke": the outcome, and what the grant means.
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

// leave: the process id of a Vigilon to be left running when the service
// stops, as the Vigilon that removes its own autostart asks; one that the
// service did not start is ended with it as ever.
void stopOrRemove(bool remove, DWORD leave = 0)
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


} // namespace

int runVigilsvc(int, char **)
{
    std::setlocale(LC_ALL, "");
    g_language = userLanguage();

    int argc = 0;
    LPWSTR *wargv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; wargv != nullptr && i < argc; ++i)
        args.push_back(narrow(wargv[i]));
    if (wargv != nullptr)
        LocalFree(wargv);
    std::vector<const char *> argv;
    for (const std::string &a : args)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);

    // The installer's choice: whether the users at the desktop may change
    // the configuration.
    for (const bool grant : {true, false}) {
        const char *keyword = grant ? "grant" : "revoke";
        if (args.size() >= 2 && (args[1] == std::string("-") + keyword || args[1] == std::string("/") + keyword))
            return changeAccessAndSay(grant);
    }

    switch (parseServiceCommand(static_cast<int>(args.size()), argv.data())) {
    case ServiceCommand::Install:
        installService();
        return 0;
    case ServiceCommand::Stop:
        stopOrRemove(false);
        return 0;
    case ServiceCommand::Remove: {
        // "-remove -leave PID": see stopOrRemove.
        DWORD leave = 0;
        if (args.size() >= 4 && (args[2] == "-leave" || args[2] == "/leave"))
            leave = static_cast<DWORD>(std::strtoul(args[3].c_str(), nullptr, 10));
        stopOrRemove(true, leave);
        return 0;
    }
    case ServiceCommand::Debug:
        g_debugMode = true;
        std::wprintf(L"Debugging %ls.\n", widen(displayName()).c_str());
        // The stop event exists before Ctrl-C can be pressed.
        g_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(consoleControl, TRUE);
        superviseMonitor();
        return 0;
    case ServiceCommand::Service:
        break;
    }

    std::wprintf(L"%ls", widen(usageText()).c_str());
    std::fflush(stdout);
    wchar_t name[] = L"Vigilsvc";
    const SERVICE_TABLE_ENTRYW table[] = {{name, serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table))
        logServiceEvent(EventType::Error, ssid::DispatcherFailed);
    return 0;
}

} // namespace vigilon::svc
