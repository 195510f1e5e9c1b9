// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace vigilon {

// The desktop session's bus, reached without ever holding the event loop up.
// Connecting to a bus can wait for as long as the bus takes to answer (a
// stopped daemon, a socket that accepts and never answers), and Qt connects
// by itself on the loop's thread to make a tray icon. So at start, before
// anything is made, a short look (at most kAnswerMs, ended early by a stop
// signal) tells whether the bus answers at all. A bus that does not answer
// is left alone for the whole run, by Qt as well, and one line says so;
// otherwise the connection is made on a thread of its own and the loop only
// hears the outcome. Until then, and for good where the bus is silent or
// missing, the parts that use the bus (the tray's watcher, the desktop
// notifications) do without it.
class SessionBus final : public QObject {
    Q_OBJECT
public:
    enum class State { Connecting, Connected, Absent };

    // Makes the one of the program on the loop's thread, before anything
    // that may use the bus: a stop signal's descriptor (stopFd) becoming
    // readable ends the look early. Once only.
    static void begin(int stopFd);
    // The one of the program, begun here when it has not been.
    static SessionBus &instance();

    State state() const { return state_; }
    // The connection; only while state() is Connected.
    QDBusConnection connection() const;
    // Runs fn on the loop once the state is known, at once when it is; never
    // after context has gone.
    void whenKnown(QObject *context, std::function<void()> fn);

    // How long a bus may take to answer the first look, in milliseconds.
    static constexpr int kAnswerMs = 3000;

    // What the first look found at a bus address (DBUS_SESSION_BUS_ADDRESS
    // syntax), whose entries are tried in order up to the first that takes
    // the connection: Answered when that bus answered, Silent when it never
    // did in time, Unreachable when none could be reached, Unknown when an
    // entry of a transport this look cannot make came first (the bus library
    // then tries it itself),
    // Interrupted when stopFd became readable first.
    enum class Look { Answered, Silent, Unreachable, Unknown, Interrupted };
    static Look lookAt(const QByteArray &address, int timeoutMs, int stopFd = -1);

signals:
    void known();

private:
    explicit SessionBus(int stopFd);
    ~SessionBus() override;
    void settle(bool connected);

    struct Shared;
    std::shared_ptr<Shared> shared_;
    State state_ = State::Connecting;
};

} // namespace vigilon
