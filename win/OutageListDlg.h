// SPDX-License-Identifier: MIT
#pragma once

#include "base/Prompter.h"

#include <cstdint>
#include <string>

#include <windows.h>

namespace vigilon {
class DialogFace;
}

namespace vigilon::win {

// The outage list of an entry (template 140) over OutageListController,
// modal to owner (which may be null).
void runOutageListDialog(HWND owner, DialogFace &frame, Prompter &prompter, std::uint32_t entryId,
                         const std::string &entryName, void (*onOpen)(HWND, void *) = nullptr, void *context = nullptr);

} // namespace vigilon::win
