// SPDX-License-Identifier: MIT
#include "app/ProgramHost.h"

#include "app/MainFrame.h"
#include "app/MetricsSetup.h"
#include "app/SystemProbes.h"
#include "app/store/Settings.h"

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
    return guard.waitToTake() || refuse();
}

bool ProgramHost::start(EventLoop &loop, Prompter &prompter, FrameUi &ui)
{
    registry_ = openDefaultRegistry();
    probes_ = makeSystemProbeFactory(loop);
    serviceHost_ = makeServiceHostSetup(loop);
    std::vector<CheckObserver *> observers;
    metrics_ = MetricsService::start(commandLine_, *registry_, prompter);
    if (metrics_)
        observers.push_back(&metrics_->observer());
    frame_ = createProgramFrame(commandLine_, loop, prompter, *registry_, ui, *probes_, serviceHost_.get(), observers);
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
}

void ProgramHost::release()
{
    end();
    frame_.reset();
    metrics_.reset();
}

} // namespace vigilon
