// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "app/GraphWindows.h"

#include <windows.h>

namespace vigilon {
class Clock;
class Prompter;
} // namespace vigilon

namespace vigilon::win {

class WinTrayIcon;

// Makes the frame's windows on the Windows API, and keeps the entries'
// graph windows. frameWindow is the hidden frame window that owns the
// notification-area icon.
class WinFrameUi final : public FrameUi, private GraphWindows::Makers {
public:
    WinFrameUi(Prompter &prompter, const Clock &clock, HWND frameWindow);
    ~WinFrameUi() override;

    std::unique_ptr<TrayIcon> createTrayIcon(CMainFrame &frame) override;
    std::unique_ptr<MainDialogView> createMainDialog(CMainFrame &frame, const MainDialogInit &init) override;
    std::unique_ptr<AboutBoxView> createAboutBox(CMainFrame &frame) override;
    void openResponseGraph(std::uint32_t entryId, const ResponseGraphParams &defaults,
                           std::function<bool()> stillWanted) override;
    void responseSample(std::uint32_t entryId, std::uint32_t valueMs) override;
    void responseReason(std::uint32_t entryId, const std::string &line) override;
    void closeResponseGraph(std::uint32_t entryId) override;
    // Posts WM_QUIT: the message loop ends once the handler returns.
    void quit() override;

    GraphWindows &graphWindows() { return graphs_; }
    // The tray icon while the frame has one, for the frame window's
    // callback messages.
    WinTrayIcon *trayIcon() const;

private:
    class TrayHandle;
    // GraphWindows::Makers
    bool runResponseMonitorDialog(ResponseGraphParams &params) override;
    std::unique_ptr<ResponseGraph> createResponseGraph(const ResponseGraphParams &params,
                                                       std::function<void()> closeRequest) override;

    Prompter &prompter_;
    const Clock &clock_;
    HWND frameWindow_;
    // Cleared by the tray icon as it goes.
    WinTrayIcon *trayIcon_ = nullptr;
    GraphWindows graphs_;
};

} // namespace vigilon::win
