// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "app/QuietCommands.h"
#include "base/Clock.h"
#include "base/EventLoop.h"
#include "base/HistoryReader.h"
#include "app/ChannelStatus.h"
#include "channels/Delivery.h"
#include "store/ChannelSettings.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vigilon {

// What a port test found over all its checks.
enum class TestResult {
    Failed = 0,
    Ok = 1,
    // Every entry answered, at least one above its threshold.
    Warning = 2,
};

// An entry the last port test found failing: its name, the host it was
// checked at and why.
struct TestFailure {
    std::string name;
    std::string host;
    FailureReason reason;
    bool operator==(const TestFailure &) const = default;
};

// The face the frame turns to the dialogs: what the portable dialog rules
// (MainDialogController, OutageListController, GraphWindows) and the
// front ends' dialog windows may ask of the program, and all they may read
// of it. Entries are handed out as copies and changed only through the
// commands below, each of which saves the configuration. The program's own
// start, end and tray are Monitor's.
class DialogFace {
public:
    enum class Change {
        Done,
        // Another entry has that name (letter case aside) on the same
        // host: it already watches that port.
        Duplicate,
        // No such row, or the placeholder where an entry was meant.
        NoEntry,
    };

    virtual ~DialogFace() = default;

    // The end: after the user's Yes, or at once when the system closes the
    // dialog.
    virtual void requestExit() = 0;
    virtual void exitNow() = 0;

    // Monitoring. toggleMonitoring asks first unless noConfirm, and says
    // whether monitoring runs afterwards.
    virtual bool toggleMonitoring(bool noConfirm) = 0;
    // When monitoring last started (seconds since 1970).
    virtual std::uint32_t startTime() const = 0;
    // Active entries this system could not check in the last round (out of
    // descriptors or buffers); they take turns. 0 when all were checked.
    virtual std::size_t uncheckedEntries() const = 0;
    // The last round could check none of them: nothing is monitored.
    virtual bool nothingChecked() const = 0;
    // A port test of every active entry; done receives the result from the
    // event loop once every check has reported. False, and done is not
    // called, while a port test is still under way.
    virtual bool startTestRound(std::function<void(TestResult)> done) = 0;
    // The entries the last port test found failing, in the order they
    // failed; empty before the first.
    virtual std::vector<TestFailure> testFailures() const = 0;

    // The entries, by row; the last row is the placeholder.
    virtual std::size_t entryCount() const = 0;
    virtual std::size_t activeEntryCount() const = 0;
    virtual EntryView entryView(std::size_t row) const = 0;
    // The row of the entry of that name, letter case aside; -1 when none.
    virtual int findEntry(const std::string &name) const = 0;
    // Whether an entry with these settings would repeat another entry than
    // the one of id except (0 for none): addEntry and editEntry would refuse it.
    virtual bool duplicates(const EntrySettings &settings, std::uint32_t except) const = 0;
    // Fills the placeholder with a new, inactive entry.
    virtual Change addEntry(const EntrySettings &settings) = 0;
    // New settings for an entry; its counters start afresh.
    virtual Change editEntry(std::size_t row, const EntrySettings &settings) = 0;
    virtual Change deleteEntry(std::size_t row) = 0;
    virtual Change setEntryActive(std::size_t row, bool active) = 0;
    // Opens an active entry's graph window through the response monitor
    // settings dialog.
    virtual void openResponseMonitor(std::size_t row) = 0;
    // Sets or ends (Resume) the quiet period set by hand of the entries of
    // these rows, stored at once; the placeholder and rows that do not
    // exist are passed over.
    virtual void setQuiet(const std::vector<std::size_t> &rows, QuietChoice choice) = 0;

    // The history of the entry of that id: its uptimes and last outages, or
    // its outages (newest first, at most limit). done runs later, from the
    // event loop. False, and done is not called, where no history is kept
    // or there is no such entry.
    virtual bool historyAvailable() const = 0;
    // Whether the history is kept (stored; on unless turned off). Turning
    // it off stops the recording at once; what was kept stays.
    virtual bool historyKept() const = 0;
    virtual void setHistoryKept(bool on) = 0;
    virtual bool requestUptime(std::uint32_t entryId, std::function<void(UptimeView)> done) = 0;
    virtual bool requestOutages(std::uint32_t entryId, std::size_t limit,
                                std::function<void(std::vector<OutageView>)> done) = 0;

    // Settings the main dialog edits.
    virtual std::uint32_t intervalSeconds() const = 0;
    virtual std::uint32_t retryLimit() const = 0;
    virtual void setIntervalSeconds(std::uint32_t seconds) = 0;
    virtual void setRetryLimit(std::uint32_t limit) = 0;
    virtual const std::string &targetHost() const = 0;
    // Where the program's server listens ("ADDR:PORT"); empty while it
    // serves nothing.
    virtual std::string serverAddress() const { return {}; }
    virtual void setTargetHost(const std::string &host) = 0;
    // Writes the whole configuration as it stands.
    virtual void saveSettings() = 0;
    // Keeps the main window's layout for the next start.
    virtual void saveWindowLayout(const WindowLayout &layout) = 0;

    // Desktop notifications of failures and recoveries; the setting is
    // stored at once.
    virtual bool notificationsEnabled() const = 0;
    virtual void setNotificationsEnabled(bool on) = 0;
    // Autostart: the service host installed for the user. Available where
    // the program has one; installed as the system reports it now.
    virtual bool autostartAvailable() const = 0;
    virtual bool autostartInstalled() const = 0;
    // Installs or removes it; done(installed now, why it failed or empty)
    // from the event loop. False, and done is not called, while a change is
    // under way or where autostart is not available.
    virtual bool setAutostart(bool install, std::function<void(bool installed, const std::string &failure)> done) = 0;

    // The program's loop and clock, for work a window posts.
    virtual EventLoop &eventLoop() = 0;
    virtual const Clock &clock() const = 0;

    // The message channels, for the Channels dialog's rules. The settings
    // hold the secrets (never to be shown); the statuses are by index, like
    // the settings. Where the program has no channels, none.
    virtual std::vector<ChannelSetting> channelSettings() const { return {}; }
    virtual std::vector<ChannelStatus> channelStatuses() const { return {}; }
    // Stores the channels and uses them from now on; false when the store
    // refused them (nothing changes then).
    virtual bool saveChannelSettings(const std::vector<ChannelSetting> &channels)
    {
        (void)channels;
        return false;
    }
    // Sends a test message to a channel as given, off the loop; done runs
    // on the loop with the outcome and the server's answer. False, and done
    // is not called, where the program has no channels.
    using ChannelTestDone = std::function<void(const channels::DeliveryFailure &failure, const std::string &answer)>;
    virtual bool sendChannelTest(const ChannelSetting &channel, ChannelTestDone done)
    {
        (void)channel;
        (void)done;
        return false;
    }
    // Told on the loop whenever a channel's state changed; empty: no one.
    virtual void setChannelsListener(std::function<void()> changed) { (void)changed; }
};

} // namespace vigilon
