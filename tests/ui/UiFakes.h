// SPDX-License-Identifier: MIT
#pragma once

#include "app/MainFrame.h"
#include "app/store/MemoryRegistry.h"
#include "app/store/Settings.h"
#include "graph/FileDialogStatus.h"
#include "tests/support/FakePrompter.h"
#include "ui/qt/AboutDlg.h"
#include "ui/qt/MonitorDlg.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vigilon::test {

// Timers that fire only when a test says so; posted work runs on runPosted().
class FakeEventLoop final : public EventLoop {
public:
    struct Timer {
        unsigned periodMs = 0;
        TimerCallback callback;
    };
    std::map<std::pair<TimerOwner, unsigned>, Timer> timers;
    std::vector<std::function<void()>> posted;

    void setTimer(TimerOwner owner, unsigned id, unsigned periodMs, TimerCallback callback) override;
    void killTimer(TimerOwner owner, unsigned id) override { timers.erase({owner, id}); }
    void killTimers(TimerOwner owner) override;
    bool hasTimer(TimerOwner owner, unsigned id) const override { return timers.count({owner, id}) != 0; }
    void watchSocket(int, unsigned, SocketCallback) override {}
    void unwatchSocket(int) override {}
    void post(std::function<void()> fn) override { posted.push_back(std::move(fn)); }

    void runPosted();
    bool fire(TimerOwner owner, unsigned id);
};

class FakeClock final : public Clock {
public:
    std::uint32_t now = 1700000000u;
    std::uint64_t monotonicMicros() const override { return std::uint64_t(now) * 1000000u; }
    std::uint64_t boottimeMicros() const override { return monotonicMicros(); }
    std::uint32_t nowSeconds() const override { return now; }
};

class FakeSockets final : public SocketLibrary {
public:
    bool startup() override { return true; }
    void cleanup() override {}
    bool hostName(std::string &name) override
    {
        name = "testhost";
        return true;
    }
};

// Checks that report from inside their start, from a table by port
// (default: success).
class FakeProbes final : public ProbeFactory {
public:
    std::map<std::uint32_t, int> outcomeByPort;
    std::vector<std::uint32_t> checkedPorts;

    std::unique_ptr<SocketCheck> makeSocketCheck(int kind, int mode, ProbeHost &owner) override;
};

// Hands the frame the real dialogs.
class FakeFrameUi final : public FrameUi {
public:
    explicit FakeFrameUi(Prompter &prompter)
        : prompter_(prompter)
    {
    }
    QPointer<CMonitorDlg> dialog;
    CAboutDlg *about = nullptr;
    std::vector<std::string> responseMonitorRequests;
    // With the real response monitor dialog and graph window instead of a
    // dialog that is always cancelled.
    bool realGraphParts = false;
    // Graph windows asked for, and whether making one fails.
    int graphsAsked = 0;
    bool failGraph = false;
    bool quitCalled = false;

    std::unique_ptr<TrayIcon> createTrayIcon(CMainFrame &) override { return nullptr; }
    std::unique_ptr<MainDialogView> createMainDialog(CMainFrame &frame, const MainDialogInit &init) override;
    std::unique_ptr<AboutBoxView> createAboutBox(CMainFrame &frame) override;
    bool runResponseMonitorDialog(CMainFrame &, ResponseGraphParams &params) override;
    std::unique_ptr<ResponseGraph> createResponseGraph(CMainFrame &, const ResponseGraphParams &) override;
    void quit() override { quitCalled = true; }

private:
    Prompter &prompter_;
};

// One entry as the tests write it into the store before the frame starts.
struct StoredPort {
    std::string name;
    std::uint32_t port = 0;
    std::uint32_t protocol = GenericTcp;
    std::int32_t active = 0;
    std::string command;
    std::uint32_t threshold = 0;
};

// A frame with fakes around it and the real main dialog.
class UiHarness {
public:
    UiHarness();
    // Stores the entries and creates the frame at once.
    explicit UiHarness(const std::vector<StoredPort> &ports, std::uint32_t interval = 5, std::uint32_t retry = 1);
    ~UiHarness();

    // Writes a configuration into the store; call before create().
    void store(const std::vector<StoredPort> &ports, std::uint32_t interval = 5, std::uint32_t retry = 1,
               const std::string &target = "127.0.0.1");
    // Runs the frame's creation; the dialog is then dialog().
    void create(bool serviceMode = false, bool targetGiven = false);

    // What the store holds now (the frame's reading of it).
    LoadedSettings stored(std::string *target = nullptr);

    CMonitorDlg &dialog() { return *ui.dialog; }
    CMainFrame &frame() { return *frame_; }

    reg::MemoryRegistry registry;
    FakePrompter prompter;
    FakeEventLoop loop;
    FakeClock clock;
    FakeSockets sockets;
    FakeProbes probes;
    FakeFrameUi ui{prompter};
    std::vector<std::string> commandsRun;

private:
    std::unique_ptr<CMainFrame> frame_;
};

// Makes the process's time zone UTC so that stored times read the same
// everywhere.
void useUtc();

} // namespace vigilon::test
