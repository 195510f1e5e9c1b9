// SPDX-License-Identifier: MIT
#include "app/ProgramHost.h"

#include "app/AlertAction.h"
#include "app/ChannelService.h"
#include "app/MainFrame.h"
#include "app/MetricsSetup.h"
#include "base/Clock.h"
#include "base/Prompter.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "store/Settings.h"
#include "history/History.h"
#include "history/HistoryFile.h"
#include "probes/SocketUtil.h"
#include "probes/SystemProbeFactory.h"

#include <cstdint>
#include <cstdio>

namespace vigilon {

ProgramHost::ProgramHost(const CommandLine &commandLine)
    : commandLine_(commandLine)
{
}

ProgramHost::~ProgramHost()
{
    release();
}

bool ProgramHost::becomeOnlyInstance(InstanceGuard &guard)
{
    if (guard.tryTake())
        return true;
    const auto refuse = [this, &guard] {
        std::fprintf(stderr, "vigilon: %s; not starting without the one-instance check\n", guard.error().c_str());
        exitStatus_ = 1;
        return false;
    };
    if (!guard.error().empty())
        return refuse();
    if (!commandLine_.serviceMode) {
        if (guard.askHolderToShow())
            return false;
        std::fprintf(stderr, "vigilon: another Vigilon runs %s and does not answer\n", guard.scope());
        exitStatus_ = 1;
        return false;
    }
    std::fprintf(stderr, "vigilon: another Vigilon runs %s; waiting until it ends\n", guard.scope());
    if (guard.waitToTake())
        return true;
    if (!guard.error().empty())
        return refuse();
    // Asked to stop while it waited: nothing was begun, nothing to save.
    exitStatus_ = 0;
    return false;
}

Monitor *ProgramHost::frame()
{
    return frame_.get();
}

std::string ProgramHost::storePath()
{
    return defaultRegistryPath();
}

const Clock &ProgramHost::clock()
{
    return SystemClock::instance();
}

bool ProgramHost::start(EventLoop &loop, Prompter &prompter, FrameUi &ui)
{
    // Every check holds a socket for a while.
    net::raiseDescriptorLimit();
    registry_ = openDefaultRegistry();
    probes_ = std::make_unique<SystemProbeFactory>(loop);
    serviceHost_ = makeServiceHostSetup(loop);
    history::History::Options options;
    options.path = history::defaultHistoryPath();
    options.trouble = [&prompter](history::History::Trouble trouble, const std::string &path) {
        const unsigned text =
            trouble == history::History::Trouble::Damaged ? sid::HistoryDamaged : sid::HistoryUnavailable;
        prompter.notice(formatText(loadString(text), {path}), "", mb::Ok | mb::IconExclamation);
    };
    history_ = std::make_unique<history::History>(loop, std::move(options), loadHistoryKept(*registry_));
    std::vector<CheckObserver *> observers{history_.get()};
    metrics_ = MetricsService::start(commandLine_, *registry_, prompter, history_.get());
    if (metrics_)
        observers.push_back(&metrics_->observer());
    ChannelService::Options channelOptions;
    channelOptions.outboxPath = history::defaultHistoryPath();
    // Made without a channel too: the Channels dialog may add the first.
    channels_ = ChannelService::create(loop, clock(), *registry_, std::move(channelOptions));
    observers.push_back(channels_.get());
    frame_ = makeFrame(loop, prompter, ui, observers);
    if (frame_) {
        channels_->setTroubleNotice([frame = frame_.get()](const std::string &text) { frame->channelTrouble(text); });
        channels_->setStatusChanged([frame = frame_.get()] { frame->channelsChanged(); });
    }
    if (!frame_) {
        exitStatus_ = 1;
        return false;
    }
    return true;
}

std::unique_ptr<CMainFrame> ProgramHost::makeFrame(EventLoop &loop, Prompter &prompter, FrameUi &ui,
                                                   const std::vector<CheckObserver *> &observers)
{
    FrameContext context;
    context.serviceMode = commandLine_.serviceMode;
    context.targetGiven = commandLine_.targetGiven;
    context.targetHost = commandLine_.targetHost;
    context.verbose = commandLine_.verbose;
    context.loop = &loop;
    context.clock = &clock();
    context.prompter = &prompter;
    context.registry = registry_.get();
    context.ui = &ui;
    context.sockets = &systemSocketLibrary();
    context.probes = probes_.get();
    context.serviceHost = serviceHost_.get();
    context.observers = observers;
    context.history = history_.get();
    context.keepHistory = [history = history_.get()](bool on) { history->setKept(on); };
    context.channels = channels_.get();
    if (metrics_) {
        context.entriesChanged = [metrics = metrics_.get()](const PortList &ports, const std::string &target) {
            metrics->entriesChanged(ports, target);
        };
        context.serverAddress = metrics_->address();
    }
    // The alert runner lives in the frame it asks for the target.
    auto self = std::make_shared<const CMainFrame *>(nullptr);
    context.runAlert = makeAlertRunner(prompter, loop, [self] { return (*self)->targetHost(); });
    auto frame = std::make_unique<CMainFrame>(context);
    *self = frame.get();
    if (!frame->create())
        return nullptr;
    // Heartbeat calls reach the frame on the loop; the service drops them
    // once it stops, before the frame goes.
    if (metrics_)
        metrics_->receivePushes(loop, [frame = frame.get()](std::uint32_t id, bool up, const std::string &message) {
            frame->pushReceived(id, up, message);
        });

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

void ProgramHost::serveLaterStarts(InstanceGuard &guard)
{
    if (!guard.serve([this] { showMainDialog(); }))
        std::fprintf(stderr, "vigilon: %s\n", guard.error().c_str());
}

void ProgramHost::showMainDialog()
{
    if (frame_)
        frame_->showMainDialog();
}

void ProgramHost::end()
{
    if (frame_ && !frame_->closed())
        frame_->exitNow();
    if (metrics_)
        metrics_->stop();
    // What is not delivered yet waits in the outbox for the next start.
    if (channels_)
        channels_->stop();
    // After the frame's last outcomes: what is still queued is written.
    if (history_)
        history_->close();
}

void ProgramHost::release()
{
    end();
    frame_.reset();
    metrics_.reset();
    channels_.reset();
    history_.reset();
}

} // namespace vigilon
