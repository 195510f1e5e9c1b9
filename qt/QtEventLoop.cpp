// SPDX-License-Identifier: MIT
#include "qt/QtEventLoop.h"

#include "base/Clock.h"

#include <QAbstractEventDispatcher>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vigilon {

namespace {
// How long one go at the sockets or the timers may hold the loop before the
// rest waits for Qt's next pass.
constexpr std::uint64_t kSliceMicros = 2000;

std::uint32_t interestOf(unsigned events)
{
    std::uint32_t want = 0;
    if (events & EventLoop::Readable)
        want |= EPOLLIN;
    if (events & (EventLoop::Writable | EventLoop::Connected))
        want |= EPOLLOUT;
    return want;
}
} // namespace

QtEventLoop::QtEventLoop()
{
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, this, [this] { onTimer(); });

    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0) {
        std::fprintf(stderr, "vigilon: cannot make the event loop's socket set: %s\n", std::strerror(errno));
        return;
    }
    notifier_ = new QSocketNotifier(epoll_, QSocketNotifier::Read, this);
    QObject::connect(notifier_, &QSocketNotifier::activated, this, [this] { onEpoll(); });
    // Standard error, where it is buffered, is out before the loop waits.
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [] { std::fflush(stderr); });
}

QtEventLoop::~QtEventLoop()
{
    delete notifier_;
    if (epoll_ >= 0)
        ::close(epoll_);
}

std::uint64_t QtEventLoop::now() const
{
    return SystemClock::instance().monotonicMicros();
}

void QtEventLoop::setTimer(TimerOwner owner, unsigned id, unsigned periodMs, TimerCallback callback)
{
    const std::uint64_t at = now();
    timers_.set(owner, id, periodMs, std::move(callback), at);
    if (at + std::uint64_t(std::max(1u, periodMs)) * 1000u < armedFor_)
        armTimer();
}

void QtEventLoop::killTimer(TimerOwner owner, unsigned id)
{
    // The QTimer stays armed: waking for nothing costs less than arming.
    timers_.kill(owner, id);
}

void QtEventLoop::killTimers(TimerOwner owner)
{
    timers_.killAll(owner);
}

bool QtEventLoop::hasTimer(TimerOwner owner, unsigned id) const
{
    return timers_.has(owner, id);
}

void QtEventLoop::armTimer()
{
    armedFor_ = timers_.nextDueMicros();
    if (armedFor_ == UINT64_MAX) {
        timer_->stop();
        return;
    }
    const std::uint64_t at = now();
    // Rounded up, so that the timer is due when the QTimer fires.
    const std::uint64_t waitMs = armedFor_ > at ? (armedFor_ - at + 999u) / 1000u : 0;
    timer_->start(static_cast<int>(std::min<std::uint64_t>(waitMs, 0x7fffffff)));
}

void QtEventLoop::onTimer()
{
    armedFor_ = UINT64_MAX;
    const std::uint64_t start = now();
    // What the sockets had to say by now goes before the deadlines: a check
    // whose connect completed while the loop was busy elsewhere is not
    // failed by its timeout. Only what is ready now goes first, so the
    // timers wait for one batch at most.
    if (nextReady_ >= ready_.size())
        fetchReady();
    if (nextReady_ < ready_.size()) {
        serveReady();
        if (nextReady_ < ready_.size()) {
            armedFor_ = 0;
            timer_->start(0);
            return;
        }
    }
    // The timers have what is left of the slice (one runs in any case).
    timers_.runDue(now(), start + kSliceMicros, [this] { return now(); });
    armTimer();
}

void QtEventLoop::relist(int fd, Watch &watch)
{
    if (epoll_ < 0)
        return;
    std::uint32_t want = interestOf(watch.events);
    if (want == 0) {
        // A registration that has fired and is disarmed reports nothing: it
        // may stay until the socket closes, which takes it out of the set.
        if (watch.listed && watch.armed != 0)
            ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
        watch.listed = watch.listed && watch.armed == 0;
        watch.armed = 0;
        return;
    }
    // A connect is reported once: the registration for it alone disarms
    // itself when it fires, and needs no call to be taken back.
    if (watch.events == Connected)
        want |= EPOLLONESHOT;
    epoll_event event{};
    event.events = want;
    event.data.u64 = (std::uint64_t(watch.serial) << 32) | std::uint32_t(fd);
    // A descriptor closed while listed left the set by itself; its number
    // may come back as another socket.
    int rc = ::epoll_ctl(epoll_, watch.listed ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &event);
    if (rc != 0 && errno == ENOENT)
        rc = ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
    else if (rc != 0 && errno == EEXIST)
        rc = ::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &event);
    watch.listed = rc == 0;
    watch.armed = rc == 0 ? want : 0;
    if (rc != 0 && errno == EPERM) {
        // A descriptor that never blocks (a plain file): ready at once, as
        // poll() would say.
        ready_.push_back(Ready{fd, watch.serial, want & ~std::uint32_t(EPOLLONESHOT)});
        resumeLater();
    }
}

