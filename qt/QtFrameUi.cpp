// SPDX-License-Identifier: MIT
#include "qt/QtFrameUi.h"

#include "qt/QtTrayIcon.h"
#include "qt/GraphWindows.h"
#include "qt/AboutDlg.h"
#include "qt/MonitorDlg.h"
#include "qt/OutageListDlg.h"
#include "qt/QtPrompter.h"

#include <QCoreApplication>

namespace vigilon {

QtFrameUi::QtFrameUi(Prompter &prompter, const Clock &clock)
    : prompter_(prompter)
    , clock_(clock)
{
}

std::unique_ptr<TrayIcon> QtFrameUi::createTrayIcon(Monitor &frame)
{
    auto icon = std::make_unique<QtTrayIcon>(frame);
    trayIcon_ = icon.get();
    return icon;
}

MainDialogWindow *QtFrameUi::createMainDialog(DialogFace &frame, std::shared_ptr<MainDialogController> controller)
{
    CMonitorDlg *dialog = makeMonitorDialog(frame, std::move(controller), prompter_);
    QPointer<CMonitorDlg> made = dialog;
    mainDialog_ = made;
    if (auto *qtPrompter = dynamic_cast<QtPrompter *>(&prompter_))
        qtPrompter->setNoticeOwner([made]() -> QWidget * { return made.data(); });
    return dialog;
}

std::unique_ptr<AboutBoxView> QtFrameUi::createAboutBox(Monitor &frame)
{
    return std::make_unique<CAboutDlg>(frame, [this] { return placeAreaOf(mainDialog_.data()); });
}

std::optional<PlaceArea> QtFrameUi::placeArea() const
{
    return placeAreaOf(mainDialog_.data());
}

bool QtFrameUi::runResponseMonitorDialog(ResponseGraphParams &params)
{
    return vigilon::runResponseMonitorDialog(prompter_, params);
}

std::unique_ptr<ResponseGraph> QtFrameUi::createResponseGraph(const ResponseGraphParams &params,
                                                              std::function<void()> closeRequest)
{
    return makeResponseGraphWindow(clock_, prompter_, params, std::move(closeRequest));
}

void QtFrameUi::showOutages(DialogFace &frame, std::uint32_t entryId, const std::string &entryName)
{
    COutageListDlg dialog(frame, prompter_, entryId, entryName);
    dialog.exec();
}

void QtFrameUi::quit()
{
    trayIcon_ = nullptr;
    QCoreApplication::exit(0);
}

} // namespace vigilon
