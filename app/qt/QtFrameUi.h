// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"

namespace vigilon {

class Prompter;
class QtTrayIcon;

// Makes the frame's windows with Qt.
class QtFrameUi final : public FrameUi {
public:
    explicit QtFrameUi(Prompter &prompter);

    std::unique_ptr<TrayIcon> createTrayIcon(CMainFrame &frame) override;
    std::unique_ptr<MainDialogView> createMainDialog(CMainFrame &frame, const MainDialogInit &init) override;
    std::unique_ptr<AboutBoxView> createAboutBox(CMainFrame &frame) override;
    bool runResponseMonitorDialog(CMainFrame &frame, ResponseGraphParams &params) override;
    std::unique_ptr<ResponseGraph> createResponseGraph(CMainFrame &frame, const ResponseGraphParams &params) override;
    void quit() override;

    // The tray icon made last, for the application's tray watching.
    QtTrayIcon *trayIcon() const { return trayIcon_; }

private:
    Prompter &prompter_;
    QtTrayIcon *trayIcon_ = nullptr;
};

} // namespace vigilon
