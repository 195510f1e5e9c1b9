// SPDX-License-Identifier: MIT
#include "win/WinEventLoop.h"

#include "win/Modeless.h"

#include <winsock2.h>

#include <algorithm>

namespace vigilon::win {

namespace {
constexpr UINT kSocketMessage = WM_APP + 1; // WSAAsyncSelect: wParam socket, lParam event and error
constexpr UINT kLookMessage = WM_APP + 2;   // wParam socket, lParam the watch's serial
constexpr UINT kPostedMessage = WM_APP + 3; // posted work waits
// The look timer's id, apart from the ids setTimer() hands out (from 1 up).
constexpr UINT_PTR kLookTimerId = UINT_PTR(-1);
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
} // namespace

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
        else
            loop->onTimer(wParam);
        return 0;
    case kSocketMessage: {
        const int fd = static_cast<int>(wParam);
        const auto it = loop->watches_.find(fd);
        if (it != loop->watches_.end())
            loop->onSocket(fd, WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam), it->second.serial);
        return 0;
    }
    case kLookMessage: {
        const int fd = static_cast<int>(wParam);
        const auto it = loop->watches_.find(fd);
        if (it != loop->watches_.end() && it->second.serial == static_cast<std::uint64_t>(lParam)) {
            it->second.lookQueued = false;
            loop->onSocket(fd, 0, 0, it->second.serial);
        }
        return 0;
    }
    case kPostedMessage:
        loop->runPosted();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void WinEventLoop::setTimer(TimerOwner owner, unsigned id, unsigned periodMs, TimerCallback callback)
{
    const TimerKey key{owner, id};
    Timer &timer = timers_[key];
    if (timer.windowsId != 0) {
        ::KillTimer(window_, timer.windowsId);
        timerIds_.erase(timer.windowsId);
    }
    // A fresh id each time: a WM_TIMER of the replaced timer that is already
    // queued finds nothing.
    timer.windowsId = nextTimerId_++;
    timer.callback = std::move(callback);
    timerIds_[timer.windowsId] = key;
    ::SetTimer(window_, timer.windowsId, std::max(1u, periodMs), nullptr);
}

void WinEventLoop::killTimer(TimerOwner owner, unsigned id)
{
    const auto it = timers_.find({owner, id});
    if (it == timers_.end())
        return;
    ::KillTimer(window_, it->second.windowsId);
    timerIds_.erase(it->second.windowsId);
    timers_.erase(it);
}

void WinEventLoop::killTimers(TimerOwner owner)
{
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->first.first == owner) {
            ::KillTimer(window_, it->second.windowsId);
            timerIds_.erase(it->second.windowsId);
            it = timers_.erase(it);
        } else {
            ++it;
        }
    }
}

bool WinEventLoop::hasTimer(TimerOwner owner, unsigned id) const
{
    return timers_.count({owner, id}) != 0;
}

void WinEventLoop::onTimer(UINT_PTR windowsId)
{
    const auto idIt = timerIds_.find(windowsId);
    if (idIt == timerIds_.end()) {
        ::KillTimer(window_, windowsId);
        return;
    }
    const auto it = timers_.find(idIt->second);
    if (it == timers_.end())
        return;
    // The callback may kill or reset its own timer.
    TimerCallback callback = it->second.callback;
    callback();
}

void WinEventLoop::watchSocket(int fd, unsigned events, SocketCallback callback)
{
    Watch &watch = watches_[fd];
    watch.events = events;
    watch.serial = ++serial_;
    watch.callback = std::move(callback);
    watch.lookQueued = false;
    WSAAsyncSelect(static_cast<SOCKET>(fd), window_, kSocketMessage, kAllSocketEvents);
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
    watches_.erase(it);
}

void WinEventLoop::queueLook(int fd, Watch &watch)
{
    if (watch.lookQueued)
        return;
    watch.lookQueued = PostMessageW(window_, kLookMessage, static_cast<WPARAM>(fd),
                                    static_cast<LPARAM>(watch.serial)) != 0;
}

short WinEventLoop::readiness(int fd, unsigned events)
{
    short want = 0;
    if (events & Readable)
        want |= POLLRDNORM;
    if (events & (Writable | Connected))
        want |= POLLWRNORM;
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
    const short got = readiness(fd, watch.events);
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
    if (events == 0)
        return;
    // Kept alive even if the callback replaces or removes its watch.
    SocketCallback callback = watch.callback;
    callback(events, error);

    // Still ready after the callback (data left unread, a socket still
    // writable): look again, after what else is queued.
    it = watches_.find(fd);
    if (it != watches_.end() && it->second.serial == serial) {
        const short still = readiness(fd, it->second.events);
        const bool again = ((it->second.events & Readable) && (still & (POLLRDNORM | POLLERR | POLLHUP))) ||
                           ((it->second.events & (Writable | Connected)) && (still & POLLWRNORM));
        if (again)
            lookAgainLater(fd, serial);
    }
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
