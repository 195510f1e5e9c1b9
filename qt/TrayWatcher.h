// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

class QDBusServiceWatcher;

namespace vigilon {

class Monitor;

// Tells the frame when a system tray has (re)appeared, the way the shell's
// "taskbar created" announcement does on Windows. Two kinds of tray exist:
// - the X11 embedding tray: noticed by the MANAGER message a new tray
//   manager sends, and by polling its availability (0 to 1);
// - a StatusNotifierWatcher on the session bus: noticed when its name
//   appears or appears again.
// Both lead to Monitor::onTaskbarCreated() (re-add the icon, "Logon" = 1);
// the two may fire together and are delivered once.
//
// Qt picks the StatusNotifier protocol only when a watcher existed when the
// first tray icon was made and keeps that choice for the process. A watcher
// that appears later therefore shows no icon until the program restarts: in
// service mode the service host does that on "Logon" = 1; otherwise a note
// on standard error says so, once.
//
// The bus is never waited for: until it has answered (see SessionBus), the
// X11 tray is watched, and the watcher's presence is what the bus said last.
//
// When no tray of either kind exists noTrayMs after start, the main dialog is
// shown (also in service mode), so that the program can still be reached and
// ended, and a note says why, once.
class TrayWatcher final : public QObject {
    Q_OBJECT
public:
    struct Options {
        int pollMs = 1000;
        int noTrayMs = 10000;
        // Where the notes go; standard error when empty.
        std::function<void(const std::string &)> note;
    };

    TrayWatcher(Monitor &frame, Options options);
    explicit TrayWatcher(Monitor &frame);
    ~TrayWatcher() override;

    static constexpr const char *kWatcherService = "org.kde.StatusNotifierWatcher";

    // Whether a tray that can show our icon exists now, as last heard.
    bool trayExists() const;
    // Whether a watcher holds its name on the session bus, as last heard.
    bool statusNotifierWatcherPresent() const;
    // Whether the bus has said what it has to say at start (or is known to
    // be missing).
    bool busSettled() const { return busSettled_; }

    // The longest wait for an answer of the bus.
    static constexpr int kBusCallMs = 5000;

signals:
    // Once busSettled() holds.
    void settled();
    // After the frame was told (for tests and diagnostics).
    void taskbarCreated();

private:
    void onBusKnown();
    void pollX11();
    void onWatcherRegistered();
    void schedule();
    void deliver();
    void onNoTrayDeadline();
    void say(const std::string &text);

    Monitor &frame_;
    Options options_;
    QTimer pollTimer_;
    QTimer deliverTimer_;
    QTimer noTrayTimer_;
    std::unique_ptr<QDBusServiceWatcher> busWatcher_;
    class ManagerFilter;
    std::unique_ptr<ManagerFilter> managerFilter_;
    bool x11Available_ = false;
    bool watcherAtStart_ = false;
    bool watcherPresent_ = false;
    bool busSettled_ = false;
    bool restartNoteGiven_ = false;
    bool noTrayNoteGiven_ = false;
    bool pendingWatcher_ = false;
};

} // namespace vigilon
