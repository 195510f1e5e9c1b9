// SPDX-License-Identifier: MIT
#pragma once

#include "base/EventLoop.h"
#include "base/TimerTable.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace vigilon::win {

// The program's EventLoop on the thread's window messages: a hidden message
// window receives one window timer, armed for the earliest of the loop's
// own timers (TimerTable: killing one is found by its key), the sockets'
// WSAAsyncSelect notifications and the posted work, so that everything runs
// on the user-interface thread, also inside the nested loops of message
// boxes and menus.
//
// WSAAsyncSelect notifies edges (FD_WRITE once, FD_READ again only after a
// recv). The loop makes readiness level-triggered anyway: a notification
// only says "look", the readiness itself is taken with a zero-timeout
// WSAPoll before every dispatch, and a socket still ready after its
// callback is looked at again from a short timer, so that a callback that
// leaves its socket ready cannot starve the timers and the input.
//
// The message of a socket waits behind whatever the thread is doing: the
// other checks of a round being started, other sockets' callbacks, painting.
// So a thread of the loop's own waits on every watched socket (WSAPoll) and
// notes when each first shows ready; readinessSeenMicros() gives that time
// to the callback, which then times the check without the wait.
class WinEventLoop final : public EventLoop {
public:
    WinEventLoop();
    ~WinEventLoop() override;
    WinEventLoop(const WinEventLoop &) = delete;
    WinEventLoop &operator=(const WinEventLoop &) = delete;

    void setTimer(TimerOwner owner, unsigned id, unsigned periodMs, TimerCallback callback) override;
    void killTimer(TimerOwner owner, unsigned id) override;
    void killTimers(TimerOwner owner) override;
    bool hasTimer(TimerOwner owner, unsigned id) const override;
    void watchSocket(int fd, unsigned events, SocketCallback callback) override;
    void unwatchSocket(int fd) override;
    void post(std::function<void()> fn) override;
    std::uint64_t readinessSeenMicros() const override { return seenMicros_; }

    // False when the message window could not be made.
    bool valid() const { return window_ != nullptr; }
    HWND window() const { return window_; }
    std::size_t timerCount() const { return timers_.size(); }
    std::size_t watchCount() const { return watches_.size(); }

    // Pumps the thread's messages (with the modeless dialogs' keyboard
    // handling) until done() holds or timeoutMs have passed; returns done().
    // For tests and tools; the program runs its own message loop.
    bool runUntil(const std::function<bool()> &done, unsigned timeoutMs);

    // Handles one message of the thread's loop: the modeless dialogs get
    // theirs first.
    static void dispatch(MSG &msg);

    class Stamper;

private:
    struct Watch {
        unsigned events = 0;
        std::uint64_t serial = 0;
        // The window message of its WSAAsyncSelect notices.
        UINT message = 0;
        SocketCallback callback;
        // A look is queued already.
        bool lookQueued = false;
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Arms the window timer for the earliest deadline.
    void armTimer();
    void onTimer();
    // A socket may be ready: look and dispatch. notified: the WSAAsyncSelect
    // event that brought us here (0 for a queued look), with its error.
    void onSocket(int fd, unsigned notified, int notifiedError, std::uint64_t serial);
    // Queues a look at a socket that may be ready already. The looks queued
    // in one pass of the loop share one message and one poll.
    void queueLook(int fd, Watch &watch);
    void onQueuedLooks();
    // Looks again at a socket that stayed ready, from the next look timer.
    void lookAgainLater(int fd, std::uint64_t serial);
    void onLookTimer();
    void runPosted();
    // The readiness of fd for the watch's events, from a zero-timeout poll.
    static short readiness(int fd, unsigned events);
    // Notes the time for every watched socket that is ready now and that
    // the stamping thread has not noted yet: one look for all of them,
    // before any of their callbacks runs.
    void noteAllReady();
    // Hands fd's watch to the stamping thread again (after a callback, or
    // a look that found nothing), or takes it away when it wants nothing.
    void rearm(int fd);

    HWND window_ = nullptr;
    TimerTable timers_;
    // The deadline the window timer is armed for; UINT64_MAX: none.
    std::uint64_t armedFor_ = UINT64_MAX;
    std::map<int, Watch> watches_;
    std::uint64_t serial_ = 0;
    // The messages of WSAAsyncSelect (wParam socket, lParam event and
    // error): each socket new to the loop takes the next of this range, so
    // that a notice still queued for a socket that was closed since is told
    // apart from those of the socket that got its handle.
    static constexpr UINT kFirstSocketMessage = WM_APP + 16;
    static constexpr UINT kLastSocketMessage = 0xBFFF;
    UINT nextMessage_ = kFirstSocketMessage;
    std::map<int, std::uint64_t> lookAgain_;
    // The queued looks (socket, the watch's serial), and whether their
    // message is on its way.
    std::vector<std::pair<int, std::uint64_t>> looks_;
    bool looksPosted_ = false;
    bool lookTimerArmed_ = false;
    // Started with the first watch; null when the thread could not be made.
    std::unique_ptr<Stamper> stamper_;
    bool stamperTried_ = false;
    // The readiness time of the socket callback that runs; 0 outside.
    std::uint64_t seenMicros_ = 0;

    std::mutex postedMutex_;
    std::deque<std::function<void()>> posted_;
    bool postQueued_ = false;
};

} // namespace vigilon::win
