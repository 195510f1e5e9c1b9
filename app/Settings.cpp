// SPDX-License-Identifier: MIT
// The settings that the main dialog changes, as the frame keeps them in the
// store: notifications, autostart, the entries with the interval and retry
// count, and the window's layout.
#include "app/MainFrame.h"

#include "base/NoticeBoard.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "store/Settings.h"

#include <cstdio>
#include <memory>
#include <string>

namespace vigilon {

void CMainFrame::setNotificationsEnabled(bool on)
{
    notifications_ = on;
    if (storeUnreadable_)
        return;
    if (const reg::Status status = saveNotifications(*context_.registry, on); status != reg::Status::Ok)
        std::fprintf(stderr, "vigilon: the notification setting could not be saved: %s\n", reg::statusText(status));
}

bool CMainFrame::setAutostart(bool install, std::function<void(bool installed, const std::string &failure)> done)
{
    if (closed_)
        return false;
    std::weak_ptr<bool> alive = alive_;
    return autostart_.change(install, [alive, done = std::move(done)](bool installed, const std::string &failure) {
        if (!failure.empty())
            logNotice(failure);
        if (alive.lock() && done)
            done(installed, failure);
    });
}

void CMainFrame::entriesSettled()
{
    engine_.entriesChanged();
    if (context_.entriesChanged)
        context_.entriesChanged(ports_, context_.targetHost);
}

void CMainFrame::pushReceived(std::uint32_t entryId, bool up, const std::string &message)
{
    if (closed_)
        return;
    for (const auto &entry : ports_) {
        if (entry->id == entryId) {
            engine_.pushReceived(*entry, up, message);
            return;
        }
    }
}

void CMainFrame::saveSettings()
{
    // Whatever the store says, the entries are as they are now.
    entriesSettled();
    if (storeUnreadable_) {
        std::fputs("vigilon: the settings were not saved: the stored configuration could not be read at start\n",
                   stderr);
        return;
    }
    const reg::Status status =
        vigilon::saveSettings(*context_.registry, context_.targetHost, engine_.intervalSeconds(),
                              engine_.retryLimit(), ports_, &stored_);
    if (status == reg::Status::Ok)
        return;
    // Said in a box as well: a program started from the desktop has nowhere
    // to show its standard error. A notice, so that nothing waits on it.
    const std::string cause = std::string("HKEY_LOCAL_MACHINE\\") + kMonitorKey + ": " + reg::statusText(status);
    std::fprintf(stderr, "vigilon: the settings could not be saved: %s\n", cause.c_str());
    prompter().notice(formatText(loadString(sid::SettingsNotSaved), {cause}), "", mb::Ok | mb::IconExclamation);
}

void CMainFrame::saveWindowLayout(const WindowLayout &layout)
{
    windowLayout_ = layout;
    if (storeUnreadable_)
        return;
    // Said only on standard error: the window goes as the program ends.
    const reg::Status status = vigilon::saveWindowLayout(*context_.registry, layout);
    if (status != reg::Status::Ok)
        std::fprintf(stderr, "vigilon: the window's layout could not be saved: %s\n", reg::statusText(status));
}

} // namespace vigilon
