// SPDX-License-Identifier: MIT
#include "tests/ui/UiFakes.h"

#include "graph/qt/GraphWindows.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace vigilon::test {

void FakeEventLoop::setTimer(TimerOwner owner, unsigned id, unsigned periodMs, TimerCallback callback)
{
    timers[{owner, id}] = Timer{periodMs, std::move(callback)};
}

void FakeEventLoop::killTimers(TimerOwner owner)
{
    for (auto it = timers.begin(); it != timers.end();) {
        if (it->first.first == owner)
            it = timers.erase(it);
        else
            ++it;
    }
}

void FakeEventLoop::runPosted()
{
    // Bounded: work posted by posted work runs too, up to a limit.
    for (int round = 0; round < 100 && !posted.empty(); ++round) {
        auto batch = std::move(posted);
        posted.clear();
        for (auto &fn : batch)
            fn();
    }
}

bool FakeEventLoop::fire(TimerOwner owner, unsigned id)
{
    auto it = timers.find({owner, id});
    if (it == timers.end())
        return false;
    TimerCallback callback = it->second.callback;
    callback();
    return true;
}

namespace {
class FakeCheck final : public SocketCheck {
public:
    FakeCheck(FakeProbes &probes, ProbeHost &owner)
        : probes_(probes)
        , owner_(owner)
    {
    }
    int start(std::uint32_t port, const std::string &, MonitorPort &entry) override
    {
        entry_ = &entry;
        probes_.checkedPorts.push_back(port);
        const auto it = probes_.outcomeByPort.find(port);
        const int outcome = it == probes_.outcomeByPort.end() ? 1 : it->second;
        entry.responseTime = 3;
        done_ = 1;
        owner_.reportResult(outcome ? TcpOk : TcpFailed, entry);
        return 1;
    }
    int done() const override { return done_; }
    void detachEntry() override { entry_ = nullptr; }
    MonitorPort *entry() const override { return entry_; }

private:
    FakeProbes &probes_;
    ProbeHost &owner_;
    MonitorPort *entry_ = nullptr;
    int done_ = 0;
};
} // namespace

std::unique_ptr<SocketCheck> FakeProbes::makeSocketCheck(int, int, ProbeHost &owner)
{
    return std::make_unique<FakeCheck>(*this, owner);
}

std::unique_ptr<MainDialogView> FakeFrameUi::createMainDialog(CMainFrame &frame, const MainDialogInit &init)
{
    return makeMonitorDialog(frame, init, prompter_, &dialog);
}

std::unique_ptr<AboutBoxView> FakeFrameUi::createAboutBox(CMainFrame &frame)
{
    auto made = std::make_unique<CAboutDlg>(frame);
    about = made.get();
    return made;
}

bool FakeFrameUi::runResponseMonitorDialog(CMainFrame &frame, ResponseGraphParams &params)
{
    responseMonitorRequests.push_back(params.seriesNames);
    return realGraphParts && vigilon::runResponseMonitorDialog(frame, prompter_, params);
}

std::unique_ptr<ResponseGraph> FakeFrameUi::createResponseGraph(CMainFrame &frame, const ResponseGraphParams &params)
{
    ++graphsAsked;
    return realGraphParts && !failGraph ? makeResponseGraphWindow(frame, params) : nullptr;
}

UiHarness::UiHarness() = default;

UiHarness::UiHarness(const std::vector<StoredPort> &ports, std::uint32_t interval, std::uint32_t retry)
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
