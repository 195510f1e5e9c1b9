// SPDX-License-Identifier: MIT
#include "win/ModalDialog.h"

#include "win/Localized.h"
#include "win/WinControls.h"

#include <algorithm>

namespace vigilon::win {

namespace {

// Over the middle of the window that opened it, as far as the screen allows.
void centreOnOwner(HWND window)
{
    HWND owner = GetWindow(window, GW_OWNER);
    if (!owner || !IsWindowVisible(owner) || IsIconic(owner))
        return;
    RECT outer{}, own{};
    GetWindowRect(owner, &outer);
    GetWindowRect(window, &own);
    const int width = own.right - own.left, height = own.bottom - own.top;
    int x = (outer.left + outer.right - width) / 2;
    int y = (outer.top + outer.bottom - height) / 2;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
        x = std::max(std::min(x, static_cast<int>(monitor.rcWork.right) - width), static_cast<int>(monitor.rcWork.left));
        y = std::max(std::min(y, static_cast<int>(monitor.rcWork.bottom) - height), static_cast<int>(monitor.rcWork.top));
    }
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK modalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = reinterpret_cast<ModalBase *>(GetWindowLongPtrW(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<ModalBase *>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window = window;
        growStaticsToFit(window);
        centreOnOwner(window);
        self->init();
        if (self->onOpen)
            self->onOpen(window, self->context);
        // The form has put the focus where it wants it (the port, not the
        // first control, the host).
        return FALSE;
    }
    if (!self)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        return self->command(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_NOTIFY:
        return self->notify(*reinterpret_cast<const NMHDR *>(lParam)) ? TRUE : FALSE;
    case WM_DESTROY:
        *self->alive = false;
        if (self->onOpen)
            self->onOpen(nullptr, self->context);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

bool runModal(HWND owner, int templateId, ModalBase &dialog)
{
    const INT_PTR result = localizedDialogBox(resourceInstance(), templateId, owner, modalProc,
                                           reinterpret_cast<LPARAM>(&dialog));
    return result == IDOK;
}

} // namespace vigilon::win
