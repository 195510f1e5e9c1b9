// SPDX-License-Identifier: MIT
#pragma once

#include "app/GraphWindows.h"
#include "tests/support/FrameTestPeer.h"
#include "graph/FileDialogStatus.h"
#include "tests/support/FakeEventLoop.h"
#include "tests/support/FrameParts.h"
#include "qt/AboutDlg.h"
#include "tests/support/qt/QtWait.h"
#include "qt/MonitorDlg.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vigilon::test {

// Hands the frame the real dialogs.
class RealDialogsUi final : public FrameUi {
public:
    RealDialogsUi(Prompter &prompter, const Clock &clock)
        : prompter_(prompter)
        , clock_(clock)
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
    // The outage lists asked for, by entry id; a test runs them itself.
    std::vector<std::pair<std::uint32_t, std::string>> outagesShown;

    std::unique_ptr<TrayIcon> createTrayIcon(Monitor &) override { return nullptr; }
    MainDialogWindow *createMainDialog(DialogFace &frame, std::shared_ptr<MainDialogController> controller) override;
    std::unique_ptr<AboutBoxView> createAboutBox(Monitor &frame) override;
    void quit() override { quitCalled = true; }

    bool runResponseMonitorDialog(ResponseGraphParams &params) override;
    std::unique_ptr<ResponseGraph> createResponseGraph(const ResponseGraphParams &params,
                                                       std::function<void()> closeRequest) override;
    void showOutages(DialogFace &frame, std::uint32_t entryId, const std::string &entryName) override;
    std::optional<PlaceArea> placeArea() const override { return placeAreaOf(dialog.data()); }

private:
    Prompter &prompter_;
    const Clock &clock_;
};

// A frame with fakes around it and the real main dialog.
class UiHarness : public VirtualTime, public FrameParts {
public:
    UiHarness();
    // Stores the entries and creates the frame at once.
    explicit UiHarness(const std::vector<StoredPort> &ports, std::uint32_t interval = 5, std::uint32_t retry = 1);
    ~UiHarness() override;

    // Writes a configuration into the store; call before create().
    void store(const std::vector<StoredPort> &ports, std::uint32_t interval = 5, std::uint32_t retry = 1)
    {
        storeConfiguration(ports, interval, retry, "127.0.0.1");
    }
    // Runs the frame's creation; the dialog is then dialog().
    void create(bool serviceMode = false, bool targetGiven = false)
    {
        makeFrame(serviceMode, targetGiven ? "127.0.0.1" : "");
    }

    CMonitorDlg &dialog() { return *ui.dialog; }
    CMainFrame &frame() { return *FrameParts::frame; }

    RealDialogsUi ui{prompter, clock};
};

} // namespace vigilon::test
