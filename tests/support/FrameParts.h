// SPDX-License-Identifier: MIT
// A main frame as the tests build it: the configuration written into a
// store first, then the frame on scripted prompts, recorded windows and
// checks whose outcome the test decides, unless a test hands in its own
// loop, clock, windows or checks.
#pragma once

#include "tests/support/FrameTestPeer.h"
#include "app/MainFrame.h"
#include "base/PollEventLoop.h"
#include "store/MemoryRegistry.h"
#include "store/Settings.h"
#include "tests/support/FakeFrameParts.h"
#include "tests/support/FakePrompter.h"

#include <functional>
#include <tuple>
#include <memory>
#include <string>
#include <vector>

namespace vigilon::test {

// One entry as a test writes it into the store.
struct StoredPort {
    std::uint32_t port;
    std::uint32_t protocol;
    std::int32_t active;
    std::uint32_t threshold = 0;
    std::string command = {};
    // Empty: "port <number>".
    std::string name = {};
    // The entry's own host; empty for the target host.
    std::string host = {};
};

// Saves a configuration the way the program would.
inline reg::Status storePorts(reg::Registry &registry, const std::vector<StoredPort> &entries,
                              std::uint32_t interval = 5, std::uint32_t retry = 1, const std::string &target = "")
{
    PortList list;
    for (const StoredPort &e : entries) {
        list.push_back(std::make_unique<MonitorPort>());
        MonitorPort &entry = *list.back();
        std::tie(entry.port, entry.protocol, entry.active, entry.threshold, entry.command) =
            std::tie(e.port, e.protocol, e.active, e.threshold, e.command);
        entry.name = e.name.empty() ? "port " + std::to_string(e.port) : e.name;
        entry.host = e.host;
    }
    appendPlaceholder(list); // the list's empty last row, never stored
    return saveSettings(registry, target, interval, retry, list);
}

// A double word of the store; fallback when it is not there.
inline std::uint32_t storedDword(reg::Registry &registry, const std::string &key, const std::string &name,
                                 std::uint32_t fallback = 0xFFFFFFFFu)
{
    auto k = registry.openKey(key, reg::KeyQueryValue);
    reg::Value value;
    if (k && k->queryValue(name, value) == reg::Status::Ok)
        reg::dwordFromValue(value, fallback);
    return fallback;
}

// A string of the store; empty when it is not there.
inline std::string storedString(reg::Registry &registry, const std::string &key, const std::string &name)
{
    auto k = registry.openKey(key, reg::KeyQueryValue);
    reg::Value value;
    if (k && k->queryValue(name, value) == reg::Status::Ok)
        return reg::stringFromValue(value);
    return {};
}

// The program's own event loop, for frames in real time.
struct RealTime {
    PollEventLoop pollLoop;
};

class FrameParts {
public:
    FrameParts(EventLoop &loop, const Clock &clock) : loop_(loop), clock_(clock) {}
    virtual ~FrameParts() = default;

    void storeConfiguration(const std::vector<StoredPort> &entries, std::uint32_t interval = 5, std::uint32_t retry = 1,
                            const std::string &target = "")
    {
        storeSaved = storePorts(registry, entries, interval, retry, target) == reg::Status::Ok;
        storedRetry_ = retry;
    }
    void makeProgramKey() { registry.createKey(kProgramKey); }
    std::uint32_t logonValue() { return storedDword(registry, kProgramKey, kLogonValue); }

    // target empty: none given on the command line. created is whether the
    // frame's creation succeeded.
    CMainFrame &makeFrame(bool serviceMode = false, const std::string &target = "", bool create = true)
    {
        FrameContext context;
        context.serviceMode = serviceMode;
        context.verbose = verbose;
        context.targetGiven = !target.empty();
        if (!target.empty())
            context.targetHost = target;
        context.loop = &loop_;
        context.clock = &clock_;
        context.prompter = &prompter;
        context.registry = frameRegistry ? frameRegistry : &registry;
        context.ui = frameUi ? frameUi : &fakeUi;
        context.sockets = &sockets;
        context.probes = probeFactory ? probeFactory : &probes;
        context.serviceHost = serviceHost;
        context.runCommand = [this](const std::string &command) {
            commands.push_back(command);
            if (onCommand)
                onCommand();
            return 0;
        };
        context.runAlert = alertRunner;
        context.observers = observers;
        context.history = history;
        context.keepHistory = keepHistory;
        context.entriesChanged = entriesChanged;
        context.channels = channels;
        frame = std::make_unique<CMainFrame>(context);
        created = create && frame->create();
        // The load brings a stored limit into 1..5; a test's 0 (every failed
        // check declared) goes to the engine directly.
        if (created && storedRetry_ == 0)
            frame->setRetryLimit(0);
        return *frame;
    }

    MonitorPort &entry(std::size_t i) { return *FrameTestPeer::ports(*frame).at(i); }
    // The frame's engine, also the owner of the polling timer.
    MonitorEngine *engine() { return &FrameTestPeer::engine(*frame); }

    // Passed as --verbose to the next makeFrame().
    bool verbose = false;
    FakePrompter prompter;
    reg::MemoryRegistry registry;
    reg::Registry *frameRegistry = nullptr; // the frame's store when not registry
    FakeFrameUi fakeUi;
    FrameUi *frameUi = nullptr; // the frame's windows when not fakeUi
    FakeSocketLibrary sockets{fakeUi.journal};
    FakeProbeFactory probes;
    ProbeFactory *probeFactory = nullptr; // the frame's checks when not probes
    ServiceHostSetup *serviceHost = nullptr; // autostart: none unless given
    std::vector<std::string> commands;
    // Runs alerts in place of runCommand when set.
    decltype(FrameContext::runAlert) alertRunner;
    // Told of the outcomes and outages; the kept history, if any.
    std::vector<CheckObserver *> observers;
    HistoryReader *history = nullptr;
    std::function<void(bool on)> keepHistory;
    // Told of the entries after the load and every change.
    std::function<void(const PortList &ports, const std::string &targetHost)> entriesChanged;
    // The message channels, if any.
    ChannelService *channels = nullptr;
    // Runs inside an alert command, as its failure message's nested loop would.
    std::function<void()> onCommand;
    std::unique_ptr<CMainFrame> frame;
    bool storeSaved = false, created = false;

private:
    std::uint32_t storedRetry_ = 1;
    EventLoop &loop_;
    const Clock &clock_;
};

} // namespace vigilon::test
