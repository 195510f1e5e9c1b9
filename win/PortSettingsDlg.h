// SPDX-License-Identifier: MIT
#pragma once

#include "base/Prompter.h"
#include "app/dialogs/PortSettingsForm.h"

#include <windows.h>

namespace vigilon::win {

// The port settings dialog (template 130) over the form's rules, modal to
// owner. True when the user accepted (OK, or Delete confirmed). onOpen, when
// given, hears of the dialog's window once it is there (the owner may have
// to end it from outside).
bool runPortSettingsDialog(HWND owner, PortSettingsForm &form, Prompter &prompter, void (*onOpen)(HWND, void *) = nullptr,
                           void *context = nullptr);

} // namespace vigilon::win
