// SPDX-License-Identifier: MIT
#pragma once

#include "app/base/Prompter.h"
#include "app/dialogs/PortSettingsForm.h"

#include <cstdint>
#include <string>

#include <windows.h>

namespace vigilon {
class Monitor;
}

namespace vigilon::win {

// The port settings dialog (template 130) over the form's rules, modal to
// owner. True when the user accepted (OK, or Delete confirmed). onOpen, when
// given, hears of the dialog's window once it is there (the owner may have
// to end it from outside).
bool runPortSettingsDialog(HWND owner, PortSettingsForm &form, Prompter &prompter, void (*onOpen)(HWND, void *) = nullptr,
                           void *context = nullptr);
// The target host dialog (template 131), modal to owner.
bool runTargetHostDialog(HWND owner, TargetHostForm &form, Prompter &prompter, void (*onOpen)(HWND, void *) = nullptr,
                         void *context = nullptr);

// The outage list of an entry (template 140) over OutageListController,
// modal to owner (which may be null).
void runOutageListDialog(HWND owner, Monitor &frame, Prompter &prompter, std::uint32_t entryId,
                         const std::string &entryName, void (*onOpen)(HWND, void *) = nullptr, void *context = nullptr);

} // namespace vigilon::win
