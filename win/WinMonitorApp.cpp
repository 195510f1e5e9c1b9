// SPDX-License-Identifier: MIT
#include "win/WinMonitorApp.h"

#include "app/Monitor.h"
#include "app/ProgramHost.h"
#include "win/WinEventLoop.h"
#include "win/WinFrameUi.h"
#include "win/WinPrompter.h"
#include "win/WinTrayIcon.h"

#include <commctrl.h>

#include <cstdio>
#include <functional>
#include <string>

#ifndef VIGILON_VERSION
#define VIGILON_VERSION "0"
#endif

namespace vigilon::win {

namespace {
// One Vigilon per session; the configuration is the machine's.
const wchar_t kInstanceMutex[] = L"Local\\Ardentis.Vigilon.Monitor";
constexpr int kChildViewId = 0xE900;

bool handleUsable(DWORD which)
{
    HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}
} // namespace

void attachParentConsole()
{
    const bool outUsable = handleUsable(STD_OUTPUT_HANDLE);
    const bool errUsable = handleUsable(STD_ERROR_HANDLE);
    if (outUsable && errUsable)
        return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!outUsable)
        std::freopen("CONOUT$", "w", stdout);
    if (!errUsable)
        std::freopen("CONOUT$", "w", stderr);
}

// One Vigilon per session: a named mutex, and the holder's hidden frame
// window, to which a later start posts its request.
class WinMonitorApp::SessionGuard final : public InstanceGuard {
public:
    ~SessionGuard() override
    {
        if (!mutex_)
            return;
        if (owned_)
            ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
    bool tryTake() override
    {
        mutex_ = CreateMutexW(nullptr, TRUE, kInstanceMutex);
        if (!mutex_) {
            error_ = "the one-instance mutex cannot be made (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        owned_ = GetLastError() != ERROR_ALREADY_EXISTS;
        return owned_;
    }
    bool waitToTake() override
    {
        const DWORD waited = WaitForSingleObject(mutex_, INFINITE);
        owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        if (!owned_)
            error_ = "waiting for the one-instance mutex failed (error " + std::to_string(GetLastError()) + ")";
        return owned_;
    }
    bool askHolderToShow() override
    {
        HWND first = FindWindowW(kFrameWindowClass, nullptr);
        return first && PostMessageW(first, RegisterWindowMessageW(kShowDialogMessage), 0, 0);
    }
    bool serve(std::function<void()> onShow) override
    {
        onShow_ = std::move(onShow);
        return true;
    }
    const std::string &error() const override { return error_; }
    const char *scope() const override { return "in this session"; }

    // The frame window got a later start's request.
    void requested()
    {
        if (onShow_)
            onShow_();
    }

private:
    HANDLE mutex_ = nullptr;
    bool owned_ = false;
    std::string error_;
    std::function<void()> onShow_;
};

struct WinMonitorApp::Parts {
    explicit Parts(const CommandLine &commandLine) : host(commandLine) {}
    SessionGuard guard;
    UINT taskbarCreated = 0;
    UINT showDialog = 0;
    HWND frameWindow = nullptr;
    HWND childView = nullptr;
    WinEventLoop loop;
    WinPrompter prompter;
    std::unique_ptr<WinFrameUi> ui;
    // Made after the parts it runs over, and ended before them.
    ProgramHost host;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    ~Parts()
    {
        *alive = false;
        host.release();
        ui.reset();
        if (frameWindow) {
            SetWindowLongPtrW(frameWindow, GWLP_USERDATA, 0);
            DestroyWindow(frameWindow);
        }
    }
};

WinMonitorApp::WinMonitorApp(const std::string &commandLine)
    : commandLine_(parseCommandLine(commandLine))
{
}

WinMonitorApp::~WinMonitorApp() = default;

LRESULT CALLBACK WinMonitorApp::frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *app = reinterpret_cast<WinMonitorApp *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!app || !app->parts_)
        return DefWindowProcW(window, message, wParam, lParam);
    return app->onMessage(window, message, wParam, lParam);
}

