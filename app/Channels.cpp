// SPDX-License-Identifier: MIT
// The message channels as the dialogs and the tray reach them.
#include "app/MainFrame.h"
#include "app/ChannelService.h"

#include "store/ChannelSettings.h"

namespace vigilon {

std::vector<ChannelSetting> CMainFrame::channelSettings() const
{
    if (context_.channels)
        return context_.channels->settings();
    return loadChannels(*context_.registry).channels;
}

bool CMainFrame::saveChannelSettings(const std::vector<ChannelSetting> &channels)
{
    // A store that could not be read is never written over.
    if (storeUnreadable_ || saveChannels(*context_.registry, channels) != reg::Status::Ok)
        return false;
    if (context_.channels)
        context_.channels->reconfigure(channels);
    channelsChanged();
    return true;
}

bool CMainFrame::sendChannelTest(const ChannelSetting &channel, ChannelTestDone done)
{
    if (!context_.channels)
        return false;
    context_.channels->sendTest(channel, std::move(done));
    return true;
}

void CMainFrame::channelsChanged()
{
    if (closed_)
        return;
    updateTrayIcon(TrayOp::Modify, 0);
    // The listener may let go of itself.
    if (const std::function<void()> listener = channelsListener_)
        listener();
}

} // namespace vigilon
