// SPDX-License-Identifier: MIT
#include "app/ProgramHost.h"

#include "app/MainFrame.h"
#include "app/MetricsSetup.h"
#include "app/SystemProbes.h"
#include "base/Prompter.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "store/Settings.h"
#include "history/History.h"

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

bool ProgramHost::start(EventLoop &loop, Prompter &prompter, FrameUi &ui)
{
    registry_ = openDefaultRegistry();
    probes_ = makeSystemProbeFactory(loop);
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
    metrics_ = MetricsService::start(commandLine_, *registry_, prompter);
    if (metrics_)
        observers.push_back(&metrics_->observer());
    const auto withHistory = [this](FrameContext &context) {
        context.history = history_.get();
        context.keepHistory = [history = history_.get()](bool on) { history->setKept(on); };
    };
    frame_ = createProgramFrame(commandLine_, loop, prompter, *registry_, ui, *probes_, serviceHost_.get(), observers,
                                withHistory);
    if (!frame_) {
        exitStatus_ = 1;
        return false;
    }
    return true;
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
    // After the frame's last outcomes: what is still queued is written.
    if (history_)
        history_->close();
}

void ProgramHost::release()
{
    end();
    frame_.reset();
    metrics_.reset();
    history_.reset();
}

} // namespace vigilon
