// SPDX-License-Identifier: MIT
#include "app/qt/QtFrameUi.h"

#include "app/qt/QtTrayIcon.h"
#include "graph/qt/GraphWindows.h"
#include "ui/qt/AboutDlg.h"
#include "ui/qt/MonitorDlg.h"

#include <QCoreApplication>

namespace vigilon {

QtFrameUi::QtFrameUi(Prompter &prompter)
    : prompter_(prompter)
{
}

std::unique_ptr<TrayIcon> QtFrameUi::createTrayIcon(CMainFrame &frame)
{
    auto icon = std::make_unique<QtTrayIcon>(frame);
    trayIcon_ = icon.get();
    return icon;
}

std::unique_ptr<MainDialogView> QtFrameUi::createMainDialog(CMainFrame &frame, const MainDialogInit &init)
{
    return makeMonitorDialog(frame, init, prompter_);
}

std::unique_ptr<AboutBoxView> QtFrameUi::createAboutBox(CMainFrame &frame)
{
    return std::make_unique<CAboutDlg>(frame);
}

bool QtFrameUi::runResponseMonitorDialog(CMainFrame &frame, ResponseGraphParams &params)
{
    return vigilon::runResponseMonitorDialog(frame, prompter_, params);
}

std::unique_ptr<ResponseGraph> QtFrameUi::createResponseGraph(CMainFrame &frame, const ResponseGraphParams &params)
{
    return makeResponseGraphWindow(frame, params);
}

void QtFrameUi::quit()
{
    trayIcon_ = nullptr;
    QCoreApplication::exit(0);
}

} // namespace vigilon
