// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "app/base/Prompter.h"

#include <memory>

namespace vigilon {
class Monitor;
}

namespace vigilon::win {

// The main dialog (modeless, from template 102) over the portable
// MainDialogController; hidden until the frame shows it.
std::unique_ptr<MainDialogView> makeMainDialog(Monitor &frame, const MainDialogInit &init, Prompter &prompter);
// The about box (template 100), modeless.
std::unique_ptr<AboutBoxView> makeAboutBox(Monitor &frame);

} // namespace vigilon::win
