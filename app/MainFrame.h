// SPDX-License-Identifier: MIT
#pragma once

#include "app/Autostart.h"
#include "app/FrameUi.h"
#include "app/GraphWindows.h"
#include "app/dialogs/MainDialogController.h"
#include "base/HistoryReader.h"
#include "app/DialogFace.h"
#include "app/Monitor.h"
#include "app/MonitorEngine.h"
#include "base/ProbeFactory.h"
#include "base/Clock.h"
#include "base/EventLoop.h"
#include "base/MonitorPort.h"
#include "base/ProbeHost.h"
#include "base/SocketLibrary.h"
#include "base/Prompter.h"
#include "app/platform/Launcher.h"
#include "store/Settings.h"
#include "store/Registry.h"
#include "graph/ResponseGraphParams.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace vigilon {

class ChannelService;

namespace timers {
// The timers the frame sets on the loop, under itself (the polling timer is
// the engine's, timers::Poll), and their periods.
enum FrameTimer : unsigned {
    // Once, after the frame's creation in service mode: monitoring starts.
    ServiceStart = 5,
    // While the store is busy at start: the configuration is read again.
    StoreRetry = 6,
    // While a history is kept: the list's uptimes.
    Uptime = 7,
};
constexpr unsigned ServiceStartMs = 2000;
constexpr unsigned StoreRetryMs = 1000;
constexpr unsigned UptimeMs = 60 * 1000;
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
    // host: the host the failed entry checks, for "%TARGET%".
    std::function<int(const std::string &command, const std::string &host, const platform::Environment &environment)>
        runAlert;
    // Installs and removes the service host for autostart; none: the main
    // dialog's box stays off and disabled.
    ServiceHostSetup *serviceHost = nullptr;
    // Told of every outcome of a polling round and of every outage.
    std::vector<CheckObserver *> observers;
    // The kept history; none where it is switched off or cannot be had.
    HistoryReader *history = nullptr;
    // Turns the keeping of the history on and off (the history's switch).
    std::function<void(bool on)> keepHistory;
    // The message channels, told of each round's changes; none where no
    // channel is configured.
    ChannelService *channels = nullptr;
    // Told of the entries once they are loaded and after every change of
    // them, on the loop: the heartbeat tokens the server takes, and the
    // entries the API lists before their first check.
    std::function<void(const PortList &ports, const std::string &targetHost)> entriesChanged;
    // Where the program's server listens ("ADDR:PORT"), for the heartbeat
    // entries' calls; empty while it serves nothing.
    std::string serverAddress;
};

// The hidden top of the program. It owns the entries, the monitoring engine
// that checks them, the tray icon, the main dialog and the about box, and
// carries out the commands of the front ends. Everything runs on the event
// loop's thread. What monitoring has to say is shown without a question
// (Prompter::notice); the user's own questions nest the loop.
class CMainFrame final : public Monitor, public DialogFace, private EngineListener {
public:
    // A desktop notification that a channel's messages have failed for
    // an hour (where notifications are on).
    void channelTrouble(const std::string &text);
    // A heartbeat entry's job called (on the loop); an id no entry has any
    // more is ignored.
    void pushReceived(std::uint32_t entryId, bool up, const std::string &message);
    std::vector<ChannelStatus> channelStatuses() const override;
    // The Channels dialog (app/Channels.cpp).
    std::vector<ChannelSetting> channelSettings() const override;
    bool saveChannelSettings(const std::vector<ChannelSetting> &channels) override;
    bool sendChannelTest(const ChannelSetting &channel, ChannelTestDone done) override;
    void setChannelsListener(std::function<void()> changed) override { channelsListener_ = std::move(changed); }
    // A channel's state changed: the tray tip and an open Channels dialog
    // follow.
    void channelsChanged();
    explicit CMainFrame(const FrameContext &context);
    ~CMainFrame();
    CMainFrame(const CMainFrame &) = delete;
    CMainFrame &operator=(const CMainFrame &) = delete;

    // The creation sequence. False when the frame cannot be made.
    // Loads the configuration; while another process holds the store, it
    // is tried again from a timer and the rest waits for it.
    bool create();
    // Asks the user and ends the program on any answer but No.
    void requestExit() override;
    // Ends the program without a question (a stop asked for by the system).
    void exitNow() override;
    bool closed() const override { return closed_; }

    // Monitoring.
    bool toggleMonitoring(bool noConfirm) override;
    // Starts a port test of every active entry; done receives the result
    // from the event loop once every check has reported. False, and done is
    // not called, while a port test is still under way.
    bool startTestRound(std::function<void(TestResult)> done) override;
    std::vector<TestFailure> testFailures() const override { return engine_.testFailures(); }
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
    bool duplicates(const EntrySettings &settings, std::uint32_t except) const override;
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
    void openResponseMonitor(std::size_t row) override;
    void setQuiet(const std::vector<std::size_t> &rows, QuietChoice choice) override;
    std::size_t uncheckedEntries() const override { return engine_.uncheckedEntries(); }
    bool nothingChecked() const override { return engine_.nothingChecked(); }

    // The kept history.
    bool historyAvailable() const override { return context_.history != nullptr && historyKept_; }
    bool historyKept() const override { return historyKept_; }
    // Stored at once; off: what is gathered is written and the file closed.
    void setHistoryKept(bool on) override;
    bool requestUptime(std::uint32_t entryId, std::function<void(UptimeView)> done) override;
    bool requestOutages(std::uint32_t entryId, std::size_t limit,
                        std::function<void(std::vector<OutageView>)> done) override;

