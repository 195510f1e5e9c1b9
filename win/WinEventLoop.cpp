// SPDX-License-Identifier: MIT
#include "win/WinEventLoop.h"

#include "base/Clock.h"
#include "base/windows/LoopbackWake.h"
#include "win/Modeless.h"

#include <winsock2.h>

#include <algorithm>
#include <thread>
#include <unordered_map>
#include <vector>

namespace vigilon::win {

namespace {
constexpr UINT kLookMessage = WM_APP + 2;   // the queued looks
constexpr UINT kPostedMessage = WM_APP + 3; // posted work waits
// The window timer of the loop's timers, and the look timer.
constexpr UINT_PTR kDueTimerId = 1;
constexpr UINT_PTR kLookTimerId = 2;
// How long one go at the due timers may hold the thread.
constexpr std::uint64_t kSliceMicros = 2000;
// Up to this many watched sockets the loop looks at all of them before
// every socket callback.
constexpr std::size_t kLookAtAllUpTo = 64;
constexpr long kAllSocketEvents = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE | FD_ACCEPT | FD_OOB;
const wchar_t kClassName[] = L"VigilonEventLoop";

ATOM registerClass(WNDPROC proc)
{
    static const ATOM atom = [proc] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc);
    }();
    return atom;
}
// What a watch waits for, in WSAPoll's terms.
short pollEvents(unsigned events)
{
    short want = 0;
    if (events & EventLoop::Readable)
        want |= POLLRDNORM;
    if (events & (EventLoop::Writable | EventLoop::Connected))
        want |= POLLWRNORM;
    return want;
}
} // namespace

// The thread that notes when each watched socket first shows ready. A
// socket is handed to it armed; the first time it shows ready (or in error)
// it is taken out of the wait, with the time noted when it was ready for
// what its watch wants, until the loop has run its callback and arms it
// again. So a socket that stays ready costs one look per callback, and an
// error, which nobody times, is noted with no time at all.
class WinEventLoop::Stamper {
public:
    Stamper()
    {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
            return;
        started_ = true;
        // A byte on this socket ends the thread's wait when the set of
        // armed sockets has changed.
        wake_ = net::openLoopbackWake();
        thread_ = std::thread([this] { run(); });
    }
    ~Stamper()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake();
        if (thread_.joinable())
            thread_.join();
        if (wake_ != INVALID_SOCKET)
            closesocket(wake_);
        if (started_)
            WSACleanup();
    }
    Stamper(const Stamper &) = delete;
    Stamper &operator=(const Stamper &) = delete;

    bool running() const { return thread_.joinable(); }

    // Each of these is O(1): the thread's own poll set takes the change
    // from changed_ at its next pass, and one wake-up serves a whole batch.
    void arm(int fd, std::uint64_t serial, short want)
    {
        bool wakeNow = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stamps_.erase(fd);
            if (want == 0)
                armed_.erase(fd);
            else
                armed_[fd] = Armed{serial, want};
            changed_.push_back(fd);
            wakeNow = want != 0 && !wakeSent_;
            wakeSent_ = wakeSent_ || wakeNow;
        }
        if (wakeNow)
            wake();
    }
    // A socket left out needs no wake-up: the thread drops it at its next
    // pass, and an answer for it meanwhile is not taken.
    void disarm(int fd)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_.erase(fd);
        stamps_.erase(fd);
        changed_.push_back(fd);
    }
    // Notes a readiness that the loop saw itself before the thread did.
    void note(int fd, std::uint64_t serial, std::uint64_t micros)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = armed_.find(fd);
        if (it == armed_.end() || it->second.serial != serial)
            return;
        armed_.erase(it);
        changed_.push_back(fd);
        stamps_[fd] = Stamp{serial, micros};
    }
    // When fd's watch of that serial was first seen ready, and forgets it;
    // 0 when the thread has not seen it so.
    std::uint64_t take(int fd, std::uint64_t serial)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = stamps_.find(fd);
        if (it == stamps_.end())
            return 0;
        const Stamp stamp = it->second;
        stamps_.erase(it);
        return stamp.serial == serial ? stamp.micros : 0;
    }