bool WinMonitorApp::createFrameWindow()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &WinMonitorApp::frameProc;
    wc.hInstance = instance;
    wc.lpszClassName = kFrameWindowClass;
    if (!RegisterClassExW(&wc))
        return false;
    // Hidden and zero-sized; a top-level window, so that the shell's
    // broadcasts ("TaskbarCreated") and the session's end reach it.
    HWND window = CreateWindowExW(0, kFrameWindowClass, L"Vigilon", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, nullptr);
    if (!window)
        return false;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    parts_->frameWindow = window;
    // The empty child view that the frame passes its focus on to.
    parts_->childView = CreateWindowExW(WS_EX_CLIENTEDGE, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, window,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kChildViewId)), instance,
                                        nullptr);
    if (!parts_->childView)
        return false;
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    return true;
}

LRESULT WinMonitorApp::onMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Monitor *frame = parts_->host.frame();
    const bool live = frame && !frame->closed();
    if (message == kTrayCallbackMessage) {
        if (WinTrayIcon *icon = parts_->ui ? parts_->ui->trayIcon() : nullptr)
            icon->onCallback(wParam, lParam);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (parts_->taskbarCreated != 0 && message == parts_->taskbarCreated) {
        if (live)
            frame->onTaskbarCreated();
        return 0;
    }
    if (parts_->showDialog != 0 && message == parts_->showDialog) {
        parts_->guard.requested();
        return 0;
    }
    switch (message) {
    case WM_COMMAND:
        // The tray menu's commands (no control sends any to this window).
        if (live && lParam == 0)
            frame->onCommand(LOWORD(wParam));
        return 0;
    case kExitRequestMessage:
        if (live && lParam == kExitRequestParam)
            frame->requestExit();
        return 0;
    case WM_CLOSE: {
        // The service host or the system ends the program: in order, without
        // a question, once the current handler has returned.
        std::weak_ptr<bool> alive = parts_->alive;
        parts_->loop.post([this, alive] {
            if (!alive.expired())
                parts_->host.end();
        });
        return 0;
    }
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The process may be ended as soon as this returns: the end comes
        // now, without a question, over one that may be open.
        if (wParam)
            parts_->host.end();
        return 0;
    case WM_SETFOCUS:
        if (parts_->childView)
            SetFocus(parts_->childView);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

int WinMonitorApp::run()
{
    const char *store = "the registry under HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon";
    if (const int status = answerInformationalOptions(commandLine_, VIGILON_VERSION, store); status >= 0)
        return status;
    applyLanguage(commandLine_);

    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    parts_ = std::make_unique<Parts>(commandLine_);
    ProgramHost &host = parts_->host;
    if (!host.becomeOnlyInstance(parts_->guard))
        return host.exitStatus();
    if (!parts_->loop.valid() || !createFrameWindow()) {
        std::fprintf(stderr, "vigilon: the program's windows cannot be made (error %lu)\n", GetLastError());
        return 1;
    }
    parts_->taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    parts_->showDialog = RegisterWindowMessageW(kShowDialogMessage);
    // A process of higher integrity would not get these from the shell or
    // from a second start of lower integrity.
    for (UINT message : {parts_->taskbarCreated, parts_->showDialog})
        ChangeWindowMessageFilterEx(parts_->frameWindow, message, MSGFLT_ALLOW, nullptr);

    parts_->ui = std::make_unique<WinFrameUi>(parts_->prompter, ProgramHost::clock(), parts_->frameWindow);

    if (!host.start(parts_->loop, parts_->prompter, *parts_->ui))
        return host.exitStatus();
    host.serveLaterStarts(parts_->guard);

    MSG msg;
    int status = 0;
    for (;;) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            status = static_cast<int>(msg.wParam);
            break;
        }
        if (got < 0) {
            status = 1;
            break;
        }
        WinEventLoop::dispatch(msg);
        // Ended inside a modal loop that took the quit message for itself.
        if (host.frame() && host.frame()->closed())
            break;
    }
    // A frame still open here ends as the program ends.
    host.end();
    parts_.reset();
    return status;
}

} // namespace vigilon::win
