// SPDX-License-Identifier: MIT
#include "ui/win/WinControls.h"

#include "app/win/WinText.h"

namespace vigilon::win {

std::string windowText(HWND window)
{
    if (!window || !IsWindow(window))
        return {};
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return narrow(text);
}

void setWindowText(HWND window, const std::string &text)
{
    if (window && IsWindow(window))
        SetWindowTextW(window, widen(text).c_str());
}

std::string HwndEditField::text() const
{
    return windowText(edit_);
}

void HwndEditField::setText(const std::string &text)
{
    setWindowText(edit_, text);
}

void HwndEditField::focusAndSelect()
{
    if (!edit_ || !IsWindow(edit_))
        return;
    SetFocus(edit_);
    SendMessageW(edit_, EM_SETSEL, 0, -1);
}

HINSTANCE resourceInstance()
{
    return GetModuleHandleW(nullptr);
}

RECT dialogRect(HWND dialog, int x, int y, int w, int h)
{
    RECT r{x, y, x + w, y + h};
    MapDialogRect(dialog, &r);
    return r;
}

RECT childRect(HWND control)
{
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT *>(&r), 2);
    return r;
}

} // namespace vigilon::win
