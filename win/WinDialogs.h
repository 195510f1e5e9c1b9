// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "base/Prompter.h"
#include "base/WindowLayout.h"

#include <functional>
#include <memory>

#include <windows.h>

namespace vigilon {
class Monitor;
}

namespace vigilon::win {

// The main dialog (modeless, from template 102) over the frame's
// controller, started on its controls; hidden until the frame shows it. Null
// when it cannot be made. made, if given, receives its window.
MainDialogWindow *makeMainDialog(DialogFace &frame, std::shared_ptr<MainDialogController> controller,
                                 Prompter &prompter, HWND *made = nullptr);
// The about box (template 100), modeless; placeArea tells where it may open
// the first time it is shown (see placeBeside).
std::unique_ptr<AboutBoxView> makeAboutBox(Monitor &frame, std::function<PlaceArea()> placeArea = {});
// Where a window beside owner may go: owner's frame while it is shown, and
// the work area of its monitor (the primary one's without an owner).
PlaceArea placeAreaOf(HWND owner);

} // namespace vigilon::win
