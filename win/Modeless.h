// SPDX-License-Identifier: MIT
#pragma once

#include <windows.h>

namespace vigilon::win {

// The modeless dialogs of the program, so that the message loop can give
// them their keyboard handling (IsDialogMessageW). A dialog adds itself on
// WM_INITDIALOG and removes itself on WM_DESTROY.
void addModeless(HWND dialog);
void removeModeless(HWND dialog);
// True when msg belonged to one of them and has been handled.
bool dispatchModeless(MSG &msg);

} // namespace vigilon::win
