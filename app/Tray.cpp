// SPDX-License-Identifier: MIT
// The notification-area icon and its menu, as the frame drives them.
#include "app/MainFrame.h"

#include "app/Help.h"

#include "app/base/StringTable.h"
#include "app/base/TextFormat.h"
#include "app/store/Settings.h"

namespace vigilon {

namespace {
constexpr std::size_t kTipBytes = 127;
} // namespace

void CMainFrame::updateTrayIcon(TrayOp op, unsigned icon)
{
    if (!trayIcon_)
        return;
    const std::string tip = cutUtf8(
        engine_.running() && engine_.uncheckedEntries() > 0
            ? formatText(loadString(sid::TrayTipShortage),
                         {context_.targetHost, std::to_string(engine_.uncheckedEntries())})
            : formatText(loadString(engine_.running() ? sid::TrayTipRunning : sid::TrayTipStopped), {context_.targetHost}),
        kTipBytes);
    switch (op) {
    case TrayOp::Add:
        trayIconAdded_ = trayIcon_->add(icon, tip);
        break;
    case TrayOp::Modify:
        if (trayIconAdded_)
            trayIcon_->modify(icon, tip);
        break;
    case TrayOp::Remove:
        if (trayIconAdded_)
            trayIcon_->remove();
        break;
    }
}

void CMainFrame::onTaskbarCreated()
{
    updateTrayIcon(TrayOp::Add, engine_.running() ? res::IconRunning : res::IconStopped);
    setLogonFlag(*context_.registry, 1);
}

} // namespace vigilon

namespace vigilon {

void CMainFrame::onCommand(unsigned command)
{
    switch (command) {
    case res::CmdToggleMonitoring: {
        const int result = toggleMonitoring(false);
        if (mainDialog_ && !closed_) {
            mainDialog_->setMonitoring(result != 0);
            mainDialog_->updateStateControls();
        }
        break;
    }
    case res::CmdToggleDialog:
        if (!mainDialog_)
            break;
        if (dialogVisible_) {
            mainDialog_->hide();
            dialogVisible_ = false;
        } else {
            mainDialog_->show();
            dialogVisible_ = true;
        }
        break;
    case res::CmdHelp:
        openHelpPage(*context_.loop, *context_.prompter);
        break;
    case res::CmdAbout:
        if (aboutBox_)
            aboutBox_->show();
        break;
    case res::CmdExit:
        requestExit();
        break;
    default:
        break;
    }
}

void CMainFrame::showMainDialog()
{
    if (closed_ || !mainDialog_)
        return;
    if (!dialogVisible_)
        onCommand(res::CmdToggleDialog);
    else
        mainDialog_->show();
}

} // namespace vigilon
