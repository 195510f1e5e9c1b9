// SPDX-License-Identifier: MIT
#pragma once

#include "base/Prompter.h"
#include "app/dialogs/PortSettingsForm.h"

#include <windows.h>

namespace vigilon::win {

// The target host dialog (template 131), modal to owner.
bool runTargetHostDialog(HWND owner, TargetHostForm &form, Prompter &prompter, void (*onOpen)(HWND, void *) = nullptr,
                         void *context = nullptr);

} // namespace vigilon::win
