// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "app/Monitor.h"
#include "app/ProbeFactory.h"
#include "app/base/Clock.h"
#include "app/base/EventLoop.h"
#include "app/base/MonitorPort.h"
#include "app/base/ProbeHost.h"
#include "app/base/Prompter.h"
#include "app/platform/Launcher.h"
#include "app/store/Registry.h"
#include "graph/ResponseGraphParams.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vigilon {

// Ids and periods of the frame's timers.
namespace timers {
constexpr unsigned Poll = 1;         // period: intervalSeconds * 1000 ms
constexpr unsigned ServiceStart = 5; // once, after frame creation in service mode
constexpr unsigned ServiceStartMs = 2000;
constexpr unsigned StoreRetry = 6; // while the store is busy at start
constexpr unsigned StoreRetryMs = 1000;
} // namespace timers

// What the application hands the frame: its command-line state and the
// program's services.
struct FrameContext {
    bool serviceMode = false;
    bool targetGiven = false;
    std::string targetHost = "127.0.0.1";
    // One line per finished check on standard error.
    bool verbose = false;

    EventLoop *loop = nullptr;
    const Clock *clock = nullptr;
    Prompter *prompter = nullptr;
    reg::Registry *registry = nullptr;
    FrameUi *ui = nullptr;
    SocketLibrary *sockets = nullptr;
    ProbeFactory *probes = nullptr;
    // Runs an alert command; the frame shows the failure message itself.
    // Returns 0 when the command was started or opened.
    std::function<int(const std::string &command)> runCommand;
    // The same, where the program's environment is to carry these variables
    // too; used in place of runCommand when set.
    std::function<int(const std::string &command, const platform::Environment &environment)> runAlert;
};

class CMainFrame;

// The host a started check reports to: it tells the frame which check, of
// which round, is reporting.
class CheckSlot final : public ProbeHost {
public:
    CheckSlot(CMainFrame &frame, bool testRound) : frame_(frame), testRound_(testRound) {}
    void reportResult(int code, MonitorPort &entry) override;
    EventLoop &eventLoop() override;
    const Clock &clock() const override;
    bool testRound() const { return testRound_; }
    // Whether this check has reported at least once.
    bool reported = false;
    // When the check was started (monotonic).
    std::uint64_t startMicros = 0;
    // The check reporting here; it goes before its slot.
    const SocketCheck *check = nullptr;

private:
    CMainFrame &frame_;
    bool testRound_;
};

// A started check, kept until it is reaped at the start of a round. The probe
// goes before its slot.
struct PendingProbe {
    int kind = TcpProbeKind;
    std::unique_ptr<CheckSlot> slot;
    std::unique_ptr<SocketCheck> probe;
};

// The hidden top of the program. It owns the entries, the pending probes,
// the tray icon, the main dialog and the about box, and carries the
// monitoring engine. Everything runs on the event loop's thread. Nothing the
// engine does waits: every check reports later through the loop, and what
// monitoring has to say is shown without a question (Prompter::notice). The
// user's own questions still nest the loop, so timers and check results can
// arrive while one of them is open; a check is therefore never destroyed
// from inside a call, only later from the loop.
class CMainFrame final : public Monitor {
public:
    explicit CMainFrame(const FrameContext &context);
    ~CMainFrame();
    CMainFrame(const CMainFrame &) = delete;
    CMainFrame &operator=(const CMainFrame &) = delete;

    // The creation sequence. Returns 0 on success, -1 when the frame cannot
    // be made.
    // Loads the configuration; while another process holds the store, it
    // is tried again from a timer and the rest waits for it.
    int create();
    // Asks the user and ends the program on any answer but No.
    void requestExit() override;
    // Ends the program without a question (a stop asked for by the system).
    void exitNow() override;
    bool closed() const override { return closed_; }

    // Monitoring engine.
    int toggleMonitoring(bool noConfirm) override;
    // Starts a round of checks and returns at once. A Regular round is the
    // polling round; a Test round is a port test whose result (1 all fine, 2
    // a warning, 0 a failure) goes to the callback given to startTestRound().
    int runRound(RoundKind kind);
    // Starts a port test of every active entry; done receives the result
    // from the event loop once every check has reported. False, and done is
    // not called, while a port test is still under way.
    bool startTestRound(std::function<void(TestResult)> done) override;
    bool testRoundRunning() const { return testRound_.running; }
    // A started check reports its outcome.
    void reportResult(CheckSlot &slot, int code, MonitorPort &entry);
    EventLoop &eventLoop() override { return *context_.loop; }
    const Clock &clock() const override { return *context_.clock; }

    // The entries, by row; the last row is the placeholder. Front ends get
    // copies and change entries only through the commands below, each of
    // which saves the configuration.
    std::size_t entryCount() const override { return ports_.size(); }
    std::size_t activeEntryCount() const override;
    EntryView entryView(std::size_t row) const override;
    // The row of the entry of that name, letter case aside; -1 when none.
    int findEntry(const std::string &name) const override;
    // Fills the placeholder with a new, inactive entry and appends a new
    // placeholder.
    Change addEntry(const EntrySettings &settings) override;
    // New settings for an entry; its counters start afresh.
    Change editEntry(std::size_t row, const EntrySettings &settings) override;
    // Deletes an entry; its checks under way forget it, its graph window
    // closes.
    Change deleteEntry(std::size_t row) override;
    Change setEntryActive(std::size_t row, bool active) override;
    // Opens an active entry's graph window through the response monitor
    // settings dialog.
    void OpenResponseMonitor(std::size_t row) override;
    void resetEntriesToIdle();
    // Active entries whose check this system could not start in the last
    // polling round (out of descriptors or buffers); 0 when all started.
    // The next round begins with the first of them, so that every entry
    // takes its turn.
    std::size_t uncheckedEntries() const override { return unchecked_; }

