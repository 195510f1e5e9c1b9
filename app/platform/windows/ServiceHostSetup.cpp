// SPDX-License-Identifier: MIT
// The service host on Windows: Vigilsvc.exe beside Vigilon.exe, run with the
// rights that installing a service takes (elevated through the system's
// question when we do not have them); installed while the service exists.
#include "app/Autostart.h"

#include "base/EventLoop.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <string>

namespace vigilon {

namespace {
constexpr unsigned kWaitTimer = 1;
constexpr unsigned kWaitMs = 200;

std::wstring wide(const std::string &text, UINT codePage = CP_UTF8)
{
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}

std::string utf8(const std::wstring &text)
{
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length, nullptr,
                            nullptr);
    return out;
}

std::string systemText(DWORD error)
{
    wchar_t *message = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
    std::wstring text = message ? message : L"";
    if (message)
        LocalFree(message);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    wchar_t code[32];
    swprintf(code, 32, L" (0x%lx)", static_cast<unsigned long>(error));
    return utf8(text + code);
}

std::wstring besideThisProgram()
{
    if (const char *given = std::getenv("VIGILON_VIGILSVC"); given && *given)
        return wide(given, CP_ACP);
    wchar_t path[MAX_PATH * 2];
    const DWORD length = GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    std::wstring self(path, length);
    const std::size_t slash = self.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? std::wstring() : self.substr(0, slash + 1)) + L"Vigilsvc.exe";
}

// What the program printed into its output file: UTF-16 or the ANSI code page.
std::string readOutput(const std::wstring &file)
{
    HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes(16384, '\0');
    DWORD got = 0;
    ReadFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(handle);
    bytes.resize(got);
    const bool utf16 = bytes.size() >= 2 && (bytes[1] == '\0' || (bytes[0] == '\xFF' && bytes[1] == '\xFE'));
    if (!utf16)
        return utf8(wide(bytes, CP_ACP));
    std::wstring text(bytes.size() / 2, L'\0');
    memcpy(text.data(), bytes.data(), text.size() * 2);
    if (!text.empty() && text[0] == 0xFEFF)
        text.erase(0, 1);
    return utf8(text);
}

// The process that started this one; 0 when it cannot be told.
DWORD parentProcessId()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
            break;
        }
    CloseHandle(snapshot);
    return parent;
}

// Whether the running Vigilsvc service started this program.
bool startedByTheService()
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager)
        return false;
    SC_HANDLE service = OpenServiceW(manager, L"Vigilsvc", SERVICE_QUERY_STATUS);
    SERVICE_STATUS_PROCESS status{};
    DWORD size = 0;
    const bool running = service && QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                                         reinterpret_cast<BYTE *>(&status), sizeof status, &size) &&
                         status.dwProcessId != 0;
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return running && parentProcessId() == status.dwProcessId;
}

class WindowsServiceHostSetup final : public ServiceHostSetup {
public:
    explicit WindowsServiceHostSetup(EventLoop &loop) : loop_(loop), program_(besideThisProgram()) {}
    ~WindowsServiceHostSetup() override
    {
        loop_.killTimers(this);
        if (process_)
            CloseHandle(process_);
        if (!outputFile_.empty())
            DeleteFileW(outputFile_.c_str());
    }

    std::string programName() const override { return utf8(program_); }

    bool installed() override
    {
        SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (!manager)
            return false;
        SC_HANDLE service = OpenServiceW(manager, L"Vigilsvc", SERVICE_QUERY_CONFIG);
        if (service)
            CloseServiceHandle(service);
        CloseServiceHandle(manager);
        return service != nullptr;
    }

    bool leavesThisProgramRunning() const override { return leaveThis_; }

    bool run(bool install, std::function<void(const Run &)> done) override
    {
        if (process_)
            return false;
        done_ = std::move(done);
        // The service ends the Vigilon it started when it stops: a removal
        // asked for from that Vigilon asks it to leave this one running.
        leaveThis_ = !install && startedByTheService();
        const std::wstring keyword =
            install ? L"-install"
                    : leaveThis_ ? L"-remove -leave " + std::to_wstring(GetCurrentProcessId()) : L"-remove";
        if (IsUserAnAdmin())
            startHere(keyword);
        else
            startElevated(keyword);
        if (process_)
            loop_.setTimer(this, kWaitTimer, kWaitMs, [this] { poll(); });
        return true;
    }

private:
    // With the rights already: a child whose output is kept in a file.
    void startHere(const std::wstring &keyword)
    {
        wchar_t folder[MAX_PATH + 1];
        wchar_t name[MAX_PATH + 1];
        if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"vgs", 0, name))
            return fail(GetLastError());
        outputFile_ = name;
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE output = CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (output == INVALID_HANDLE_VALUE)
            return fail(GetLastError());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nullptr;
        startup.hStdOutput = output;
        startup.hStdError = output;
        std::wstring commandLine = L"\"" + program_ + L"\" " + keyword;
        PROCESS_INFORMATION info{};
        const BOOL started = CreateProcessW(program_.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                            CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
        const DWORD error = GetLastError();
        CloseHandle(output);
        if (!started)
            return fail(error);
        CloseHandle(info.hThread);
        process_ = info.hProcess;
    }

    // Through the system's question for the rights; what it prints is lost.
    void startElevated(const std::wstring &keyword)
    {
        SHELLEXECUTEINFOW execute{};
        execute.cbSize = sizeof execute;
        execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
        execute.lpVerb = L"runas";
        execute.lpFile = program_.c_str();
        execute.lpParameters = keyword.c_str();
        execute.nShow = SW_HIDE;
        if (!ShellExecuteExW(&execute) || !execute.hProcess)
            return fail(GetLastError());
        process_ = execute.hProcess;
    }

    void poll()
    {
        if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT)
            return;
        loop_.killTimer(this, kWaitTimer);
        CloseHandle(process_);
        process_ = nullptr;
        Run run;
        run.ran = true;
        if (!outputFile_.empty()) {
            run.output = readOutput(outputFile_);
            DeleteFileW(outputFile_.c_str());
            outputFile_.clear();
        }
        finish(run);
    }

    void fail(DWORD error)
    {
        if (!outputFile_.empty()) {
            DeleteFileW(outputFile_.c_str());
            outputFile_.clear();
        }
        Run run;
        run.error = systemText(error);
        finish(run);
    }

    void finish(const Run &run)
    {
        tellLater(loop_, done_, run);
    }

    EventLoop &loop_;
    std::wstring program_;
    std::function<void(const Run &)> done_;
    std::wstring outputFile_;
    HANDLE process_ = nullptr;
    bool leaveThis_ = false;
};
} // namespace

std::unique_ptr<ServiceHostSetup> makeServiceHostSetup(EventLoop &loop)
{
    return std::make_unique<WindowsServiceHostSetup>(loop);
}

} // namespace vigilon
