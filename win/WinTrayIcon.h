// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"

#include <windows.h>

#include <map>

namespace vigilon::win {

// The callback message and id of the notification-area icon.
constexpr UINT kTrayCallbackMessage = WM_USER + 10;
constexpr UINT kTrayIconId = 1000;

// The notification-area icon (Shell_NotifyIconW) of the hidden frame
// window, with the tray menu 134 and the four state icons from the
// resources. The frame window hands it its callback messages; the chosen
// menu command comes back to the window as WM_COMMAND, which the window
// gives to Monitor::onCommand.
class WinTrayIcon final : public TrayIcon {
public:
    // Loads the menu and the icons; check loaded().
    explicit WinTrayIcon(HWND frameWindow);
    ~WinTrayIcon() override;
    WinTrayIcon(const WinTrayIcon &) = delete;
    WinTrayIcon &operator=(const WinTrayIcon &) = delete;

    bool loaded() const;

    bool add(unsigned icon, const std::string &tip) override;
    void modify(unsigned icon, const std::string &tip) override;
    void remove() override;
    void setItemChecked(unsigned command, bool checked) override;
    void setItemEnabled(unsigned command, bool enabled) override;
    // The icon's own info balloon (NIF_INFO), which current Windows shows
    // as a toast; title and text cut to what the balloon holds.
    void notify(const std::string &summary, const std::string &body, bool failure) override;
    // What the balloon holds: 64 and 256 UTF-16 units, the terminators
    // included.
    TextLimit noticeSummaryLimit() const override { return {63, TextUnit::Utf16Units}; }
    TextLimit noticeBodyLimit() const override { return {255, TextUnit::Utf16Units}; }

    // The callback message kTrayCallbackMessage: a press of either button
    // opens the menu at the cursor. Releases and double clicks do nothing.
    void onCallback(WPARAM wParam, LPARAM lParam);

    // The picture of one of the four states, at the taskbar's size.
    HICON iconPicture(unsigned icon) const
    {
        const auto it = icons_.find(icon);
        return it == icons_.end() ? nullptr : it->second;
    }
    HMENU menu() const { return popup_; }

private:
    bool notify(DWORD operation, UINT flags, unsigned icon, const std::string &tip);
    // The four pictures at the primary screen's resolution, unless they are
    // at it already.
    void loadIcons();

    HWND window_;
    HMENU menuBar_ = nullptr;
    HMENU popup_ = nullptr;
    std::map<unsigned, HICON> icons_;
    unsigned currentIcon_ = 0;
    int iconDpi_ = 0;
};

} // namespace vigilon::win
