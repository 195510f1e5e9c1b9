// SPDX-License-Identifier: MIT
// The notification-area icon and its menu, as the frame drives them.
#include "app/MainFrame.h"
#include "app/ChannelService.h"

#include "app/Help.h"
#include "app/Notifications.h"

#include "base/StringTable.h"
#include "base/TextFormat.h"

namespace vigilon {

void CMainFrame::updateTrayIcon(TrayOp op, unsigned icon)
{
    if (!trayIcon_)
        return;
    const bool shortage = engine_.running() && engine_.uncheckedEntries() > 0;
    const std::string base =
        shortage && engine_.nothingChecked()
            ? formatText(loadString(sid::TrayTipNothingChecked), {context_.targetHost})
        : shortage ? formatText(loadString(sid::TrayTipShortage),
                              {context_.targetHost, std::to_string(engine_.uncheckedEntries())})
                 : formatText(loadString(engine_.running() ? sid::TrayTipRunning : sid::TrayTipStopped),
                              {context_.targetHost});
    // While monitoring runs, the tip names the entries that are failing.
    std::vector<std::string> failing;
    if (engine_.running())
        for (const auto &entry : ports_)
            if (entry->status == Failed && entry->active == 1)
                failing.push_back(entryWithHost(entry->name, entry->host));
    std::vector<std::string> quiet;
    for (const auto &entry : ports_)
        if (entry->quiet)
            quiet.push_back(entryWithHost(entry->name, entry->host));
    // And the channels whose messages fail.
    std::vector<std::string> channelLines;
    for (const ChannelStatus &channel : channelStatuses())
        if (channel.failing)
            channelLines.push_back(channelTipLine(channel.name.empty() ? channel.url : channel.name, channel.error));
    const std::string tip = trayTip(base, failing, channelLines, trayIcon_->tipLimit(), quiet);
    switch (op) {
    case TrayOp::Add:
        trayIconAdded_ = trayIcon_->add(icon, tip);
        trayIconShown_ = icon;
        trayTipShown_ = tip;
        break;
    case TrayOp::Modify:
        // Only a change goes to the shell: each modification is a message to
        // another process, and the tray is refreshed after every pass of the
        // loop that brought a result.
        if (trayIconAdded_ && ((icon != 0 && icon != trayIconShown_) || tip != trayTipShown_)) {
            trayIcon_->modify(icon, tip);
            trayIconShown_ = icon != 0 ? icon : trayIconShown_;
            trayTipShown_ = tip;
        }
        break;
    case TrayOp::Remove:
        if (trayIconAdded_)
            trayIcon_->remove();
        break;
    }
}

void CMainFrame::statusChanged(const std::vector<StatusChange> &changes)
{
    // The uptime column follows a failure or a recovery now, not at the
    // next minute: the history answers after writing every check it was
    // told of before, these included.
    refreshUptimes();
    if (context_.channels)
        context_.channels->roundChanged(changes, ports_);
    if (!notifications_ || !trayIcon_)
        return;
    const DesktopNotice notice = desktopNotice(changes, context_.targetHost, 8,
                                               {trayIcon_->noticeSummaryLimit(), trayIcon_->noticeBodyLimit()});
    trayIcon_->notify(notice.summary, notice.body, notice.failure);
}

void CMainFrame::channelTrouble(const std::string &text)
{
    if (notifications_ && trayIcon_)
        trayIcon_->notify(text, "", true);
}

std::vector<ChannelStatus> CMainFrame::channelStatuses() const
{
    return context_.channels ? context_.channels->views() : std::vector<ChannelStatus>{};
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
        const bool running = toggleMonitoring(false);
        if (mainDialog_ && !closed_) {
            mainDialog_->setMonitoring(running);
            mainDialog_->updateStateControls();
        }
        break;
    }
    case res::CmdToggleDialog:
        if (!mainWindow_)
            break;
        if (dialogVisible_) {
            mainWindow_->hideWindow();
            dialogVisible_ = false;
        } else {
            dialogVisible_ = true;
            catchUpRows();
            mainWindow_->showWindow();
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
    case res::CmdChannels:
        // Held here: the dialog nests the loop, and the frame may let go of
        // the main dialog meanwhile.
        if (const auto dialog = mainDialog_; dialog && !closed_)
            dialog->onChannels();
        break;
    default:
        // The tray's quiet commands apply to every entry.
        if (QuietChoice choice; trayQuietChoice(command, choice)) {
            std::vector<std::size_t> rows(realEntryCount(ports_));
            for (std::size_t i = 0; i < rows.size(); ++i)
                rows[i] = i;
            setQuiet(rows, choice);
        }
        break;
    }
}

void CMainFrame::showMainDialog()
{
    if (closed_ || !mainWindow_)
        return;
    if (!dialogVisible_)
        onCommand(res::CmdToggleDialog);
    else
        mainWindow_->showWindow();
}

} // namespace vigilon