private:
    struct Armed {
        std::uint64_t serial = 0;
        short want = 0;
    };
    struct Stamp {
        std::uint64_t serial = 0;
        std::uint64_t micros = 0;
    };

    void wake()
    {
        if (wake_ != INVALID_SOCKET)
            net::sendWake(wake_);
    }

    // The thread's poll set: the armed sockets in no order, the wake-up
    // socket last, and where each socket sits.
    struct PollSet {
        std::vector<WSAPOLLFD> fds;
        std::vector<std::uint64_t> serials;
        std::unordered_map<int, std::size_t> at;

        void put(int fd, const Armed &armed)
        {
            const auto [it, added] = at.try_emplace(fd, fds.size());
            if (added) {
                fds.push_back(WSAPOLLFD{static_cast<SOCKET>(fd), armed.want, 0});
                serials.push_back(armed.serial);
            } else {
                fds[it->second].events = armed.want;
                serials[it->second] = armed.serial;
            }
        }
        // Moves the last socket into the gap.
        void drop(int fd)
        {
            const auto it = at.find(fd);
            if (it == at.end())
                return;
            const std::size_t gap = it->second;
            at.erase(it);
            if (gap + 1 != fds.size()) {
                fds[gap] = fds.back();
                serials[gap] = serials.back();
                at[static_cast<int>(fds[gap].fd)] = gap;
            }
            fds.pop_back();
            serials.pop_back();
        }
    };

    // Brings the poll set in line with what changed since the last pass;
    // under the lock.
    void sync(PollSet &set)
    {
        for (const int fd : changed_) {
            const auto it = armed_.find(fd);
            if (it == armed_.end())
                set.drop(fd);
            else
                set.put(fd, it->second);
        }
        changed_.clear();
        wakeSent_ = false;
    }

    void run()
    {
        PollSet set;
        std::vector<int> done;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (stop_)
                    return;
                sync(set);
            }
            const std::size_t watched = set.fds.size();
            if (wake_ != INVALID_SOCKET)
                set.fds.push_back(WSAPOLLFD{wake_, POLLRDNORM, 0});
            // Without a wake-up socket a changed set is seen at the next pass.
            const INT waitMs = wake_ != INVALID_SOCKET ? 1000 : 10;
            const int ready = set.fds.empty() ? (Sleep(DWORD(waitMs)), 0)
                                              : WSAPoll(set.fds.data(), ULONG(set.fds.size()), waitMs);
            const std::uint64_t now = SystemClock::instance().monotonicMicros();
            const bool woken = set.fds.size() > watched && set.fds.back().revents != 0;
            set.fds.resize(watched);
            if (ready < 0) {
                // A socket closed under the wait; the loop takes it out.
                Sleep(1);
                continue;
            }
            if (ready == 0)
                continue;
            if (woken)
                net::drainWake(wake_);
            std::lock_guard<std::mutex> lock(mutex_);
            done.clear();
            for (std::size_t i = 0; i < watched; ++i) {
                const short got = set.fds[i].revents;
                if (got == 0)
                    continue;
                const int fd = static_cast<int>(set.fds[i].fd);
                // Left out or armed anew meanwhile: the next pass's sync
                // has it.
                const auto it = armed_.find(fd);
                if (it == armed_.end() || it->second.serial != set.serials[i])
                    continue;
                done.push_back(fd);
                // Ready for what the watch wants (a hang-up is the end of
                // the data, there to be read): noted. An error alone is not.
                const short want = it->second.want;
                if ((got & want) || ((want & POLLRDNORM) && (got & POLLHUP)))
                    stamps_[fd] = Stamp{set.serials[i], now};
                armed_.erase(it);
            }
            // Answered once: out of the set until armed again.
            for (const int fd : done)
                set.drop(fd);
        }
    }

    bool started_ = false;
    SOCKET wake_ = INVALID_SOCKET;
    std::thread thread_;
    std::mutex mutex_;
    bool stop_ = false;
    std::unordered_map<int, Armed> armed_;
    std::unordered_map<int, Stamp> stamps_;
    // Sockets whose arming changed since the thread's last pass.
    std::vector<int> changed_;
    // A wake-up is on its way for them.
    bool wakeSent_ = false;
};

