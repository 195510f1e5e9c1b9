// SPDX-License-Identifier: MIT
#pragma once

#include "app/base/EventLoop.h"

#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <utility>

class QSocketNotifier;
class QTimer;

namespace vigilon {

// The program's EventLoop on Qt's own: a precise QTimer per (owner, id) and
// a pair of QSocketNotifiers per watched socket. Runs on the thread that
// made it, which must be the thread of the QApplication.
class QtEventLoop final : public QObject, public EventLoop {
public:
    QtEventLoop();
    ~QtEventLoop() override;

    void setTimer(TimerOwner owner, unsigned id, unsigned periodMs, TimerCallback callback) override;
    void killTimer(TimerOwner owner, unsigned id) override;
    void killTimers(TimerOwner owner) override;
    bool hasTimer(TimerOwner owner, unsigned id) const override;
    void watchSocket(int fd, unsigned events, SocketCallback callback) override;
    void unwatchSocket(int fd) override;
    void post(std::function<void()> fn) override;
    std::uint64_t readinessSeenMicros() const override { return seenMicros_; }

    std::size_t timerCount() const { return timers_.size(); }
    std::size_t watchCount() const { return watches_.size(); }

private:
    struct Timer {
        QTimer *timer = nullptr;
        std::uint64_t serial = 0;
        TimerCallback callback;
    };
    struct Watch {
        unsigned events = 0;
        std::uint64_t serial = 0;
        SocketCallback callback;
        QSocketNotifier *read = nullptr;
        QSocketNotifier *write = nullptr;
        // When a look at all sockets found this one ready; 0: not yet.
        std::uint64_t notedMicros = 0;
    };
    using TimerKey = std::pair<TimerOwner, unsigned>;

    void fireTimer(const TimerKey &key, std::uint64_t serial);
    void socketActivated(int fd, std::uint64_t serial, bool writeSide);
    void updateNotifiers(Watch &watch);
    // Notes the time for every watched socket that is ready now and has no
    // time yet: Qt calls the notifiers one after the other, each after the
    // others' work, so the first of them looks for all.
    void noteAllReady();
    static void discard(QTimer *timer);
    static void discard(Watch &watch);

    std::map<TimerKey, Timer> timers_;
    std::map<int, Watch> watches_;
    std::uint64_t serial_ = 0;
    // The readiness time of the socket callback that runs; 0 outside.
    std::uint64_t seenMicros_ = 0;
};

} // namespace vigilon
