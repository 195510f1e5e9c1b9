// SPDX-License-Identifier: MIT
#pragma once

#include "app/base/Prompter.h"
#include "app/base/ResponseGraph.h"
#include "graph/ResponseGraphParams.h"

#include <memory>

namespace vigilon {

class CMainFrame;

// Runs the response monitor settings dialog on params; true on OK.
bool runResponseMonitorDialog(CMainFrame &frame, Prompter &prompter, ResponseGraphParams &params);

// Makes a graph window, hidden; null when it cannot be made.
std::unique_ptr<ResponseGraph> makeResponseGraphWindow(CMainFrame &frame, const ResponseGraphParams &params);

} // namespace vigilon
