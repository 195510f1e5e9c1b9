// SPDX-License-Identifier: MIT
// Driving windows from inside the loops that run them: the thread's
// messages handled for a while, a window's text, and a modal dialog played
// step by step from a timer while its own loop runs.
#pragma once

#include "win/WinText.h"

#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace vigilon::test {

// Handles the thread's messages until done() holds or limitMs have passed;
// returns done().
inline bool pumpUntil(const std::function<bool()> &done, DWORD limitMs)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > limitMs)
            return false;
        MSG msg;
        for (int i = 0; i < 1000 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (!done())
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

// Handles what has been posted and sent.
inline void pump()
{
    pumpUntil([] { return false; }, 0);
}

// A key pressed and released on a control of a modeless dialog, handed
// through the dialog manager as the program's loop hands it; withControl:
// Ctrl held meanwhile.
inline void pressKey(HWND dialog, HWND control, UINT key, bool withControl = false)
{
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    const BYTE before = keys[VK_CONTROL];
    keys[VK_CONTROL] = withControl ? 0x80 : 0;
    SetKeyboardState(keys);
    PostMessageW(control, WM_KEYDOWN, key, 1);
    PostMessageW(control, WM_KEYUP, key, 0xC0000001);
    MSG msg;
    for (int i = 0; i < 100 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (IsDialogMessageW(dialog, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    keys[VK_CONTROL] = before;
    SetKeyboardState(keys);
}

// A window's text.
inline std::string text(HWND window)
{
    wchar_t buffer[512] = {};
    GetWindowTextW(window, buffer, 512);
    return win::narrow(buffer);
}

struct ModalScript {
    std::wstring title;
    std::vector<std::function<void(HWND)>> steps;
    std::size_t ran = 0;
};
inline ModalScript *currentModalScript = nullptr;

// Runs open(), which returns once the modal dialog titled title has closed,
// while a timer gives the dialog the steps, one a tick. A dialog still open
// after the last step is cancelled. Returns how many steps ran.
inline std::size_t runModal(const std::string &title, std::vector<std::function<void(HWND)>> steps,
                            const std::function<void()> &open)
{
    ModalScript script{win::widen(title), std::move(steps)};
    currentModalScript = &script;
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
        ModalScript *s = currentModalScript;
        HWND dialog = s ? FindWindowW(L"#32770", s->title.c_str()) : nullptr;
        if (dialog && s->ran < s->steps.size())
            s->steps[s->ran++](dialog);
        else if (dialog)
            EndDialog(dialog, IDCANCEL);
    });
    open();
    KillTimer(nullptr, timer);
    currentModalScript = nullptr;
    return script.ran;
}

} // namespace vigilon::test
