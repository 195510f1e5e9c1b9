// SPDX-License-Identifier: MIT
#pragma once

#include "base/MonitorPort.h"
#include "base/ResponseGraph.h"
#include "base/TextFormat.h"
#include "base/WindowLayout.h"
#include "graph/ResponseGraphParams.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace vigilon {

class DialogFace;
class MainDialogController;
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
// The Channels dialog.
constexpr unsigned CmdChannels = 20007;

// The tray menu's quiet commands (see trayQuietItems).
constexpr unsigned CmdQuietAllHour = 32780;
constexpr unsigned CmdQuietAllEightHours = 32781;
constexpr unsigned CmdQuietAllUntilResumed = 32782;
constexpr unsigned CmdResumeAll = 32783;

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
    // HTTP and HTTPS: the request and the content rule.
    HttpRequest request;
    // The share of its checks that answered over the last 24 hours, 0 to
    // 1; negative where the history knows none.
    double uptimeDay = -1;
    // UDP: its mode (UdpMode), payload and expected bytes as stored.
    std::uint32_t udpMode = UdpSendOnly;
    std::string udpPayload;
    std::string udpExpect;
    // Its own interval (s), retry limit and timeout (ms); 0 for none.
    std::uint32_t intervalSeconds = 0;
    std::uint32_t retryLimit = 0;
    std::uint32_t timeoutMs = 0;
    // DNS: the name asked for, the record type and the expected answers as
    // stored.
    std::string dnsName;
    std::string dnsType;
    std::string dnsExpect;
    // Push: the secret of its heartbeat URL. Every entry: its stable id.
    std::string pushToken;
    std::string stableId;
    // Quiet periods: the one set by hand (MonitorPort::quietUntil), the
    // weekly windows in their text form, and whether it is quiet now.
    std::int64_t quietUntil = 0;
    std::string quietWindows;
    bool quiet = false;
    // The message channels it uses, by index; none for every channel.
    std::optional<std::vector<std::uint32_t>> channels;
};

// An entry's settings as the port settings dialog yields them.
struct EntrySettings {
    std::uint32_t port = 0;
    std::uint32_t protocol = GenericTcp;
    std::string command;
    std::uint32_t threshold = 0;
    std::uint32_t certWarnDays = DefaultCertWarnDays;
    // The display name: composed from the kind and port, or the user's own.
    std::string name;
    // The replies that count as alive (HttpStatusRule's text).
    std::string httpStatus = "any";
    // Its own host; empty for the target host.
    std::string host;
    // UDP: its mode (UdpMode), payload and expected bytes as stored.
    std::uint32_t udpMode = UdpSendOnly;
    std::string udpPayload;
    std::string udpExpect;
    HttpRequest request;
    // Its own interval (s), retry limit and timeout (ms); 0 for none.
    std::uint32_t intervalSeconds = 0;
    std::uint32_t retryLimit = 0;
    std::uint32_t timeoutMs = 0;
    // DNS: the name asked for, the record type and the expected answers as
    // stored.
    std::string dnsName;
    std::string dnsType;
    std::string dnsExpect;
    // Push: the secret of its heartbeat URL.
    std::string pushToken;
    // The weekly quiet windows in their text form (parseQuietWindows).
    std::string quietWindows;
    // The message channels it uses, by index; none for every channel.
    std::optional<std::vector<std::uint32_t>> channels;
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

// What the entries' graph windows are made of on a front end: its response
// monitor settings dialog, its graph window and its outage list. The frame
// keeps the windows (see GraphWindows); the front end only makes them.
class GraphWindowMakers {
public:
    virtual ~GraphWindowMakers() = default;
    // Runs the response monitor settings dialog on params; true on OK.
    virtual bool runResponseMonitorDialog(ResponseGraphParams &params) = 0;
    // Makes a graph window, hidden; null when it cannot be made.
    // closeRequest is what the window calls, from the event loop and not
    // from inside one of its own handlers, when it wants to be closed.
    virtual std::unique_ptr<ResponseGraph> createResponseGraph(const ResponseGraphParams &params,
                                                               std::function<void()> closeRequest) = 0;
    // Shows the outage list of an entry (see OutageListController).
    virtual void showOutages(DialogFace &frame, std::uint32_t entryId, const std::string &entryName) = 0;
    // Where a new window may go (see placeBeside); none keeps the window's
    // own place.
    virtual std::optional<PlaceArea> placeArea() const { return std::nullopt; }
};

// A front end's main dialog window as the frame holds it. Its rules are the
// frame's MainDialogController, which the window drives with its events and
// which fills its controls.
class MainDialogWindow {
public:
    virtual void showWindow() = 0;
    virtual void hideWindow() = 0;
    // The frame lets go: nothing reaches the frame from here on, a modal
    // dialog of the window's ends, and the window goes once none of its
    // calls is on the stack (the frame may let go from inside one of the
    // window's handlers: a message box nests the event loop, and the tray's
    // exit runs there).
    virtual void release() = 0;

protected:
    ~MainDialogWindow() = default;
};

// The windows a front end makes for the frame; the frame owns what they
// show and decide.
class FrameUi : public GraphWindowMakers {
public:
    // Loads the tray menu and the four icons; null when they cannot be had.
    virtual std::unique_ptr<TrayIcon> createTrayIcon(Monitor &frame) = 0;
    // Makes the main dialog's window, hidden, over the frame's controller,
    // which it keeps for as long as the window lives and starts on its
    // controls (MainDialogController::init). Null when it cannot be made;
    // else the window goes once the frame releases it.
    virtual MainDialogWindow *createMainDialog(DialogFace &frame,
                                               std::shared_ptr<MainDialogController> controller) = 0;
    virtual std::unique_ptr<AboutBoxView> createAboutBox(Monitor &frame) = 0;
    // Ends the program's event loop once the frame is closed.
    virtual void quit() = 0;
};

} // namespace vigilon
