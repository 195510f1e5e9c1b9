// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "app/GraphWindows.h"

namespace vigilon {

class Prompter;
class QtTrayIcon;

// Makes the frame's windows with Qt, and keeps the entries' graph windows.
class QtFrameUi final : public FrameUi, private GraphWindows::Makers {
public:
    explicit QtFrameUi(Prompter &prompter);
    ~QtFrameUi() override;

    std::unique_ptr<TrayIcon> createTrayIcon(CMainFrame &frame) override;
    std::unique_ptr<MainDialogView> createMainDialog(CMainFrame &frame, const MainDialogInit &init) override;
    std::unique_ptr<AboutBoxView> createAboutBox(CMainFrame &frame) override;
    void openResponseGraph(std::uint32_t entryId, const ResponseGraphParams &defaults,
                           std::function<bool()> stillWanted) override;
    void responseSample(std::uint32_t entryId, std::uint32_t valueMs) override;
    void responseReason(std::uint32_t entryId, const std::string &line) override;
    void closeResponseGraph(std::uint32_t entryId) override;
    void quit() override;
    GraphWindows &graphWindows() { return graphs_; }

    // The tray icon made last, for the application's tray watching.
    QtTrayIcon *trayIcon() const { return trayIcon_; }

private:
    // GraphWindows::Makers
    bool runResponseMonitorDialog(ResponseGraphParams &params) override;
    std::unique_ptr<ResponseGraph> createResponseGraph(const ResponseGraphParams &params,
                                                       std::function<void()> closeRequest) override;

    Prompter &prompter_;
    QtTrayIcon *trayIcon_ = nullptr;
    GraphWindows graphs_;
};

} // namespace vigilon
