// SPDX-License-Identifier: MIT
// Vigilsvc on Windows: a service of the service control manager that starts
// Vigilon on the interactive desktop, and the console actions that install,
// stop and remove it. The watch loop itself is CSupervisor.
//
// Vigilon is started in the session of the user at the console (the
// service's own session 0 has no desktop anybody sees), on that session's
// "WinSta0\Default"; with nobody logged on it is started beside the service
// as before. Logons and logoffs wake the watch loop, which moves Vigilon.
// Beside a LocalSystem service, Vigilon would run its alert commands as
// LocalSystem: it is not started there while users other than the
// administrators may change its configuration (after "-grant"), and waits
// for a user's logon instead.
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
#include "service/windows/ConfigKeySecurity.h"

#include <clocale>
#include <cstdio>
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
// Whether the reason for withholding Vigilon has been given since it was
// last withheld.
bool g_withheldSaid = false;
// A user's session in which a start failed while the start beside the
// service was refused.
LaunchPlace g_failedUserPlace;
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
            const bool refused = ownStartRefused();
            reportEventText(EventType::Warning, L"Vigilon could not be started in the session of the user at the "
                                                L"console (error " + std::to_wstring(error) + L")" +
                                                    (refused ? L"" : L"; starting it beside the service"));
            if (refused) {
                // Not tried again in this session: withheld until the
                // console changes.
                g_failedUserPlace = wanted;
                sayWithheld();
                return false;
            }
        }
        if (ownStartRefused()) {
            sayWithheld();
            return false;
        }
        const bool started = CreateProcessW(g_monitorPath.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                            CREATE_NEW_PROCESS_GROUP, nullptr, g_ownDir.c_str(), &si, &g_process) != 0;
        if (started) {
            g_places.started(wanted, LaunchPlace{false, ownSession()});
            g_withheldSaid = false;
        }
        return started;
    }
    // A Vigilon beside the service counts as misplaced too once the
    // configuration has been opened to the users.
    bool monitorMisplaced() override
    {
        return g_places.misplaced(wantedPlace(nullptr)) || (!g_places.current().userSession && ownStartRefused());
    }
    bool monitorWithheld() override
    {
        const LaunchPlace wanted = wantedPlace(nullptr);
        if (wanted.userSession && wanted == g_failedUserPlace && ownStartRefused())
            return true;
        if (wanted.userSession || !ownStartRefused()) {
            g_withheldSaid = false;
            return false;
        }
        sayWithheld();
        return true;
    }
    // Whether a start beside the service is refused: the service runs as
    // LocalSystem and the configuration, with its alert commands, may be
    // changed by users other than the administrators.
    static bool ownStartRefused() { return runsAsLocalSystem() && configurationWritableByNonAdministrators(); }
    static bool runsAsLocalSystem()
    {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return true; // cannot be told: assumed, which only withholds
        alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
        DWORD size = 0;
        bool system = true;
        if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size))
            system = IsWellKnownSid(reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid, WinLocalSystemSid) != 0;
        CloseHandle(token);
        return system;
    }
    // The reason, once for each time Vigilon is withheld: in the event log,
    // and in the console under -debug.
    static void sayWithheld()
    {
        if (g_withheldSaid)
            return;
        g_withheldSaid = true;
        reportEventText(EventType::Warning, text(ssid::WithheldAsLocalSystem));
        if (g_debugMode) {
            std::wprintf(L"%ls\n", text(ssid::WithheldAsLocalSystem).c_str());
            std::fflush(stdout);
        }
    }
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
        if (g_process.hProcess == nullptr)
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

// Gives the interactive users read and write access to the program's key
// and everything below it, making the key when it is missing. Vigilon runs
// as the user at the desktop and keeps its configuration there, under
// HKEY_LOCAL_MACHINE, which only administrators may write by default. The
// access is added to what the key has; the change reaches its subkeys.
bool grantConfigurationAccess()
{
    HKEY key = nullptr;
    LONG error = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProgramKeyW, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_QUERY_VALUE, nullptr, &key, nullptr);
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
    error = GetNamedSecurityInfoW(object.data(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  &oldDacl, nullptr, &descriptor);
    PACL newDacl = nullptr;
    if (error == ERROR_SUCCESS) {
        EXPLICIT_ACCESSW access{};
        access.grfAccessPermissions = KEY_READ | KEY_WRITE;
        access.grfAccessMode = GRANT_ACCESS;
        access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(sid);
        error = SetEntriesInAclW(1, &access, oldDacl, &newDacl);
    }
    if (error == ERROR_SUCCESS)
        error = SetNamedSecurityInfoW(object.data(), SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                      newDacl, nullptr);
    if (newDacl != nullptr)
        LocalFree(newDacl);
    if (descriptor != nullptr)
        LocalFree(descriptor);
    SetLastError(static_cast<DWORD>(error));
    return error == ERROR_SUCCESS;
}

// The outcome of grantConfigurationAccess, printed only when it failed.
void grantOrSay()
{
    if (!grantConfigurationAccess())
        std::wprintf(L"HKEY_LOCAL_MACHINE\\%ls: write access for the interactive users not given - %ls\n", kProgramKeyW,
                     widen(lastError()).c_str());
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
    grantOrSay();
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

void stopOrRemove(bool remove)
{
    const std::string display = displayName();
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) {
        print(ssid::OpenManagerFailed, {lastError()});
        return;
    }
    SC_HANDLE service = OpenServiceW(manager, kServiceNameW, SERVICE_ALL_ACCESS);
    if (service == nullptr) {
        print(ssid::OpenServiceFailed, {lastError()});
        CloseServiceHandle(manager);
        return;
    }
    SERVICE_STATUS status{};
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
        if (DeleteService(service))
            print(ssid::Removed, {display});
        else
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

    // The installer's step for a machine without the service: the access
    // that "-install" gives as well.
    if (args.size() >= 2 && (args[1] == "-grant" || args[1] == "/grant")) {
        grantOrSay();
        return 0;
    }

    switch (parseServiceCommand(static_cast<int>(args.size()), argv.data())) {
    case ServiceCommand::Install:
        installService();
        return 0;
    case ServiceCommand::Stop:
        stopOrRemove(false);
        return 0;
    case ServiceCommand::Remove:
        stopOrRemove(true);
        return 0;
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
