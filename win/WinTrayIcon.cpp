// SPDX-License-Identifier: MIT
#include "win/WinTrayIcon.h"
#include "win/Localized.h"

#include "win/WinDpi.h"
#include "win/WinText.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace vigilon::win {

static_assert(std::size(NOTIFYICONDATAW{}.szInfoTitle) == 64 && std::size(NOTIFYICONDATAW{}.szInfo) == 256,
              "the balloon's limits are its fields' sizes");

namespace {
// A trace of the icon's calls for the program's tests, written when
// VIGILON_TRAY_TRACE names a file: one line per call with its result.
void trace(const char *operation, unsigned icon, bool result, const std::string &tip)
{
    static const char *path = std::getenv("VIGILON_TRAY_TRACE");
    if (!path || !*path)
        return;
    if (std::FILE *file = std::fopen(path, "a")) {
        std::string oneLine;
        for (char c : tip)
            if (c != '\r')
                oneLine += c == '\n' ? ' ' : c;
        std::fprintf(file, "%s %u %d %s\n", operation, icon, result ? 1 : 0, oneLine.c_str());
        std::fclose(file);
    }
}
} // namespace

WinTrayIcon::WinTrayIcon(HWND frameWindow)
    : window_(frameWindow)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    menuBar_ = localizedMenu(instance, res::MenuTray);
    popup_ = menuBar_ ? GetSubMenu(menuBar_, 0) : nullptr;
    loadIcons();
}

void WinTrayIcon::loadIcons()
{
    // The taskbar shows small icons at the primary screen's resolution.
    const int dpi = systemDpi();
    if (dpi == iconDpi_ && icons_.size() == 4)
        return;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const int cx = systemMetric(SM_CXSMICON, dpi);
    const int cy = systemMetric(SM_CYSMICON, dpi);
    std::map<unsigned, HICON> icons;
    for (unsigned id : {res::IconRunning, res::IconWarning, res::IconFailed, res::IconStopped}) {
        if (HANDLE icon = LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, cx, cy, LR_DEFAULTCOLOR))
            icons[id] = static_cast<HICON>(icon);
    }
    if (icons.size() != 4 && !icons_.empty()) {
        for (auto &[id, icon] : icons)
            DestroyIcon(icon);
        return;
    }
    for (auto &[id, icon] : icons_)
        DestroyIcon(icon);
    icons_ = std::move(icons);
    iconDpi_ = dpi;
}

WinTrayIcon::~WinTrayIcon()
{
    if (menuBar_)
        DestroyMenu(menuBar_);
    for (auto &[id, icon] : icons_)
        DestroyIcon(icon);
}

bool WinTrayIcon::loaded() const
{
    return popup_ != nullptr && icons_.size() == 4;
}

bool WinTrayIcon::notify(DWORD operation, UINT flags, unsigned icon, const std::string &tip)
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kTrayIconId;
    data.uFlags = flags;
    data.uCallbackMessage = kTrayCallbackMessage;
    if (flags & NIF_ICON) {
        const auto it = icons_.find(icon);
        data.hIcon = it == icons_.end() ? nullptr : it->second;
    }
    if (flags & NIF_TIP) {
        const std::wstring text = widen(tip);
        const std::size_t length = std::min<std::size_t>(text.size(), std::size(data.szTip) - 1);
        std::copy_n(text.begin(), length, data.szTip);
        data.szTip[length] = L'\0';
    }
    return Shell_NotifyIconW(operation, &data) != FALSE;
}

bool WinTrayIcon::add(unsigned icon, const std::string &tip)
{
    // A new taskbar may come with a new resolution.
    loadIcons();
    currentIcon_ = icon;
    bool added = notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP, icon, tip);
    // "TaskbarCreated" also comes while the icon is still there (the shell
    // sends it on a change of the display's DPI, for one): the add then
    // fails, and the icon, which would be taken for gone, is renewed.
    if (!added)
        added = notify(NIM_MODIFY, NIF_MESSAGE | NIF_ICON | NIF_TIP, icon, tip);
    trace("add", icon, added, tip);
    return added;
}

void WinTrayIcon::modify(unsigned icon, const std::string &tip)
{
    if (icon != 0)
        currentIcon_ = icon;
    const bool done = notify(NIM_MODIFY, icon != 0 ? NIF_MESSAGE | NIF_ICON | NIF_TIP : NIF_MESSAGE | NIF_TIP, icon, tip);
    trace("modify", icon, done, tip);
}

void WinTrayIcon::notify(const std::string &summary, const std::string &body, bool failure)
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kTrayIconId;
    data.uFlags = NIF_INFO;
    const auto put = [](const std::string &text, wchar_t *to, std::size_t size) {
        const std::wstring wide = widen(text);
        const std::size_t length = std::min<std::size_t>(wide.size(), size - 1);
        std::copy_n(wide.begin(), length, to);
        to[length] = L'\0';
    };
    put(summary, data.szInfoTitle, std::size(data.szInfoTitle));
    put(body, data.szInfo, std::size(data.szInfo));
    data.dwInfoFlags = failure ? NIIF_WARNING : NIIF_INFO;
    const bool done = Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
    trace("info", 0, done, summary + " / " + body);
}

void WinTrayIcon::remove()
{
    const bool done = notify(NIM_DELETE, 0, 0, {});
    trace("remove", 0, done, {});
}

void WinTrayIcon::setItemChecked(unsigned command, bool checked)
{
    if (popup_)
        CheckMenuItem(popup_, command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void WinTrayIcon::setItemEnabled(unsigned command, bool enabled)
{
    if (popup_)
        EnableMenuItem(popup_, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void WinTrayIcon::onCallback(WPARAM wParam, LPARAM lParam)
{
    if (wParam != kTrayIconId || (lParam != WM_LBUTTONDOWN && lParam != WM_RBUTTONDOWN) || !popup_)
        return;
    POINT at{};
    GetCursorPos(&at);
    // Without the foreground the menu would not close on a click elsewhere.
    SetForegroundWindow(window_);
    TrackPopupMenu(popup_, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
    PostMessageW(window_, WM_USER, 0, 0);
}

} // namespace vigilon::win
