// SPDX-License-Identifier: MIT
#include "win/WinControls.h"

#include "win/WinText.h"

#include <algorithm>

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

std::string MultiLineEditField::text() const
{
    std::string text = field_.text();
    std::erase(text, '\r');
    return text;
}

void MultiLineEditField::setText(const std::string &text)
{
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            shown += '\r';
        shown += text[i];
    }
    field_.setText(shown);
}

HINSTANCE resourceInstance()
{
    return GetModuleHandleW(nullptr);
}

RECT childRect(HWND control)
{
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT *>(&r), 2);
    return r;
}

void growStaticsToFit(HWND dialog)
{
    HDC dc = GetDC(dialog);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] = {};
        GetClassNameW(child, className, 16);
        const LONG style = static_cast<LONG>(GetWindowLongPtrW(child, GWL_STYLE));
        const LONG kind = style & SS_TYPEMASK;
        if (lstrcmpiW(className, L"Static") != 0 || (kind != SS_LEFT && kind != SS_RIGHT && kind != SS_CENTER))
            continue;
        std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(child)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(GetWindowTextW(child, text.data(), static_cast<int>(text.size()))));
        // An empty last line shows nothing.
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r'))
            text.pop_back();
        if (text.empty())
            continue;
        RECT need{0, 0, 0, 0};
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need,
                  DT_CALCRECT | DT_LEFT | DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0));
        RECT have = childRect(child);
        const int extraWidth = need.right - (have.right - have.left);
        const int extraHeight = need.bottom - (have.bottom - have.top);
        if (extraWidth <= 0 && extraHeight <= 0)
            continue;
        if (extraWidth > 0) {
            if (kind == SS_RIGHT)
                have.left -= extraWidth;
            else
                have.right += extraWidth;
        }
        if (extraHeight > 0)
            have.bottom += extraHeight;
        MoveWindow(child, have.left, have.top, have.right - have.left, have.bottom - have.top, FALSE);
    }
    SelectObject(dc, oldFont);
    ReleaseDC(dialog, dc);
}

void growFieldToFit(HWND field, int rightLimit)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
    HDC dc = GetDC(field);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(field, WM_GETFONT, 0, 0)));
    RECT need{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need, DT_CALCRECT | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    ReleaseDC(field, dc);
    const DWORD margins = static_cast<DWORD>(SendMessageW(field, EM_GETMARGINS, 0, 0));
    // The field's own margins, and room for the caret.
    const int width = need.right + LOWORD(margins) + HIWORD(margins) + 4;
    RECT have = childRect(field);
    if (have.right - have.left >= width)
        return;
    have.right = std::min<LONG>(rightLimit, have.left + width);
    if (have.right > have.left)
        MoveWindow(field, have.left, have.top, have.right - have.left, have.bottom - have.top, TRUE);
}

} // namespace vigilon::win
