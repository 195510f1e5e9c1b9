// SPDX-License-Identifier: MIT
#pragma once

#include "base/EventLoop.h"
#include "base/TimerTable.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

namespace vigilon {

// An EventLoop on poll(), for headless tools, the service host, tests and
// benchmarks. Timers are kept on the monotonic clock and sleep exactly until
// the next deadline.
class PollEventLoop final : public EventLoop {
public:
    PollEventLoop();
    ~PollEventLoop() override;
    PollEventLoop(const PollEventLoop &) = delete;
    PollEventLoop &operator=(const PollEventLoop &) = delete;

    void setTimer(TimerOwner owner, unsigned id, unsigned periodMs, TimerCallback callback) override;
    void killTimer(TimerOwner owner, unsigned id) override;
    void killTimers(TimerOwner owner) override;
    bool hasTimer(TimerOwner owner, unsigned id) const override;
    void watchSocket(int fd, unsigned events, SocketCallback callback) override;
    void unwatchSocket(int fd) override;
    void post(std::function<void()> fn) override;
    std::uint64_t readinessSeenMicros() const override { return seenMicros_; }

    // Runs until quit() is called.
    void run();
    // Runs until quit() or until timeoutMs have passed; true when quit() ended it.
    bool runFor(unsigned timeoutMs);
    // Runs until done() holds (checked after every dispatch) or timeoutMs
    // have passed; returns done().
    bool runUntil(const std::function<bool()> &done, unsigned timeoutMs);
    // Handles what is ready now, or waits at most maxWaitMs for something.
    void processEvents(unsigned maxWaitMs);
    void quit();

    std::size_t timerCount() const { return timers_.size(); }
    std::size_t watchCount() const { return watches_.size(); }

private:
    struct Watch {
        unsigned events = 0;
        std::uint64_t serial = 0;
        SocketCallback callback;
    };

    void dispatchSockets(int waitMs);
    void dispatchTimers();
    void dispatchPosted();
    int waitBudgetMs(unsigned maxWaitMs) const;

    // The wake-up channel of post(), made one way per system
    // (posix/PollWake.cpp, windows/PollWake.cpp).
    void openWake();
    void closeWake();
    void sendWake();
    void drainWake();
    // Waits with nothing to poll.
    static void idle(int waitMs);
    // The longest wait when the channel could not be made.
    static const std::uint64_t kMaxWaitWithoutWakeMs;

    TimerTable timers_;
    std::map<int, Watch> watches_;
    std::uint64_t serial_ = 0;
    bool quit_ = false;
    // When poll() came back with the sockets now being dispatched; 0 outside.
    std::uint64_t seenMicros_ = 0;

    mutable std::mutex postedMutex_;
    std::deque<std::function<void()>> posted_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    bool started_ = false; // Windows: the socket library was started for the wake-up socket
};

} // namespace vigilon
