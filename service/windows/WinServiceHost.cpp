// SPDX-License-Identifier: MIT
// Vigilsvc on Windows: a service of the service control manager that starts
// Vigilon on the interactive desktop. The watch loop itself is CSupervisor.
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

#include <userenv.h>
#include <wtsapi32.h>

#include "service/windows/WinServiceHost.h"

#include "store/Settings.h"
#include "service/LaunchPlace.h"
#include "service/Supervisor.h"
#include "service/windows/WinServiceText.h"

#include <atomic>
#include <memory>
#include <cstdio>
#include <string>
#include <vector>

namespace vigilon::svc {

namespace {

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
bool g_debugMode = false;
SERVICE_STATUS g_status{};
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
DWORD g_checkPoint = 1;

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

} // namespace

std::wstring ownExecutable()
{
    wchar_t path[512];
    const DWORD n = GetModuleFileNameW(nullptr, path, 511);
    return n == 0 || n >= 511 ? std::wstring() : std::wstring(path, n);
}

namespace {

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

BOOL WINAPI consoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    print(ssid::Stopping, {displayName()});
    if (g_stopEvent != nullptr)
        SetEvent(g_stopEvent);
    return TRUE;
}

} // namespace

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

void superviseInConsole()
{
    g_debugMode = true;
    std::wprintf(L"Debugging %ls.\n", widen(displayName()).c_str());
    // The stop event exists before Ctrl-C can be pressed.
    g_stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(consoleControl, TRUE);
    superviseMonitor();
}

} // namespace vigilon::svc
