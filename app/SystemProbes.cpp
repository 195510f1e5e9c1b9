// SPDX-License-Identifier: MIT
#include "app/SystemProbes.h"

#include "app/AlertAction.h"
#include "app/MainFrame.h"
#include "probes/SocketUtil.h"
#include "probes/SystemProbeFactory.h"

#include <cstdint>
#include <cstdio>

namespace vigilon {

std::unique_ptr<ProbeFactory> makeSystemProbeFactory(EventLoop &loop)
{
    return std::make_unique<SystemProbeFactory>(loop);
}

std::unique_ptr<CMainFrame> createProgramFrame(const CommandLine &commandLine, EventLoop &loop, Prompter &prompter,
                                               reg::Registry &registry, FrameUi &ui, ProbeFactory &probes,
                                               ServiceHostSetup *serviceHost,
                                               const std::vector<CheckObserver *> &observers,
                                               const std::function<void(FrameContext &)> &more)
{
    FrameContext context;
    context.serviceMode = commandLine.serviceMode;
    context.targetGiven = commandLine.targetGiven;
    context.targetHost = commandLine.targetHost;
    context.verbose = commandLine.verbose;
    context.loop = &loop;
    context.clock = &SystemClock::instance();
    context.prompter = &prompter;
    context.registry = &registry;
    context.ui = &ui;
    context.sockets = &systemSocketLibrary();
    context.probes = &probes;
    context.serviceHost = serviceHost;
    context.observers = observers;
    // The alert runner lives in the frame it asks for the target.
    auto self = std::make_shared<const CMainFrame *>(nullptr);
    context.runAlert = makeAlertRunner(prompter, loop, [self] { return (*self)->targetHost(); });
    if (more)
        more(context);
    auto frame = std::make_unique<CMainFrame>(context);
    *self = frame.get();
    if (!frame->create())
        return nullptr;
    // The soft limit has been raised to the hard one by now: what is left
    // short stays short for this run.
    std::uint64_t limit = 0;
    const std::size_t room = net::checksWithinDescriptorLimit(limit);
    if (const std::size_t active = frame->activeEntryCount(); active > room && room == 0)
        std::fprintf(stderr,
                     "vigilon: the limit of %llu open files (ulimit -Hn) leaves none for checks: none of the %zu "
                     "active entries can be checked; raise the hard limit\n",
                     static_cast<unsigned long long>(limit), active);
    else if (active > room)
        std::fprintf(stderr,
                     "vigilon: the limit of %llu open files (ulimit -Hn) is below what the %zu active entries "
                     "need; their checks take turns, raise the hard limit to at least %llu to check them all in "
                     "every round\n",
                     static_cast<unsigned long long>(limit), active,
                     static_cast<unsigned long long>(limit + (active - room)));
    return frame;
}

} // namespace vigilon
