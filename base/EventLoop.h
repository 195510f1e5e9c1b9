// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>

namespace vigilon {

// The one event loop of the program. Everything in Vigilon runs on the thread
// that runs the loop; none of these calls may be made from another thread
// except post(), which is documented below.
//
// Timers behave like window timers: they are addressed by (owner, id), they
// repeat every periodMs until killed, and setting a timer that exists already
// restarts it with the new period and callback. Killing a timer that does not
// exist is harmless, and a callback may kill or reset its own timer.
class EventLoop {
public:
    using TimerOwner = const void *;
    using TimerCallback = std::function<void()>;

    // Socket readiness, as a bit set.
    enum SocketEvent : unsigned {
        Readable = 1u << 0,
        Writable = 1u << 1,
        // A non-blocking connect() finished. It is reported once, with the
        // socket's pending error (0: connected), after which the watch goes on
        // with the remaining bits.
        Connected = 1u << 2,
        // The peer hung up or the socket is in error. Reported with Readable
        // where the descriptor also polls readable.
        Closed = 1u << 3,
    };
    // events: the bits that became ready; error: the pending socket error for
    // Connected, else 0.
    using SocketCallback = std::function<void(unsigned events, int error)>;

    virtual ~EventLoop() = default;

    virtual void setTimer(TimerOwner owner, unsigned id, unsigned periodMs, TimerCallback callback) = 0;
    virtual void killTimer(TimerOwner owner, unsigned id) = 0;
    virtual void killTimers(TimerOwner owner) = 0;
    virtual bool hasTimer(TimerOwner owner, unsigned id) const = 0;

    // Watches fd for the given events until unwatchSocket() or until the
    // events are changed by another watchSocket() on the same fd. The callback
    // may unwatch or close the socket.
    virtual void watchSocket(int fd, unsigned events, SocketCallback callback) = 0;
    virtual void unwatchSocket(int fd) = 0;

    // Inside a socket callback: when the loop first saw the readiness that
    // the callback reports, on SystemClock's monotonic time. A loop takes it
    // for every ready socket before it runs any callback, so that a check
    // timed from here does not count the work of the callbacks that ran
    // before its own (or of whatever held the loop while it waited). 0
    // outside a socket callback, or where the loop cannot tell.
    virtual std::uint64_t readinessSeenMicros() const { return 0; }

    // Runs fn on the loop's thread soon, after the current handler returns.
    // This one may be called from any thread.
    virtual void post(std::function<void()> fn) = 0;
};

} // namespace vigilon
