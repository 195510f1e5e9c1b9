// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"

#include <windows.h>

namespace vigilon {
class Clock;
class Prompter;
} // namespace vigilon

namespace vigilon::win {

class WinTrayIcon;

// Makes the frame's windows on the Windows API. frameWindow is the hidden
// frame window that owns the notification-area icon.
class WinFrameUi final : public FrameUi {
public:
    WinFrameUi(Prompter &prompter, const Clock &clock, HWND frameWindow);

    std::unique_ptr<TrayIcon> createTrayIcon(Monitor &frame) override;
    MainDialogWindow *createMainDialog(DialogFace &frame, std::shared_ptr<MainDialogController> controller) override;
    std::unique_ptr<AboutBoxView> createAboutBox(Monitor &frame) override;
    // Posts WM_QUIT: the message loop ends once the handler returns.
    void quit() override;

    // The tray icon while the frame has one, for the frame window's
    // callback messages.
    WinTrayIcon *trayIcon() const;

    bool runResponseMonitorDialog(ResponseGraphParams &params) override;
    std::unique_ptr<ResponseGraph> createResponseGraph(const ResponseGraphParams &params,
                                                       std::function<void()> closeRequest) override;
    void showOutages(DialogFace &frame, std::uint32_t entryId, const std::string &entryName) override;
    std::optional<PlaceArea> placeArea() const override;

private:
    class TrayHandle;
    Prompter &prompter_;
    const Clock &clock_;
    HWND frameWindow_;
    // The main dialog made last: new windows open beside it.
    HWND mainDialog_ = nullptr;
    // Cleared by the tray icon as it goes.
    WinTrayIcon *trayIcon_ = nullptr;
};

} // namespace vigilon::win
