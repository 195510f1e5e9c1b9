// SPDX-License-Identifier: MIT
#pragma once

#include "app/dialogs/ChannelsForm.h"
#include "base/Prompter.h"

#include <windows.h>

namespace vigilon::win {

// The Channels dialog (template IDD_CHANNELS), modal to owner; what it
// decides is form's. True when it ended with OK.
bool runChannelsDialog(HWND owner, ChannelsForm &form, Prompter &prompter, void (*onOpen)(HWND, void *) = nullptr,
                       void *context = nullptr);

} // namespace vigilon::win
