// SPDX-License-Identifier: MIT
#include "qt/QtEventLoop.h"

#include "app/base/Clock.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <vector>

#include <poll.h>
#include <sys/socket.h>

namespace vigilon {

QtEventLoop::QtEventLoop() = default;

QtEventLoop::~QtEventLoop()
{
    for (auto &[key, timer] : timers_)
        delete timer.timer;
    for (auto &[fd, watch] : watches_) {
        delete watch.read;
        delete watch.write;
    }
}

// A timer or notifier may be dropped from inside its own signal: stop it
// now and let Qt delete it once the signal has returned.
void QtEventLoop::discard(QTimer *timer)
{
    if (!timer)
        return;
    timer->stop();
    timer->disconnect();
    timer->deleteLater();
}

void QtEventLoop::discard(Watch &watch)
{
    for (QSocketNotifier *notifier : {watch.read, watch.write}) {
        if (!notifier)
            continue;
        notifier->setEnabled(false);
        notifier->disconnect();
        notifier->deleteLater();
    }
    watch.read = watch.write = nullptr;
}

void QtEventLoop::setTimer(TimerOwner owner, unsigned id, unsigned periodMs, TimerCallback callback)
{
    const TimerKey key{owner, id};
    Timer &entry = timers_[key];
    discard(entry.timer);
    entry.serial = ++serial_;
    entry.callback = std::move(callback);
    entry.timer = new QTimer(this);
    entry.timer->setTimerType(Qt::PreciseTimer);
    entry.timer->setInterval(static_cast<int>(std::max(1u, periodMs)));
    const std::uint64_t serial = entry.serial;
    QObject::connect(entry.timer, &QTimer::timeout, this, [this, key, serial] { fireTimer(key, serial); });
    entry.timer->start();
}

void QtEventLoop::fireTimer(const TimerKey &key, std::uint64_t serial)
{
    auto it = timers_.find(key);
    if (it == timers_.end() || it->second.serial != serial)
        return;
    // The callback may kill or replace its own timer.
    TimerCallback callback = it->second.callback;
    callback();
}

void QtEventLoop::killTimer(TimerOwner owner, unsigned id)
{
    auto it = timers_.find({owner, id});
    if (it == timers_.end())
        return;
    discard(it->second.timer);
    timers_.erase(it);
}

void QtEventLoop::killTimers(TimerOwner owner)
{
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->first.first == owner) {
            discard(it->second.timer);
            it = timers_.erase(it);
        } else {
            ++it;
        }
    }
}

bool QtEventLoop::hasTimer(TimerOwner owner, unsigned id) const
{
    return timers_.count({owner, id}) != 0;
}

void QtEventLoop::watchSocket(int fd, unsigned events, SocketCallback callback)
{
    Watch &watch = watches_[fd];
    discard(watch);
    watch.events = events;
    watch.serial = ++serial_;
    watch.callback = std::move(callback);
    watch.notedMicros = 0;
    const std::uint64_t serial = watch.serial;
    watch.read = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    watch.write = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    QObject::connect(watch.read, &QSocketNotifier::activated, this,
                     [this, fd, serial] { socketActivated(fd, serial, false); });
    QObject::connect(watch.write, &QSocketNotifier::activated, this,
                     [this, fd, serial] { socketActivated(fd, serial, true); });
    updateNotifiers(watch);
}

void QtEventLoop::updateNotifiers(Watch &watch)
{
    // A watch with nothing left to report listens to nothing, so a socket
    // in error cannot wake the loop over and over.
    if (watch.read)
        watch.read->setEnabled((watch.events & Readable) != 0);
    if (watch.write)
        watch.write->setEnabled((watch.events & (Writable | Connected)) != 0);
}

void QtEventLoop::unwatchSocket(int fd)
{
    auto it = watches_.find(fd);
    if (it == watches_.end())
        return;
    discard(it->second);
    watches_.erase(it);
}

void QtEventLoop::socketActivated(int fd, std::uint64_t serial, bool writeSide)
{
    auto it = watches_.find(fd);
    if (it == watches_.end() || it->second.serial != serial)
        return;
    // Up to this many watched sockets all are looked at before every
    // callback; beyond, only when this one has no time yet.
    constexpr std::size_t kLookAtAllUpTo = 64;
    if (it->second.notedMicros == 0 || watches_.size() <= kLookAtAllUpTo) {
        noteAllReady();
        it = watches_.find(fd);
    }
    Watch &watch = it->second;
    const std::uint64_t seen =
        watch.notedMicros != 0 ? watch.notedMicros : SystemClock::instance().monotonicMicros();
    watch.notedMicros = 0;
    pollfd p{fd, POLLIN | POLLOUT, 0};
    ::poll(&p, 1, 0);
    const bool failed = p.revents & (POLLERR | POLLHUP | POLLNVAL);

    unsigned events = 0;
    int error = 0;
    if (writeSide) {
        if (watch.events & Connected) {
            socklen_t length = sizeof error;
            if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
            events |= Connected;
            watch.events &= ~unsigned(Connected);
        }
        if ((watch.events & Writable) && (p.revents & POLLOUT))
            events |= Writable;
    } else if (watch.events & Readable) {
        events |= Readable;
    }
    if (failed && !(events & Connected))
        events |= Closed;
    updateNotifiers(watch);
    if (events == 0)
        return;
    SocketCallback callback = watch.callback;
    const std::uint64_t outer = seenMicros_;
    seenMicros_ = seen;
    callback(events, error);
    seenMicros_ = outer;
}

void QtEventLoop::noteAllReady()
{
    std::vector<pollfd> fds;
    fds.reserve(watches_.size());
    for (const auto &[fd, watch] : watches_) {
        short want = 0;
        if (watch.events & Readable)
            want |= POLLIN;
        if (watch.events & (Writable | Connected))
            want |= POLLOUT;
        if (want != 0 && watch.notedMicros == 0)
            fds.push_back(pollfd{fd, want, 0});
    }
    if (fds.empty() || ::poll(fds.data(), fds.size(), 0) <= 0)
        return;
    const std::uint64_t now = SystemClock::instance().monotonicMicros();
    for (const pollfd &p : fds) {
        // Ready for what the watch wants; a hang-up is the end of the data.
        if ((p.revents & p.events) || ((p.events & POLLIN) && (p.revents & POLLHUP)))
            watches_[p.fd].notedMicros = now;
    }
}

void QtEventLoop::post(std::function<void()> fn)
{
    // Queued to this object: runs on its thread, and never after it is gone.
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

} // namespace vigilon
