// SPDX-License-Identifier: MIT
#pragma once

#include <windows.h>

namespace vigilon::win {

// The resource language of the interface's current language.
LANGID resourceLanguage();

// The dialogs and menus of a module in the interface's language: the
// template of that language where the module has one, else the one the
// system picks.
INT_PTR localizedDialogBox(HINSTANCE instance, int id, HWND owner, DLGPROC proc, LPARAM param);
HWND localizedDialog(HINSTANCE instance, int id, HWND owner, DLGPROC proc, LPARAM param);
HMENU localizedMenu(HINSTANCE instance, int id);

} // namespace vigilon::win
