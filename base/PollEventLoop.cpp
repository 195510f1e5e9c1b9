// SPDX-License-Identifier: MIT
#include "base/PollEventLoop.h"

#include "base/Clock.h"

#include <algorithm>
#include <climits>
#include <vector>

// The system's sockets and poll(), from base/posix/ or base/windows/.
#include "SystemSockets.h"

namespace vigilon {

namespace {
std::uint64_t nowMicros()
{
    return SystemClock::instance().monotonicMicros();
}
} // namespace

PollEventLoop::PollEventLoop()
{
    openWake();
}

PollEventLoop::~PollEventLoop()
{
    closeWake();
}

void PollEventLoop::setTimer(TimerOwner owner, unsigned id, unsigned periodMs, TimerCallback callback)
{
    timers_.set(owner, id, periodMs, std::move(callback), nowMicros());
}

void PollEventLoop::killTimer(TimerOwner owner, unsigned id)
{
    timers_.kill(owner, id);
}

void PollEventLoop::killTimers(TimerOwner owner)
{
    timers_.killAll(owner);
}

bool PollEventLoop::hasTimer(TimerOwner owner, unsigned id) const
{
    return timers_.has(owner, id);
}

void PollEventLoop::watchSocket(int fd, unsigned events, SocketCallback callback)
{
    Watch &watch = watches_[fd];
    watch.events = events;
    watch.serial = ++serial_;
    watch.callback = std::move(callback);
}

void PollEventLoop::unwatchSocket(int fd)
{
    watches_.erase(fd);
}

void PollEventLoop::post(std::function<void()> fn)
{
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        posted_.push_back(std::move(fn));
    }
    if (wakeWrite_ >= 0)
        sendWake();
}

void PollEventLoop::quit()
{
    quit_ = true;
}

void PollEventLoop::run()
{
    quit_ = false;
    while (!quit_)
        processEvents(UINT_MAX);
}

bool PollEventLoop::runFor(unsigned timeoutMs)
{
    return runUntil([this] { return quit_; }, timeoutMs);
}

bool PollEventLoop::runUntil(const std::function<bool()> &done, unsigned timeoutMs)
{
    quit_ = false;
    const std::uint64_t deadline = nowMicros() + std::uint64_t(timeoutMs) * 1000u;
    while (!done()) {
        const std::uint64_t now = nowMicros();
        if (now >= deadline)
            return done();
        const std::uint64_t leftMs = (deadline - now + 999u) / 1000u;
        processEvents(static_cast<unsigned>(std::min<std::uint64_t>(leftMs, UINT_MAX)));
        if (quit_)
            break;
    }
    return done();
}

int PollEventLoop::waitBudgetMs(unsigned maxWaitMs) const
{
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        if (!posted_.empty())
            return 0;
    }
    std::uint64_t budget = maxWaitMs == UINT_MAX ? std::uint64_t(INT_MAX) : maxWaitMs;
    if (const std::uint64_t earliest = timers_.nextDueMicros(); earliest != UINT64_MAX) {
        const std::uint64_t now = nowMicros();
        // Round up so that the timer is due when poll() returns.
        const std::uint64_t untilDue = earliest > now ? (earliest - now + 999u) / 1000u : 0;
        budget = std::min(budget, untilDue);
    }
    if (wakeRead_ < 0)
        budget = std::min(budget, kMaxWaitWithoutWakeMs);
    return static_cast<int>(std::min<std::uint64_t>(budget, INT_MAX));
}

void PollEventLoop::processEvents(unsigned maxWaitMs)
{
    dispatchSockets(waitBudgetMs(maxWaitMs));
    dispatchTimers();
    dispatchPosted();
}

void PollEventLoop::dispatchSockets(int waitMs)
{
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> serials;
    fds.reserve(watches_.size() + 1);
    for (const auto &[fd, watch] : watches_) {
        short want = 0;
        if (watch.events & Readable)
            want |= POLLIN;
        if (watch.events & (Writable | Connected))
            want |= POLLOUT;
        // A watch left with no events (a connect already reported, nothing
        // else asked for) must not be polled: an error or hang-up would be
        // reported as ready on every pass and spin the loop.
        if (want == 0)
            continue;
        fds.push_back(pollfd{static_cast<decltype(pollfd::fd)>(fd), want, 0});
        serials.push_back(watch.serial);
    }
    const std::size_t watched = fds.size();
    if (wakeRead_ >= 0)
        fds.push_back(pollfd{static_cast<decltype(pollfd::fd)>(wakeRead_), POLLIN, 0});

    if (fds.empty()) {
        if (waitMs > 0)
            idle(waitMs);
        return;
    }
    const int ready = net::pollSockets(fds.data(), fds.size(), waitMs);
    if (ready <= 0)
        return;
    // One reading for every socket of this pass, before any callback runs.
    const std::uint64_t seen = nowMicros();

    for (std::size_t i = 0; i < watched; ++i) {
        const short got = fds[i].revents;
        if (got == 0)
            continue;
        const int fd = static_cast<int>(fds[i].fd);
        auto it = watches_.find(fd);
        // Unwatched, or watched anew, by an earlier callback in this pass.
        if (it == watches_.end() || it->second.serial != serials[i])
            continue;
        Watch &watch = it->second;
        unsigned events = 0;
        int error = 0;
        const bool failed = got & (POLLERR | POLLHUP | POLLNVAL);
        if ((watch.events & Connected) && (got & (POLLOUT | POLLERR | POLLHUP))) {
            socklen_t len = sizeof error;
            if (getsockopt(fds[i].fd, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &len) != 0)
                error = net::lastError();
            events |= Connected;
            watch.events &= ~unsigned(Connected);
        }
        if ((watch.events & Writable) && (got & POLLOUT))
            events |= Writable;
        if ((watch.events & Readable) && (got & (POLLIN | POLLERR | POLLHUP)))
            events |= Readable;
        if (failed && !(events & Connected))
            events |= Closed;
        if (events == 0)
            continue;
        // Keep the callback alive even if it replaces or removes its watch.
        SocketCallback callback = watch.callback;
        const std::uint64_t outer = seenMicros_;
        seenMicros_ = seen;
        callback(events, error);
        seenMicros_ = outer;
    }

    if (wakeRead_ >= 0 && fds.size() > watched && (fds.back().revents & POLLIN))
        drainWake();
}

void PollEventLoop::dispatchTimers()
{
    timers_.runDue(nowMicros(), UINT64_MAX, nowMicros);
}

void PollEventLoop::dispatchPosted()
{
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        batch.swap(posted_);
    }
    for (auto &fn : batch)
        fn();
}

} // namespace vigilon