    // Tray icon and menu.
    // What updateTrayIcon does with the icon.
    enum class TrayOp { Add, Modify, Remove };
    void updateTrayIcon(TrayOp op, unsigned icon);
    void onCommand(unsigned command) override;
    // The system tray appeared again: re-add the icon, "Logon" = 1.
    void onTaskbarCreated() override;

    // Settings and state for the main dialog.
    std::uint32_t startTime() const override { return engine_.startTime(); }
    std::uint32_t intervalSeconds() const override { return engine_.intervalSeconds(); }
    std::uint32_t retryLimit() const override { return engine_.retryLimit(); }
    void setIntervalSeconds(std::uint32_t seconds) override { engine_.setIntervalSeconds(seconds); }
    void setRetryLimit(std::uint32_t limit) override { engine_.setRetryLimit(limit); }
    bool running() const { return engine_.running(); }
    bool serviceMode() const override { return serviceMode_; }
    const std::string &targetHost() const override { return context_.targetHost; }
    std::string serverAddress() const override { return context_.serverAddress; }
    // Entries that check the target keep the ids they had.
    void setTargetHost(const std::string &host) override;
    const std::string &localHostName() const { return localHostName_; }
    reg::Registry &registry() { return *context_.registry; }
    Prompter &prompter() { return *context_.prompter; }
    // The main dialog's rules while the frame has the dialog; null before
    // and after.
    MainDialogController *mainDialog() { return mainDialog_.get(); }
    bool dialogVisible() const override { return dialogVisible_; }
    void showMainDialog() override;

    // Writes the whole configuration as it stands.
    void saveSettings() override;
    // The entries changed (or were loaded): the engine and the server's
    // heartbeat tokens follow.
    void entriesSettled();
    // Gives every entry without a stable id (or with one another entry
    // has) one; true when any was given.
    bool giveStableIds();
    // The id the API and the badges know an entry by: its stored one, else
    // the one made of its kind, host and port.
    std::string entryId(const MonitorPort &entry) const;
    void saveWindowLayout(const WindowLayout &layout) override;

    // Desktop notifications of failures and recoveries (stored, on unless
    // turned off).
    bool notificationsEnabled() const override { return notifications_; }
    void setNotificationsEnabled(bool on) override;
    // Autostart through the service host.
    bool autostartAvailable() const override { return autostart_.available(); }
    bool autostartInstalled() const override { return autostart_.installed(); }
    bool setAutostart(bool install, std::function<void(bool installed, const std::string &failure)> done) override;

private:
    friend class FrameTestPeer;
    // One attempt to read the configuration at start; false while the store is busy.
    bool loadStore();
    // The steps of create() that follow the configuration's load.
    void finishCreate();
    void onServiceStartTimer();
    // What the engine shows.
    void setRowImage(int row, int image) override;
    void updateRow(const MonitorPort &entry) override;
    // Before the dialog shows: its rows as the entries stand, where changes
    // were held back while it was hidden.
    void catchUpRows();
    void showTrayIcon(unsigned icon) override { updateTrayIcon(TrayOp::Modify, icon); }
    void responseSample(std::uint32_t entryId, std::uint32_t valueMs, const std::string &line) override;
    void pollTick() override;
    void shortageChanged(std::size_t unchecked, bool firstTime) override;
    void statusChanged(const std::vector<StatusChange> &changes) override;
    MonitorPort *realEntry(std::size_t row);
    // The row of an entry that already watches what settings would: the
    // same name (kind and port) on the same host, the row except aside; -1
    // when none.
    int findDuplicate(const EntrySettings &settings, std::size_t except = static_cast<std::size_t>(-1)) const;
    void cleanUp();
    void destroyFrame();
    // What the history knows an entry by.
    SeriesKey seriesKey(const MonitorPort &entry) const;
    const MonitorPort *entryOfId(std::uint32_t entryId) const;
    // Asks the history for the entries' 24-hour uptimes and shows them.
    void refreshUptimes();

    FrameContext context_;
    bool serviceMode_ = false;
    bool socketsStarted_ = false;
    std::unique_ptr<TrayIcon> trayIcon_;
    // The main dialog: its rules, and its window while the frame holds it.
    // The window keeps the rules too, for its calls still on the stack as
    // the frame lets go.
    std::shared_ptr<MainDialogController> mainDialog_;
    MainDialogWindow *mainWindow_ = nullptr;
    // The entries' graph windows.
    std::unique_ptr<GraphWindows> graphs_;
    std::unique_ptr<AboutBoxView> aboutBox_;
    PortList ports_;
    // Posted work checks this before it touches the frame.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::uint32_t nextEntryId_ = 1;
    bool dialogVisible_ = true;
    // Rows changed while the dialog was hidden, not shown in its list yet,
    // and the images set on them since, by entry id.
    bool rowsBehind_ = false;
    std::unordered_map<std::uint32_t, int> heldImages_;
    bool trayIconAdded_ = false;
    // What the shell shows: the icon and the tip last given to it.
    unsigned trayIconShown_ = 0;
    std::string trayTipShown_;
    std::string localHostName_ = "127.0.0.1";
    bool created_ = false;
    // The stored configuration could not be read: never save over it.
    bool storeUnreadable_ = false;
    // The main window as the last run left it.
    WindowLayout windowLayout_;
    // What the store holds of the configuration: a save writes what differs.
    StoredValues stored_;
    bool closed_ = false;
    bool notifications_ = true;
    bool historyKept_ = true;
    Autostart autostart_{context_.serviceHost};
    // The open Channels dialog's rules, told of the channels' states.
    std::function<void()> channelsListener_;
    // Last, so that it goes first: its checks may still refer to the entries.
    MonitorEngine engine_;
};

} // namespace vigilon
