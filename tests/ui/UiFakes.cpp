// SPDX-License-Identifier: MIT
#include "tests/ui/UiFakes.h"

#include "graph/qt/GraphWindows.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace vigilon::test {

std::unique_ptr<MainDialogView> RealDialogsUi::createMainDialog(CMainFrame &frame, const MainDialogInit &init)
{
    return makeMonitorDialog(frame, init, prompter_, &dialog);
}

std::unique_ptr<AboutBoxView> RealDialogsUi::createAboutBox(CMainFrame &frame)
{
    auto made = std::make_unique<CAboutDlg>(frame);
    about = made.get();
    return made;
}

bool RealDialogsUi::runResponseMonitorDialog(ResponseGraphParams &params)
{
    responseMonitorRequests.push_back(params.seriesNames);
    return realGraphParts && vigilon::runResponseMonitorDialog(prompter_, params);
}

std::unique_ptr<ResponseGraph> RealDialogsUi::createResponseGraph(const ResponseGraphParams &params,
                                                                std::function<void()> closeRequest)
{
    ++graphsAsked;
    return realGraphParts && !failGraph ? makeResponseGraphWindow(clock_, prompter_, params, std::move(closeRequest))
                                        : nullptr;
}

UiHarness::UiHarness()
{
    // Every check answers from inside its start; failingPorts fail.
    probes.outcomeAtStart = 1;
    probes.responseAtStart = 3;
}

UiHarness::UiHarness(const std::vector<StoredPort> &ports, std::uint32_t interval, std::uint32_t retry)
    : UiHarness()
{
    store(ports, interval, retry);
    create();
}

UiHarness::~UiHarness()
{
    frame_.reset();
    // The frame let go of its dialog; it goes once the loop runs.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void UiHarness::store(const std::vector<StoredPort> &ports, std::uint32_t interval, std::uint32_t retry,
                      const std::string &target)
{
    PortList list;
    for (const auto &p : ports) {
        auto entry = std::make_unique<MonitorPort>();
        entry->name = p.name;
        entry->port = p.port;
        entry->protocol = p.protocol;
        entry->active = p.active;
        entry->command = p.command;
        entry->threshold = p.threshold;
        list.push_back(std::move(entry));
    }
    appendPlaceholder(list);
    saveSettings(registry, target, interval, retry, list);
}

void UiHarness::create(bool serviceMode, bool targetGiven)
{
    FrameContext context;
    context.serviceMode = serviceMode;
    context.targetGiven = targetGiven;
    context.loop = &loop;
    context.clock = &clock;
    context.prompter = &prompter;
    context.registry = &registry;
    context.ui = &ui;
    context.sockets = &sockets;
    context.probes = &probes;
    context.runCommand = [this](const std::string &command) {
        commandsRun.push_back(command);
        return 0;
    };
    frame_ = std::make_unique<CMainFrame>(context);
    frame_->create();
}

LoadedSettings UiHarness::stored(std::string *target)
{
    std::string host = "unset";
    LoadedSettings loaded = loadSettings(registry, true, host);
    if (target)
        *target = host;
    return loaded;
}

void useUtc()
{
    setenv("TZ", "UTC", 1);
    tzset();
}

} // namespace vigilon::test
