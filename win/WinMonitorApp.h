// SPDX-License-Identifier: MIT
#pragma once

#include "base/CommandLine.h"

#include <windows.h>

#include <memory>
#include <string>

namespace vigilon::win {

// The class of the hidden frame window; a second start finds the first
// through it.
constexpr wchar_t kFrameWindowClass[] = L"VigilonFrame";
// Registered message: the running Vigilon shows its main dialog.
constexpr wchar_t kShowDialogMessage[] = L"Vigilon.ShowMainDialog";
// The main dialog's exit request to the frame: WM_USER+5 with this lParam.
constexpr UINT kExitRequestMessage = WM_USER + 5;
constexpr LPARAM kExitRequestParam = 20001;

// The application object of Vigilon.exe: reads the command line, makes the
// hidden frame window and the frame, runs the message loop and ends in
// order, also when the system or the service host asks it to (WM_CLOSE,
// WM_ENDSESSION).
class WinMonitorApp {
public:
    // commandLine: the whole command line, program name included.
    explicit WinMonitorApp(const std::string &commandLine);
    ~WinMonitorApp();
    WinMonitorApp(const WinMonitorApp &) = delete;
    WinMonitorApp &operator=(const WinMonitorApp &) = delete;

    // Runs the program; returns its exit status.
    int run();

private:
    struct Parts;
    class SessionGuard;
    bool createFrameWindow();
    static LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    CommandLine commandLine_;
    std::unique_ptr<Parts> parts_;
};

// Standard output and error of a program of the GUI subsystem: the parent's
// console when it has one and the handles are not set already.
void attachParentConsole();

} // namespace vigilon::win
