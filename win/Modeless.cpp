// SPDX-License-Identifier: MIT
#include "win/Modeless.h"

#include <algorithm>
#include <vector>

namespace vigilon::win {

namespace {
std::vector<HWND> &dialogs()
{
    static std::vector<HWND> list;
    return list;
}
} // namespace

void addModeless(HWND dialog)
{
    auto &list = dialogs();
    if (std::find(list.begin(), list.end(), dialog) == list.end())
        list.push_back(dialog);
}

void removeModeless(HWND dialog)
{
    auto &list = dialogs();
    list.erase(std::remove(list.begin(), list.end(), dialog), list.end());
}

bool dispatchModeless(MSG &msg)
{
    // A copy: a dialog may go while it handles the message.
    const std::vector<HWND> list = dialogs();
    for (HWND dialog : list) {
        if (IsWindow(dialog) && IsDialogMessageW(dialog, &msg))
            return true;
    }
    return false;
}

} // namespace vigilon::win
