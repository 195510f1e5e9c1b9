// SPDX-License-Identifier: MIT
#pragma once

#include "base/ProbeFactory.h"
#include "base/CommandLine.h"
#include "base/EventLoop.h"
#include "base/Prompter.h"
#include "store/Registry.h"

#include <memory>
#include <vector>

namespace vigilon {

// The engine's checks made from the network probes of this system.
std::unique_ptr<ProbeFactory> makeSystemProbeFactory(EventLoop &loop);

class CMainFrame;
struct FrameContext;
class CheckObserver;
class FrameUi;
class ServiceHostSetup;

// The program's frame as every front end makes it: the command line's
// state, this system's clock, sockets and alert programs, over the front
// end's loop, prompter and windows. Created; null when that fails. Every
// part given must outlive the frame. observers are told of the checks.
// more, when given, adds to what the frame is made with (the history)
// before it is made.
std::unique_ptr<CMainFrame> createProgramFrame(const CommandLine &commandLine, EventLoop &loop, Prompter &prompter,
                                               reg::Registry &registry, FrameUi &ui, ProbeFactory &probes,
                                               ServiceHostSetup *serviceHost = nullptr,
                                               const std::vector<CheckObserver *> &observers = {},
                                               const std::function<void(FrameContext &)> &more = {});

} // namespace vigilon
