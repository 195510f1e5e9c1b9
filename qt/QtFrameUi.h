// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"

#include <QPointer>
#include <QWidget>

namespace vigilon {

class Clock;
class Prompter;
class QtTrayIcon;

// Makes the frame's windows with Qt.
class QtFrameUi final : public FrameUi {
public:
    QtFrameUi(Prompter &prompter, const Clock &clock);

    std::unique_ptr<TrayIcon> createTrayIcon(Monitor &frame) override;
    MainDialogWindow *createMainDialog(DialogFace &frame, std::shared_ptr<MainDialogController> controller) override;
    std::unique_ptr<AboutBoxView> createAboutBox(Monitor &frame) override;
    void quit() override;

    // The tray icon made last, for the application's tray watching.
    QtTrayIcon *trayIcon() const { return trayIcon_; }

    bool runResponseMonitorDialog(ResponseGraphParams &params) override;
    std::unique_ptr<ResponseGraph> createResponseGraph(const ResponseGraphParams &params,
                                                       std::function<void()> closeRequest) override;
    void showOutages(DialogFace &frame, std::uint32_t entryId, const std::string &entryName) override;
    std::optional<PlaceArea> placeArea() const override;

private:
    Prompter &prompter_;
    const Clock &clock_;
    QtTrayIcon *trayIcon_ = nullptr;
    // The main dialog made last: new windows open beside it.
    QPointer<QWidget> mainDialog_;
};

} // namespace vigilon
