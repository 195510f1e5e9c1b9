// SPDX-License-Identifier: MIT
// Placeholder until the graph window is built: no windows at all.
#include "graph/win/GraphWindows.h"

namespace vigilon::win {

bool runResponseMonitorDialog(Prompter &, ResponseGraphParams &)
{
    return false;
}

std::unique_ptr<ResponseGraph> makeResponseGraphWindow(const Clock &, Prompter &, const ResponseGraphParams &,
                                                       std::function<void()>)
{
    return nullptr;
}

} // namespace vigilon::win