WinEventLoop::WinEventLoop()
{
    if (!registerClass(&WinEventLoop::windowProc))
        return;
    window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                              nullptr);
    if (window_)
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

WinEventLoop::~WinEventLoop()
{
    stamper_.reset();
    for (const auto &[fd, watch] : watches_)
        WSAAsyncSelect(static_cast<SOCKET>(fd), window_, 0, 0);
    HWND window = nullptr;
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        std::swap(window, window_);
    }
    if (window) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window); // its timers go with it
    }
}

LRESULT CALLBACK WinEventLoop::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *loop = reinterpret_cast<WinEventLoop *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!loop)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_TIMER:
        if (wParam == kLookTimerId)
            loop->onLookTimer();
        else if (wParam == kDueTimerId)
            loop->onTimer();
        return 0;
    case kLookMessage:
        loop->onQueuedLooks();
        return 0;
    case kPostedMessage:
        loop->runPosted();
        return 0;
    default:
        break;
    }
    if (message >= kFirstSocketMessage && message <= kLastSocketMessage) {
        // A notice of another watch (an earlier socket with this handle,
        // or one unwatched since) is dropped: its event and error are not
        // this socket's.
        const int fd = static_cast<int>(wParam);
        const auto it = loop->watches_.find(fd);
        if (it != loop->watches_.end() && it->second.message == message)
            loop->onSocket(fd, WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam), it->second.serial);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void WinEventLoop::setTimer(TimerOwner owner, unsigned id, unsigned periodMs, TimerCallback callback)
{
    const std::uint64_t now = SystemClock::instance().monotonicMicros();
    timers_.set(owner, id, periodMs, std::move(callback), now);
    if (now + std::uint64_t(std::max(1u, periodMs)) * 1000u < armedFor_)
        armTimer();
}

void WinEventLoop::killTimer(TimerOwner owner, unsigned id)
{
    // The window timer stays armed: waking for nothing costs less.
    timers_.kill(owner, id);
}

void WinEventLoop::killTimers(TimerOwner owner)
{
    timers_.killAll(owner);
}

bool WinEventLoop::hasTimer(TimerOwner owner, unsigned id) const
{
    return timers_.has(owner, id);
}

void WinEventLoop::armTimer()
{
    armedFor_ = timers_.nextDueMicros();
    if (armedFor_ == UINT64_MAX) {
        ::KillTimer(window_, kDueTimerId);
        return;
    }
    const std::uint64_t now = SystemClock::instance().monotonicMicros();
    const std::uint64_t waitMs = armedFor_ > now ? (armedFor_ - now + 999u) / 1000u : 0;
    // Setting it again replaces the one armed before.
    ::SetTimer(window_, kDueTimerId, static_cast<UINT>(std::min<std::uint64_t>(waitMs, 0x7fffffff)), nullptr);
}

void WinEventLoop::onTimer()
{
    ::KillTimer(window_, kDueTimerId);
    armedFor_ = UINT64_MAX;
    const auto now = [] { return SystemClock::instance().monotonicMicros(); };
    const std::uint64_t start = now();
    timers_.runDue(start, start + kSliceMicros, now);
    armTimer();
}

void WinEventLoop::watchSocket(int fd, unsigned events, SocketCallback callback)
{
    const auto [at, added] = watches_.try_emplace(fd);
    Watch &watch = at->second;
    // A socket watched anew keeps its message, and its notices queued
    // already still count; a socket new to the loop takes the next one.
    if (added) {
        watch.message = nextMessage_;
        nextMessage_ = nextMessage_ == kLastSocketMessage ? kFirstSocketMessage : nextMessage_ + 1;
    }
    watch.events = events;
    watch.serial = ++serial_;
    watch.callback = std::move(callback);
    watch.lookQueued = false;
    if (!stamperTried_) {
        stamperTried_ = true;
        stamper_ = std::make_unique<Stamper>();
        if (!stamper_->running())
            stamper_.reset();
    }
    // Armed before anything can make the socket ready: a connect or a send
    // follows the watch.
    if (stamper_)
        stamper_->arm(fd, watch.serial, pollEvents(events));
    WSAAsyncSelect(static_cast<SOCKET>(fd), window_, watch.message, kAllSocketEvents);
    // What is ready already (a connect that finished before the watch, data
    // that came before it) was notified to nobody: look once now.
    queueLook(fd, watch);
}

