// SPDX-License-Identifier: MIT
#pragma once

#include "base/MonitorPort.h"
#include "base/TextFormat.h"
#include "base/WindowLayout.h"
#include "graph/ResponseGraphParams.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vigilon {

class Monitor;

// Resource ids of the tray icons and commands of the tray menu.
namespace res {
constexpr unsigned IconRunning = 143;
constexpr unsigned IconWarning = 144;
constexpr unsigned IconFailed = 145;
constexpr unsigned IconStopped = 146;

constexpr unsigned MenuTray = 134;
constexpr unsigned CmdToggleMonitoring = 32771;
constexpr unsigned CmdHelp = 32772;
constexpr unsigned CmdToggleDialog = 32775;
constexpr unsigned CmdAbout = 20006;
constexpr unsigned CmdExit = 20001;

constexpr unsigned DialogAbout = 100;
constexpr unsigned DialogMain = 102;
} // namespace res

// What a front end is shown of one entry: a copy, never a reference into
// the frame's list.
struct EntryView {
    std::uint32_t id = 0;
    // The last row, "追加", through which entries are added.
    bool placeholder = false;
    bool active = false;
    std::uint32_t port = 0;
    std::uint32_t protocol = GenericTcp;
    std::uint32_t threshold = 0;
    std::uint32_t errorCount = 0;
    std::uint32_t lastErrorTime = 0;
    std::uint32_t responseTime = 0;
    std::uint32_t certWarnDays = DefaultCertWarnDays;
    // HTTPS and TLS: the days the certificate had left when last seen.
    bool certDaysKnown = false;
    std::int32_t certDaysLeft = 0;
    PortStatus status = Idle;
    // Why the last failed check failed, and when.
    FailureReason lastReason;
    std::uint32_t lastReasonTime = 0;
    std::string name;
    std::string command;
    // The replies that count as alive (HttpStatusRule's text).
    std::string httpStatus = "any";
    // Its own host (empty for the target host), and the host it checks.
    std::string host;
    std::string checkedHost;
    // The share of its checks that answered over the last 24 hours, 0 to
    // 1; negative where the history knows none.
    double uptimeDay = -1;
};

// An entry's settings as the port settings dialog yields them.
struct EntrySettings {
    std::uint32_t port = 0;
    std::uint32_t protocol = GenericTcp;
    std::string command;
    std::uint32_t threshold = 0;
    std::uint32_t certWarnDays = DefaultCertWarnDays;
    // The composed display name.
    std::string name;
    // The replies that count as alive (HttpStatusRule's text).
    std::string httpStatus = "any";
    // Its own host; empty for the target host.
    std::string host;
};

// What the main dialog is handed when the frame creates it.
struct MainDialogInit {
    bool serviceMode = false;
    std::string targetHost;
    std::string localHostName;
    std::uint32_t intervalSeconds = 5;
    std::uint32_t retryLimit = 1;
    // The window and its list as the last run left them.
    WindowLayout layout;
};

// The operations of the main dialog that the frame and the engine use. Rows
// are the places of the entries in the frame's list.
class MainDialogView {
public:
    virtual ~MainDialogView() = default;
    virtual void show() = 0;
    virtual void hide() = 0;
    // The dialog's copy of the frame's running state.
    virtual void setMonitoring(bool running) = 0;
    virtual void updateStateControls() = 0;
    // Refreshes the status text (stopped, or running with the elapsed time).
    virtual void updateStatusText(bool running) = 0;
    // Writes one entry into its row.
    virtual void updateRow(int row, const EntryView &entry) = 0;
    // Sets only the image of a row's first column.
    virtual void setRowImage(int row, int image) = 0;
};

class AboutBoxView {
public:
    virtual ~AboutBoxView() = default;
    virtual void show() = 0;
    virtual void hide() = 0;
};

// The notification-area icon with its menu. The icon's menu commands and
// clicks come back to the frame through Monitor::onCommand().
class TrayIcon {
public:
    virtual ~TrayIcon() = default;
    // Shows the icon; false when the system has no place for it now.
    virtual bool add(unsigned icon, const std::string &tip) = 0;
    // icon 0 keeps the current image.
    virtual void modify(unsigned icon, const std::string &tip) = 0;
    virtual void remove() = 0;
    virtual void setItemChecked(unsigned command, bool checked) = 0;
    virtual void setItemEnabled(unsigned command, bool enabled) = 0;
    // Shows a desktop notification (a warning when failure); where the
    // system has none to show, nothing happens.
    virtual void notify(const std::string &summary, const std::string &body, bool failure)
    {
        (void)summary;
        (void)body;
        (void)failure;
    }
    // The longest tip the system shows whole, as it counts it: the
    // notification area's 128 UTF-16 units, the terminator included.
    virtual TextLimit tipLimit() const { return {127, TextUnit::Utf16Units}; }
    // The longest title and text of a notification that the system shows
    // whole; where it takes any length, no limit.
    virtual TextLimit noticeSummaryLimit() const { return {SIZE_MAX, TextUnit::Characters}; }
    virtual TextLimit noticeBodyLimit() const { return {SIZE_MAX, TextUnit::Characters}; }
};

// Makes the frame's windows; implemented by the user interface.
class FrameUi {
public:
    virtual ~FrameUi() = default;
    // Loads the tray menu and the four icons; null when they cannot be had.
    virtual std::unique_ptr<TrayIcon> createTrayIcon(Monitor &frame) = 0;
    virtual std::unique_ptr<MainDialogView> createMainDialog(Monitor &frame, const MainDialogInit &init) = 0;
    virtual std::unique_ptr<AboutBoxView> createAboutBox(Monitor &frame) = 0;
    // An entry's graph window: the response monitor settings dialog on
    // these defaults, then the window (see GraphWindows). stillWanted tells,
    // after the dialog, whether the entry is still there to be watched.
    virtual void openResponseGraph(std::uint32_t entryId, const ResponseGraphParams &defaults,
                                   std::function<bool()> stillWanted) = 0;
    // A check's sample for the entry's graph window, if one is open.
    virtual void responseSample(std::uint32_t entryId, std::uint32_t valueMs) = 0;
    // Why the entry failed, for its graph window; empty once it answers.
    virtual void responseReason(std::uint32_t entryId, const std::string &line)
    {
        (void)entryId;
        (void)line;
    }
    // The entry goes (or the program ends): its window, if any, closes.
    virtual void closeResponseGraph(std::uint32_t entryId) = 0;
    // Ends the program's event loop once the frame is closed.
    virtual void quit() = 0;
};

} // namespace vigilon
