// SPDX-License-Identifier: MIT
#pragma once

#include "app/ChannelStatus.h"

#include <vector>

namespace vigilon {

// The face the frame turns to a front end's program: its application, its
// tray icon and the watcher of the system's tray. ProgramHost hands it out;
// the dialogs have their own (DialogFace).
class Monitor {
public:
    virtual ~Monitor() = default;

    // The end: after the user's Yes, or at once when the system asks.
    virtual void requestExit() = 0;
    virtual void exitNow() = 0;
    virtual bool closed() const = 0;

    // The tray menu's commands and clicks (res::Cmd…), and a tray that
    // appeared again.
    virtual void onCommand(unsigned command) = 0;
    virtual void onTaskbarCreated() = 0;
    // Shows the main dialog (a second start asked for it), and whether it
    // is shown.
    virtual void showMainDialog() = 0;
    virtual bool dialogVisible() const = 0;

    // Started with "-service": monitoring without a question, the dialog
    // hidden.
    virtual bool serviceMode() const = 0;

    // The message channels and how each is doing; none where none is
    // configured.
    virtual std::vector<ChannelStatus> channelStatuses() const { return {}; }
};

} // namespace vigilon
