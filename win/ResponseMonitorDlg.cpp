// SPDX-License-Identifier: MIT
#include "win/ResponseMonitorDlg.h"
#include "win/Localized.h"

#include "win/WinText.h"
#include "win/GraphResources.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

namespace vigilon::win {

std::string DialogEditField::text() const
{
    const int length = GetWindowTextLengthW(edit_);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(edit_, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return narrow(text);
}

void DialogEditField::setText(const std::string &text)
{
    SetWindowTextW(edit_, widen(text).c_str());
}

void DialogEditField::focusAndSelect()
{
    // Through the dialog, so that its default button follows the focus.
    SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit_), TRUE);
    SendMessageW(edit_, EM_SETSEL, 0, -1);
}

INT_PTR CResponseMonitorDlg::run(HWND owner)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    return localizedDialogBox(GetModuleHandleW(nullptr), IDD_RESPONSE_MONITOR, owner,
                           &CResponseMonitorDlg::dialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CResponseMonitorDlg::dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto *self = reinterpret_cast<CResponseMonitorDlg *>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        self->dialog_ = dialog;
        self->initDialog();
        // The default focus.
        return TRUE;
    }
    auto *self = reinterpret_cast<CResponseMonitorDlg *>(GetWindowLongPtrW(dialog, DWLP_USER));
    return self ? self->handle(message, wParam, lParam) : FALSE;
}

void CResponseMonitorDlg::centre()
{
    // Over the owner, or over the work area when the owner is hidden or
    // there is none, and kept on that monitor's work area.
    const HWND owner = GetWindow(dialog_, GW_OWNER);
    const bool overOwner = owner && IsWindowVisible(owner) && !IsIconic(owner);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(overOwner ? owner : dialog_, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT work = monitor.rcWork;
    RECT around = work;
    if (overOwner)
        GetWindowRect(owner, &around);
    RECT self{};
    GetWindowRect(dialog_, &self);
    const int width = self.right - self.left;
    const int height = self.bottom - self.top;
    int x = around.left + ((around.right - around.left) - width) / 2;
    int y = around.top + ((around.bottom - around.top) - height) / 2;
    x = std::max(static_cast<int>(work.left), std::min(x, static_cast<int>(work.right) - width));
    y = std::max(static_cast<int>(work.top), std::min(y, static_cast<int>(work.bottom) - height));
    SetWindowPos(dialog_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CResponseMonitorDlg::fitLabels()
{
    // A one-line label whose text is wider in the face used here than in
    // the template's grows away from its aligned edge instead of being cut
    // or wrapped; labels meant to wrap keep their rectangles.
    HDC dc = GetDC(dialog_);
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(dialog_, WM_GETFONT, 0, 0)));
    for (HWND child = GetWindow(dialog_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t kind[16] = {};
        GetClassNameW(child, kind, 16);
        const LONG type = GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK;
        if (lstrcmpiW(kind, L"Static") != 0 || (type != SS_LEFT && type != SS_RIGHT))
            continue;
        const int length = GetWindowTextLengthW(child);
        if (length == 0)
            continue;
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        GetWindowTextW(child, text.data(), length + 1);
        RECT need{0, 0, 0, 0};
        DrawTextW(dc, text.c_str(), length, &need, DT_CALCRECT | DT_SINGLELINE);
        RECT at{};
        GetWindowRect(child, &at);
        MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT *>(&at), 2);
        const int width = need.right - need.left;
        if (at.bottom - at.top >= 2 * (need.bottom - need.top) || width <= at.right - at.left)
            continue;
        if (type == SS_RIGHT)
            at.left = at.right - width;
        else
            at.right = at.left + width;
        SetWindowPos(child, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SelectObject(dc, previous);
    ReleaseDC(dialog_, dc);
}

void CResponseMonitorDlg::initDialog()
{
    centre();
    fitLabels();
    historyField_.attach(dialog_, IDC_RM_HISTORY);
    fileField_.attach(dialog_, IDC_RM_FILE);

    // The program's icon for the dialog where it has one, else the system's
    // information icon.
    HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_RESPONSE_MONITOR));
    if (!icon)
        icon = LoadIconW(nullptr, IDI_INFORMATION);
    SendDlgItemMessageW(dialog_, IDC_RM_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);

    SendDlgItemMessageW(dialog_, IDC_RM_HISTORY_SPIN, UDM_SETRANGE32, ResponseMonitorForm::HistoryLow,
                        ResponseMonitorForm::HistoryHigh);
    SendDlgItemMessageW(dialog_, IDC_RM_ALPHA, TBM_SETRANGE, FALSE,
                        MAKELPARAM(ResponseMonitorForm::AlphaLow, ResponseMonitorForm::AlphaHigh));
    EnableWindow(GetDlgItem(dialog_, IDC_RM_RECORD), TRUE);
    form_.init(*this);
}

INT_PTR CResponseMonitorDlg::handle(UINT message, WPARAM wParam, LPARAM)
{
    if (message != WM_COMMAND)
        return FALSE;
    const int id = LOWORD(wParam);
    const int code = HIWORD(wParam);
    switch (id) {
    case IDC_RM_RECORD:
        if (code == BN_CLICKED)
            form_.onRecordToggled(*this);
        return TRUE;
    case IDC_RM_BROWSE:
        if (code == BN_CLICKED)
            form_.onBrowse(*this, prompter_);
        return TRUE;
    case IDOK:
        if (form_.onOk(*this, prompter_))
            EndDialog(dialog_, IDOK);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog_, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}

void CResponseMonitorDlg::setPortText(const std::string &text)
{
    SetDlgItemTextW(dialog_, IDC_RM_PORT, widen(text).c_str());
}

void CResponseMonitorDlg::setHistorySpinPos(int pos)
{
    // The up-down control keeps within its range and writes the edit.
    SendDlgItemMessageW(dialog_, IDC_RM_HISTORY_SPIN, UDM_SETPOS32, 0, pos);
}

int CResponseMonitorDlg::alphaPos() const
{
    return static_cast<int>(SendDlgItemMessageW(dialog_, IDC_RM_ALPHA, TBM_GETPOS, 0, 0));
}

void CResponseMonitorDlg::setAlphaPos(int pos)
{
    SendDlgItemMessageW(dialog_, IDC_RM_ALPHA, TBM_SETPOS, TRUE, pos);
}

bool CResponseMonitorDlg::recordChecked() const
{
    return IsDlgButtonChecked(dialog_, IDC_RM_RECORD) == BST_CHECKED;
}

void CResponseMonitorDlg::setFileControlsEnabled(bool enabled)
{
    EnableWindow(GetDlgItem(dialog_, IDC_RM_FILE), enabled);
    EnableWindow(GetDlgItem(dialog_, IDC_RM_BROWSE), enabled);
}

} // namespace vigilon::win