void WinEventLoop::unwatchSocket(int fd)
{
    const auto it = watches_.find(fd);
    if (it == watches_.end())
        return;
    // Cancels the notifications; the socket stays non-blocking.
    WSAAsyncSelect(static_cast<SOCKET>(fd), window_, 0, 0);
    if (stamper_)
        stamper_->disarm(fd);
    watches_.erase(it);
}

void WinEventLoop::queueLook(int fd, Watch &watch)
{
    if (watch.lookQueued)
        return;
    if (!looksPosted_)
        looksPosted_ = PostMessageW(window_, kLookMessage, 0, 0) != 0;
    if (!looksPosted_)
        return;
    watch.lookQueued = true;
    looks_.emplace_back(fd, watch.serial);
}

void WinEventLoop::onQueuedLooks()
{
    looksPosted_ = false;
    std::vector<std::pair<int, std::uint64_t>> batch;
    batch.swap(looks_);
    // One poll for the whole batch: most of these sockets are still
    // connecting, and only those ready already need their look. The others
    // stay with the stamping thread, armed since their watch began.
    std::vector<WSAPOLLFD> fds;
    std::vector<std::uint64_t> serials;
    fds.reserve(batch.size());
    serials.reserve(batch.size());
    for (const auto &[fd, serial] : batch) {
        const auto it = watches_.find(fd);
        if (it == watches_.end() || it->second.serial != serial)
            continue;
        it->second.lookQueued = false;
        const short want = pollEvents(it->second.events);
        if (want == 0)
            continue;
        fds.push_back(WSAPOLLFD{static_cast<SOCKET>(fd), want, 0});
        serials.push_back(serial);
    }
    if (fds.empty() || WSAPoll(fds.data(), ULONG(fds.size()), 0) <= 0)
        return;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents != 0)
            onSocket(static_cast<int>(fds[i].fd), 0, 0, serials[i]);
    }
}

short WinEventLoop::readiness(int fd, unsigned events)
{
    const short want = pollEvents(events);
    if (want == 0)
        return 0;
    WSAPOLLFD p{static_cast<SOCKET>(fd), want, 0};
    if (WSAPoll(&p, 1, 0) <= 0)
        return 0;
    return p.revents;
}

void WinEventLoop::onSocket(int fd, unsigned notified, int notifiedError, std::uint64_t serial)
{
    auto it = watches_.find(fd);
    if (it == watches_.end() || it->second.serial != serial)
        return;
    Watch &watch = it->second;
    // The thread's note, if it saw the readiness first. Then one look at
    // every watched socket, so that those ready now are timed before this
    // callback's work even where the thread has not come round to them:
    // for a long list only when the thread is behind on this one too.
    std::uint64_t noted = stamper_ ? stamper_->take(fd, serial) : 0;
    if (stamper_ && (noted == 0 || watches_.size() <= kLookAtAllUpTo)) {
        noteAllReady();
        if (noted == 0)
            noted = stamper_->take(fd, serial);
    }
    // A watch for a connect alone learns all it needs from FD_CONNECT and the
    // socket's error: no poll.
    const bool connectOnly = notified == FD_CONNECT && watch.events == Connected;
    const short got = connectOnly ? short(0) : readiness(fd, watch.events);
    const std::uint64_t seen = noted != 0 ? noted : SystemClock::instance().monotonicMicros();
    const bool failed = (got & (POLLERR | POLLHUP | POLLNVAL)) != 0;

    unsigned events = 0;
    int error = 0;
    // Some versions of WSAPoll never show a refused connect; FD_CONNECT
    // always comes, with the error.
    if ((watch.events & Connected) && ((got & (POLLWRNORM | POLLERR | POLLHUP)) || notified == FD_CONNECT)) {
        int length = sizeof error;
        if (getsockopt(static_cast<SOCKET>(fd), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &length) != 0)
            error = WSAGetLastError();
        if (error == 0 && notified == FD_CONNECT)
            error = notifiedError;
        events |= Connected;
        watch.events &= ~unsigned(Connected);
    }
    if ((watch.events & Writable) && (got & POLLWRNORM))
        events |= Writable;
    if ((watch.events & Readable) && (got & (POLLRDNORM | POLLERR | POLLHUP)))
        events |= Readable;
    if (failed && !(events & Connected))
        events |= Closed;
    if (events == 0) {
        rearm(fd);
        return;
    }
    // Kept alive even if the callback replaces or removes its watch.
    SocketCallback callback = watch.callback;
    const std::uint64_t outer = seenMicros_;
    seenMicros_ = seen;
    callback(events, error);
    seenMicros_ = outer;

    // Still ready after the callback (data left unread, a socket still
    // writable): look again, after what else is queued.
    it = watches_.find(fd);
    if (it != watches_.end() && it->second.serial == serial) {
        rearm(fd);
        const short still = readiness(fd, it->second.events);
        const bool again = ((it->second.events & Readable) && (still & (POLLRDNORM | POLLERR | POLLHUP))) ||
                           ((it->second.events & (Writable | Connected)) && (still & POLLWRNORM));
        if (again)
            lookAgainLater(fd, serial);
    }
}

