// SPDX-License-Identifier: MIT
#pragma once

#include "base/Prompter.h"
#include "base/ResponseGraph.h"
#include "graph/ResponseGraphParams.h"

#include <functional>
#include <memory>

namespace vigilon {

class Clock;

// Runs the response monitor settings dialog on params; true on OK.
bool runResponseMonitorDialog(Prompter &prompter, ResponseGraphParams &params);

// Makes a graph window, hidden; null when it cannot be made. closeRequest
// runs from the event loop when the window asks to be closed.
std::unique_ptr<ResponseGraph> makeResponseGraphWindow(const Clock &clock, Prompter &prompter,
                                                       const ResponseGraphParams &params,
                                                       std::function<void()> closeRequest);

} // namespace vigilon