    // Tray icon and menu.
    // What updateTrayIcon does with the icon.
    enum class TrayOp { Add, Modify, Remove };
    void updateTrayIcon(TrayOp op, unsigned icon);
    int refreshTrayState();
    void onCommand(unsigned command) override;
    // The system tray appeared again: re-add the icon, "Logon" = 1.
    void onTaskbarCreated() override;

    // Settings and state for the main dialog.
    std::uint32_t startTime() const override { return startTime_; }
    std::uint32_t intervalSeconds() const override { return intervalSeconds_; }
    std::uint32_t retryLimit() const override { return retryLimit_; }
    void setIntervalSeconds(std::uint32_t seconds) override { intervalSeconds_ = seconds; }
    void setRetryLimit(std::uint32_t limit) override { retryLimit_ = limit; }
    bool running() const override { return running_; }
    bool serviceMode() const override { return serviceMode_; }
    const std::string &targetHost() const override { return context_.targetHost; }
    void setTargetHost(const std::string &host) override { context_.targetHost = host; }
    const std::string &localHostName() const { return localHostName_; }
    reg::Registry &registry() { return *context_.registry; }
    Prompter &prompter() { return *context_.prompter; }
    MainDialogView *mainDialog() { return mainDialog_.get(); }
    bool dialogVisible() const override { return dialogVisible_; }
    void showMainDialog() override;

    // Writes the whole configuration as it stands.
    void saveSettings() override;

private:
    friend class FrameTestPeer;
    // One attempt to read the configuration at start; false while the store is busy.
    bool loadStore();
    // The steps of create() that follow the configuration's load.
    void finishCreate();
    void onServiceStartTimer();
    // Checks are destroyed from the event loop, never from inside a call
    // that may have one of them on the stack.
    void retireProbes(std::vector<PendingProbe> probes);
    void finishTestRound();
    // Looks whether the machine was suspended since the last look; if so,
    // every check under way is discarded and the polling timer, if armed,
    // waits one more full interval. True when a suspend was seen.
    bool noticeResume();
    void onPollTimer();
    // Shows how many entries the last round left out: status text, tray tip,
    // and the first time one notice.
    void showShortage(std::size_t unchecked);
    void armPollTimer();
    void setRowImage(int row, int image);
    void updateRow(const MonitorPort &entry);
    // The row of an entry; -1 when it is gone.
    int rowOf(const MonitorPort &entry) const;
    MonitorPort *realEntry(std::size_t row);
    void forgetEntry(MonitorPort &entry);
    // Shared success and failure handling; inRound with the round's result.
    void handleSuccess(MonitorPort &entry, int *roundResult);
    // ranMicros: how long the check ran until it failed.
    void handleFailure(MonitorPort &entry, bool testRound, int *roundResult, const FailureReason &reason,
                       std::uint64_t ranMicros = 0);
    void runAlert(const MonitorPort &entry);
    void logStatus(const MonitorPort &entry, PortStatus before) const;
    // reason: the fifth field of a failed check's line.
    void logCheck(const MonitorPort &entry, const char *outcome, std::uint64_t micros,
                  const FailureReason &reason = {}) const;
    void cleanUp();
    void destroyFrame();

    FrameContext context_;
    bool serviceMode_ = false;
    bool socketsStarted_ = false;
    std::unique_ptr<TrayIcon> trayIcon_;
    std::unique_ptr<MainDialogView> mainDialog_;
    std::unique_ptr<AboutBoxView> aboutBox_;
    PortList ports_;
    std::vector<PendingProbe> pendingProbes_;
    std::vector<PendingProbe> retiredProbes_;
    struct TestRound {
        bool running = false;
        // Its checks are being started; reports from inside a start do not
        // end it yet.
        bool starting = false;
        int outstanding = 0;
        int result = 1;
        std::function<void(TestResult)> done;
    };
    TestRound testRound_;
    // Posted work checks this before it touches the frame.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // A check that spans a suspend of the machine says nothing about the
    // target.
    SuspendWatch suspendWatch_;
    std::uint32_t nextEntryId_ = 1;
    std::uint32_t intervalSeconds_ = 5;
    std::uint32_t retryLimit_ = 1;
    bool dialogVisible_ = true;
    std::uint32_t startTime_ = 0;
    bool running_ = false;
    // Where the next polling round begins, and how many entries the last
    // one left out for want of local resources (said once per run).
    std::size_t roundStart_ = 0;
    std::size_t unchecked_ = 0;
    bool shortageShown_ = false;
    // Entries whose port outside 1..65535 has been said on standard error.
    std::set<std::uint32_t> portOutOfRangeSaid_;
    bool trayIconAdded_ = false;
    bool roundGuard_ = false;
    std::string localHostName_ = "127.0.0.1";
    bool created_ = false;
    // The stored configuration could not be read: never save over it.
    bool storeUnreadable_ = false;
    bool closed_ = false;
};

} // namespace vigilon