void WinEventLoop::noteAllReady()
{
    std::vector<WSAPOLLFD> fds;
    std::vector<std::uint64_t> serials;
    fds.reserve(watches_.size());
    for (const auto &[fd, watch] : watches_) {
        const short want = pollEvents(watch.events);
        if (want == 0)
            continue;
        fds.push_back(WSAPOLLFD{static_cast<SOCKET>(fd), want, 0});
        serials.push_back(watch.serial);
    }
    if (fds.empty() || WSAPoll(fds.data(), ULONG(fds.size()), 0) <= 0)
        return;
    const std::uint64_t now = SystemClock::instance().monotonicMicros();
    for (std::size_t i = 0; i < fds.size(); ++i) {
        const short got = fds[i].revents;
        if ((got & fds[i].events) || ((fds[i].events & POLLRDNORM) && (got & POLLHUP)))
            stamper_->note(static_cast<int>(fds[i].fd), serials[i], now);
    }
}

void WinEventLoop::rearm(int fd)
{
    const auto it = watches_.find(fd);
    if (stamper_ && it != watches_.end())
        stamper_->arm(fd, it->second.serial, pollEvents(it->second.events));
}

void WinEventLoop::lookAgainLater(int fd, std::uint64_t serial)
{
    lookAgain_[fd] = serial;
    if (!lookTimerArmed_)
        lookTimerArmed_ = ::SetTimer(window_, kLookTimerId, USER_TIMER_MINIMUM, nullptr) != 0;
}

void WinEventLoop::onLookTimer()
{
    ::KillTimer(window_, kLookTimerId);
    lookTimerArmed_ = false;
    std::map<int, std::uint64_t> batch;
    batch.swap(lookAgain_);
    for (const auto &[fd, serial] : batch)
        onSocket(fd, 0, 0, serial);
}

void WinEventLoop::post(std::function<void()> fn)
{
    std::lock_guard<std::mutex> lock(postedMutex_);
    posted_.push_back(std::move(fn));
    if (!postQueued_ && window_)
        postQueued_ = PostMessageW(window_, kPostedMessage, 0, 0) != 0;
}

void WinEventLoop::runPosted()
{
    // One piece of work per message: work that opens a modal loop (a
    // question) does not hold back the work posted after it, which that
    // loop then runs.
    std::function<void()> fn;
    {
        std::lock_guard<std::mutex> lock(postedMutex_);
        postQueued_ = false;
        if (posted_.empty())
            return;
        fn = std::move(posted_.front());
        posted_.pop_front();
        if (!posted_.empty() && window_)
            postQueued_ = PostMessageW(window_, kPostedMessage, 0, 0) != 0;
    }
    fn();
}

void WinEventLoop::dispatch(MSG &msg)
{
    if (dispatchModeless(msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

bool WinEventLoop::runUntil(const std::function<bool()> &done, unsigned timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            break;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
        MSG msg;
        while (!done() && GetTickCount64() < deadline && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return done();
            }
            dispatch(msg);
        }
    }
    return done();
}

} // namespace vigilon::win