void QtEventLoop::watchSocket(int fd, unsigned events, SocketCallback callback)
{
    Watch &watch = watches_[fd];
    watch.events = events;
    watch.serial = ++serial_;
    watch.callback = std::move(callback);
    relist(fd, watch);
}

void QtEventLoop::unwatchSocket(int fd)
{
    const auto it = watches_.find(fd);
    if (it == watches_.end())
        return;
    // Disarmed, the socket reports nothing more; it leaves the set when it
    // closes, or is registered anew by the next watch of its number.
    if (it->second.listed && it->second.armed != 0 && epoll_ >= 0)
        ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    watches_.erase(it);
}

void QtEventLoop::fetchReady()
{
    ready_.clear();
    nextReady_ = 0;
    if (epoll_ < 0)
        return;
    // All that are ready at once, with one reading of the clock taken
    // before any callback runs.
    const std::size_t room = std::max<std::size_t>(watches_.size(), 1);
    if (events_.size() < room)
        events_.resize(room);
    const int got = ::epoll_wait(epoll_, events_.data(), static_cast<int>(room), 0);
    if (got <= 0)
        return;
    readySeen_ = now();
    ready_.reserve(static_cast<std::size_t>(got));
    for (int i = 0; i < got; ++i) {
        const Ready ready{static_cast<int>(events_[i].data.u64 & 0xffffffffu),
                          static_cast<std::uint32_t>(events_[i].data.u64 >> 32), events_[i].events};
        // A one-shot registration that fired is disarmed from now on.
        if (const auto it = watches_.find(ready.fd);
            it != watches_.end() && it->second.serial == ready.serial && (it->second.armed & EPOLLONESHOT))
            it->second.armed = 0;
        ready_.push_back(ready);
    }
}

void QtEventLoop::onEpoll()
{
    if (nextReady_ >= ready_.size())
        fetchReady();
    serveReady();
}

void QtEventLoop::serveReady()
{
    const std::uint64_t start = now();
    while (nextReady_ < ready_.size()) {
        const Ready ready = ready_[nextReady_++];
        const auto it = watches_.find(ready.fd);
        // Unwatched, or watched anew, by an earlier callback.
        if (it == watches_.end() || it->second.serial != ready.serial)
            continue;
        Watch &watch = it->second;
        const bool failed = ready.got & (EPOLLERR | EPOLLHUP);
        unsigned events = 0;
        int error = 0;
        if ((watch.events & Connected) && (ready.got & (EPOLLOUT | EPOLLERR | EPOLLHUP))) {
            // A connect that failed leaves its error on the socket, which
            // the socket reports as an error; writable without one, it is
            // connected and there is nothing to ask.
            if (failed) {
                socklen_t length = sizeof error;
                if (::getsockopt(ready.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                    error = errno;
            }
            events |= Connected;
            watch.events &= ~unsigned(Connected);
            // Watched on for the rest: registered anew only where that is
            // not what the set holds.
            const std::uint32_t rest = interestOf(watch.events);
            if (rest == 0 ? watch.armed != 0 : rest != watch.armed)
                relist(ready.fd, watch);
        }
        if ((watch.events & Writable) && (ready.got & EPOLLOUT))
            events |= Writable;
        if ((watch.events & Readable) && (ready.got & (EPOLLIN | EPOLLERR | EPOLLHUP)))
            events |= Readable;
        if (failed && !(events & Connected))
            events |= Closed;
        if (events == 0)
            continue;
        // Kept alive even if the callback replaces or drops its watch.
        SocketCallback callback = watch.callback;
        const std::uint64_t outer = seenMicros_;
        seenMicros_ = readySeen_;
        callback(events, error);
        seenMicros_ = outer;
        if (nextReady_ < ready_.size() && now() - start > kSliceMicros) {
            resumeLater();
            return;
        }
    }
}

void QtEventLoop::resumeLater()
{
    if (resumeQueued_)
        return;
    resumeQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            resumeQueued_ = false;
            serveReady();
        },
        Qt::QueuedConnection);
}

void QtEventLoop::post(std::function<void()> fn)
{
    // Queued to this object: runs on its thread, and never after it is gone.
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

} // namespace vigilon
