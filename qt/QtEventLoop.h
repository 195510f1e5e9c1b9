// SPDX-License-Identifier: MIT
#pragma once

#include "base/EventLoop.h"
#include "base/TimerTable.h"

#include <QObject>

#include <cstdint>
#include <unordered_map>
#include <vector>

struct epoll_event;

class QSocketNotifier;
class QTimer;

namespace vigilon {

// The program's EventLoop on Qt's own. Runs on the thread that made it,
// which must be the thread of the QApplication.
//
// However many checks are under way, Qt sees one timer and one socket: the
// timers are kept here (TimerTable) behind one QTimer for the earliest
// deadline, and the sockets sit in an epoll set whose descriptor one
// QSocketNotifier watches. Watching, changing and dropping a socket is one
// epoll_ctl() call at most: a watch for a connect alone is registered once,
// for one event, after which the set holds it disarmed until the socket
// closes (which takes it out) or it is watched for more; killing a timer is
// found by its key. Ready sockets and
// due timers are served in slices of about 2 ms, between which Qt serves
// everything else.
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
    struct Watch {
        unsigned events = 0;
        std::uint32_t serial = 0;
        SocketCallback callback;
        // In the epoll set, and what it is registered for there (0: nothing
        // any more, a one-shot registration that has fired). A watch that
        // wants nothing is never armed: an error would be reported on every
        // wait.
        bool listed = false;
        std::uint32_t armed = 0;
    };
    // A socket found ready, with the serial of the watch it was found for.
    struct Ready {
        int fd = -1;
        std::uint32_t serial = 0;
        std::uint32_t got = 0;
    };

    // Arms the one QTimer for the earliest deadline.
    void armTimer();
    void onTimer();
    void onEpoll();
    // Takes what the epoll set has ready into ready_.
    void fetchReady();
    // Serves the sockets found ready until the slice is spent.
    void serveReady();
    void resumeLater();
    // Brings the epoll set in line with what the watch wants.
    void relist(int fd, Watch &watch);
    std::uint64_t now() const;

    TimerTable timers_;
    QTimer *timer_ = nullptr;
    std::uint64_t armedFor_ = UINT64_MAX;

    int epoll_ = -1;
    QSocketNotifier *notifier_ = nullptr;
    std::unordered_map<int, Watch> watches_;
    std::uint32_t serial_ = 0;
    std::vector<Ready> ready_;
    // What epoll_wait fills, kept from pass to pass: as large as the set,
    // it would otherwise be allocated and cleared anew by every pass.
    std::vector<epoll_event> events_;
    std::size_t nextReady_ = 0;
    // When the sockets in ready_ were found ready.
    std::uint64_t readySeen_ = 0;
    bool resumeQueued_ = false;
    // The readiness time of the socket callback that runs; 0 outside.
    std::uint64_t seenMicros_ = 0;
};

} // namespace vigilon
