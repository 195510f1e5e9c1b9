// SPDX-License-Identifier: MIT
#pragma once

#include "app/MainFrame.h"
#include "app/store/MemoryRegistry.h"
#include "app/store/Settings.h"
#include "graph/FileDialogStatus.h"
#include "app/GraphWindows.h"
#include "tests/support/FakeEventLoop.h"
#include "tests/support/FakeFrameParts.h"
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

// Hands the frame the real dialogs.
class RealDialogsUi final : public FrameUi, private GraphWindows::Makers {
public:
    RealDialogsUi(Prompter &prompter, const Clock &clock)
        : prompter_(prompter)
        , clock_(clock)
        , graphs(*this, prompter)
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
    void openResponseGraph(std::uint32_t entryId, const ResponseGraphParams &defaults,
                           std::function<bool()> stillWanted) override
    {
        graphs.open(entryId, defaults, stillWanted);
    }
    void responseSample(std::uint32_t entryId, std::uint32_t valueMs) override { graphs.addSample(entryId, valueMs); }
    void closeResponseGraph(std::uint32_t entryId) override { graphs.close(entryId); }
    void quit() override { quitCalled = true; }

private:
    bool runResponseMonitorDialog(ResponseGraphParams &params) override;
    std::unique_ptr<ResponseGraph> createResponseGraph(const ResponseGraphParams &params,
                                                       std::function<void()> closeRequest) override;
    Prompter &prompter_;
    const Clock &clock_;

public:
    GraphWindows graphs;
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
    FakeClock clock;
    FakeEventLoop loop{clock};
    Journal journal;
    FakeSocketLibrary sockets{journal};
    FakeProbeFactory probes;
    RealDialogsUi ui{prompter, clock};
    std::vector<std::string> commandsRun;

private:
    std::unique_ptr<CMainFrame> frame_;
};

// Makes the process's time zone UTC so that stored times read the same
// everywhere.
void useUtc();

} // namespace vigilon::test
