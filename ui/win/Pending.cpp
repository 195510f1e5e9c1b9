// SPDX-License-Identifier: MIT
// Placeholder until the dialogs are built: no windows at all.
#include "ui/win/WinDialogs.h"

namespace vigilon::win {

std::unique_ptr<MainDialogView> makeMainDialog(CMainFrame &, const MainDialogInit &, Prompter &)
{
    return nullptr;
}

std::unique_ptr<AboutBoxView> makeAboutBox(CMainFrame &)
{
    return nullptr;
}

} // namespace vigilon::win
