// SPDX-License-Identifier: MIT
// What every event loop of the program must do, whatever drives it: timers
// that repeat, restart and die by owner and id, posts from other threads,
// socket watches that may be dropped inside their callbacks, and a connect's
// outcome told once. Each check returns the conditions that failed.
#pragma once

#include "base/Clock.h"
#include "base/EventLoop.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace vigilon::test::contract {

// Runs the loop until done() holds or timeoutMs have passed.
using Run = std::function<void(const std::function<bool()> &done, int timeoutMs)>;
using Failures = std::vector<std::string>;

#define CONTRACT_CHECK(condition)                                                                                    \
    do {                                                                                                             \
        if (!(condition))                                                                                            \
            failures.push_back(std::string(__func__) + ": " + #condition);                                           \
    } while (0)

// Sockets as the loop takes them; the loop has started the socket library.
#ifdef _WIN32
using socklen_t = int;
constexpr int kConnectionRefused = WSAECONNREFUSED;
inline int streamSocket(bool nonBlocking)
{
    const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    u_long on = nonBlocking ? 1 : 0;
    ioctlsocket(s, FIONBIO, &on);
    return static_cast<int>(s);
}
inline void closeSocket(int fd) { closesocket(static_cast<SOCKET>(fd)); }
inline int sendByte(int fd) { return send(static_cast<SOCKET>(fd), "x", 1, 0); }
inline int readByte(int fd)
{
    char c;
    return recv(static_cast<SOCKET>(fd), &c, 1, 0);
}
#else
constexpr int kConnectionRefused = ECONNREFUSED;
inline int streamSocket(bool nonBlocking)
{
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
}
inline void closeSocket(int fd) { close(fd); }
inline int sendByte(int fd) { return static_cast<int>(write(fd, "x", 1)); }
inline int readByte(int fd)
{
    char c;
    return static_cast<int>(read(fd, &c, 1));
}
#endif

// A listening socket on loopback (backlog 0: none), its address in address.
inline int listener(sockaddr_in &address, int backlog)
{
    const int fd = streamSocket(false);
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    if (backlog > 0)
        listen(fd, backlog);
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    return fd;
}

// A connected pair of stream sockets.
inline bool socketPair(int fds[2])
{
    sockaddr_in address{};
    const int server = listener(address, 1);
    fds[1] = streamSocket(false);
    const bool connected = connect(fds[1], reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    fds[0] = connected ? static_cast<int>(accept(server, nullptr, nullptr)) : -1;
    closeSocket(server);
    return connected && fds[0] != -1;
}

inline Failures timersRepeatRestartAndDieByOwnerAndId(EventLoop &loop, const Run &run)
{
    Failures failures;
    int a = 0, b = 0, other = 0, ownerA = 0, ownerB = 0;
    loop.setTimer(&ownerA, 1, 10, [&] { ++a; });
    loop.setTimer(&ownerA, 2, 10, [&] {
        // A callback may kill its own timer.
        ++b;
        loop.killTimer(&ownerA, 2);
    });
    loop.setTimer(&ownerB, 1, 10, [&] { ++other; });
    run([&] { return a >= 3; }, 2000);
    CONTRACT_CHECK(a >= 3 && b == 1 && other >= 1);
    CONTRACT_CHECK(!loop.hasTimer(&ownerA, 2) && loop.hasTimer(&ownerB, 1));
    // Setting a timer again restarts it with the new period and callback.
    int replaced = 0;
    loop.setTimer(&ownerA, 1, 1000, [&] { ++replaced; });
    const int before = a;
    run([] { return false; }, 50);
    CONTRACT_CHECK(a == before && replaced == 0);
    loop.killTimers(&ownerA);
    loop.killTimer(&ownerA, 7); // harmless
    CONTRACT_CHECK(!loop.hasTimer(&ownerA, 1) && loop.hasTimer(&ownerB, 1));
    loop.killTimers(&ownerB);
    CONTRACT_CHECK(!loop.hasTimer(&ownerB, 1));
    return failures;
}

// Many owners' timers, each set several times over: killing one by key
// (an owner's first, last or one between), or all of one owner's, stops
// just those; every other one keeps firing.
inline Failures killingOneTimerAmongManyLeavesTheOthers(EventLoop &loop, const Run &run)
{
    Failures failures;
    constexpr int kOwners = 60;
    constexpr unsigned kIds = 3;
    int owners[kOwners];
    int fired[kOwners][kIds] = {};
    for (int round = 0; round < 3; ++round)
        for (int i = 0; i < kOwners; ++i)
            for (unsigned id = 0; id < kIds; ++id)
                loop.setTimer(&owners[i], id, 5 + id, [&fired, i, id] { ++fired[i][id]; });
    const auto killed = [](int i, unsigned id) {
        return i % 4 == 1 || (i % 2 == 0 && id == 0) || (i % 3 == 0 && id == 1);
    };
    for (int i = 0; i < kOwners; i += 2)
        loop.killTimer(&owners[i], 0);
    for (int i = 0; i < kOwners; i += 3)
        loop.killTimer(&owners[i], 1);
    for (int i = 1; i < kOwners; i += 4)
        loop.killTimers(&owners[i]);
    const auto allLiveFired = [&] {
        for (int i = 0; i < kOwners; ++i)
            for (unsigned id = 0; id < kIds; ++id)
                if (!killed(i, id) && fired[i][id] < 2)
                    return false;
        return true;
    };
    run(allLiveFired, 3000);
    CONTRACT_CHECK(allLiveFired());
    for (int i = 0; i < kOwners; ++i) {
        for (unsigned id = 0; id < kIds; ++id)
            CONTRACT_CHECK(killed(i, id) == (fired[i][id] == 0 && !loop.hasTimer(&owners[i], id)));
        loop.killTimers(&owners[i]);
    }
    return failures;
}

// Sockets that became ready while the loop was held up are served before a
// timer that fell due meanwhile, even when serving them takes a while: a
// check whose answer came is not failed by its timeout.
inline Failures readySocketsGoBeforeTimersDueMeanwhile(EventLoop &loop, const Run &run)
{
    Failures failures;
    constexpr int kPairs = 3;
    int pairs[kPairs][2];
    for (auto &pair : pairs)
        CONTRACT_CHECK(socketPair(pair) && sendByte(pair[1]) == 1);
    if (!failures.empty())
        return failures;
    std::string order;
    int owner = 0;
    loop.setTimer(&owner, 1, 1, [&] {
        order += 't';
        loop.killTimer(&owner, 1);
    });
    const auto now = [] { return SystemClock::instance().monotonicMicros(); };
    for (auto &pair : pairs) {
        const int fd = pair[0];
        loop.watchSocket(fd, EventLoop::Readable, [&, fd](unsigned, int) {
            order += 's';
            readByte(fd);
            loop.unwatchSocket(fd);
            for (const std::uint64_t began = now(); now() < began + 3000;) {
            }
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    run([&] { return order.size() == kPairs + 1; }, 2000);
    CONTRACT_CHECK(order == "ssst");
    for (auto &pair : pairs) {
        closeSocket(pair[0]);
        closeSocket(pair[1]);
    }
    return failures;
}

// Work posted from another thread wakes the loop and runs on the loop's
// thread.
inline Failures postFromAnotherThreadWakesTheLoop(EventLoop &loop, const Run &run)
{
    Failures failures;
    std::atomic<bool> ran{false};
    std::thread::id ranOn;
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        loop.post([&] {
            ranOn = std::this_thread::get_id();
            ran = true;
        });
    });
    run([&] { return ran.load(); }, 5000);
    poster.join();
    CONTRACT_CHECK(ran.load() && ranOn == std::this_thread::get_id());
    return failures;
}

// Work posted on the loop's thread runs after the handler that posted it,
// in the order posted; work that posts itself again does not hold the
// loop: a timer due meanwhile runs.
inline Failures postOnTheLoopsThreadRunsAfterTheHandler(EventLoop &loop, const Run &run)
{
    Failures failures;
    int pair[2];
    CONTRACT_CHECK(socketPair(pair));
    if (!failures.empty())
        return failures;
    std::vector<int> order;
    bool handlerDone = false;
    loop.watchSocket(pair[0], EventLoop::Readable, [&](unsigned, int) {
        readByte(pair[0]);
        loop.unwatchSocket(pair[0]);
        loop.post([&] { order.push_back(handlerDone ? 1 : -1); });
        loop.post([&] { order.push_back(2); });
        handlerDone = true;
    });
    CONTRACT_CHECK(sendByte(pair[1]) == 1);
    run([&] { return order.size() == 2; }, 2000);
    CONTRACT_CHECK((order == std::vector<int>{1, 2}));
    closeSocket(pair[0]);
    closeSocket(pair[1]);

    bool timerRan = false, stopped = false;
    unsigned posts = 0;
    std::function<void()> again = [&] {
        if (!timerRan && ++posts < 10000000)
            loop.post(again);
        else
            stopped = true;
    };
    const int owner = 0;
    loop.setTimer(&owner, 1, 10, [&] {
        timerRan = true;
        loop.killTimer(&owner, 1);
    });
    loop.post(again);
    run([&] { return stopped; }, 5000);
    CONTRACT_CHECK(timerRan && stopped);
    return failures;
}

inline Failures readinessAndUnwatchInsideCallbacks(EventLoop &loop, const Run &run)
{
    Failures failures;
    int pair1[2], pair2[2];
    CONTRACT_CHECK(socketPair(pair1) && socketPair(pair2));
    if (!failures.empty())
        return failures;
    int calls1 = 0, calls2 = 0;
    bool readable = true;
    // Whichever is dispatched first unwatches the other: only one runs.
    loop.watchSocket(pair1[0], EventLoop::Readable, [&](unsigned events, int) {
        readable = readable && (events & EventLoop::Readable);
        ++calls1;
        loop.unwatchSocket(pair2[0]);
        loop.unwatchSocket(pair1[0]);
    });
    loop.watchSocket(pair2[0], EventLoop::Readable, [&](unsigned, int) {
        ++calls2;
        loop.unwatchSocket(pair1[0]);
        loop.unwatchSocket(pair2[0]);
    });
    CONTRACT_CHECK(sendByte(pair1[1]) == 1 && sendByte(pair2[1]) == 1);
    run([&] { return calls1 + calls2 > 0; }, 2000);
    run([] { return false; }, 50);
    CONTRACT_CHECK(calls1 + calls2 == 1 && readable);
    for (int fd : {pair1[0], pair1[1], pair2[0], pair2[1]})
        closeSocket(fd);
    return failures;
}

// A refused connect is told once, with its error, and the failed socket
// does not keep waking the loop although the watch stays; one that
// succeeds is told with error 0.
inline Failures connectedCarriesTheSocketErrorOnce(EventLoop &loop, const Run &run)
{
    Failures failures;
    sockaddr_in address{};
    closeSocket(listener(address, 0)); // a port with nothing behind it
    for (const bool refused : {true, false}) {
        const int server = refused ? -1 : listener(address, 4);
        const int fd = streamSocket(true);
        connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        // The refused socket is watched for its connect alone: it must not
        // keep waking the loop.
        const unsigned watched = refused ? EventLoop::Connected : EventLoop::Connected | EventLoop::Readable;
        int calls = 0, connected = 0, error = -1;
        loop.watchSocket(fd, watched, [&](unsigned events, int e) {
            ++calls;
            if (events & EventLoop::Connected) {
                ++connected;
                error = e;
            }
        });
        run([&] { return connected > 0; }, 2000);
        run([] { return false; }, 50);
        CONTRACT_CHECK(connected == 1 && (!refused || calls == 1));
        CONTRACT_CHECK(error == (refused ? kConnectionRefused : 0));
        loop.unwatchSocket(fd);
        closeSocket(fd);
        if (server != -1)
            closeSocket(server);
    }
    return failures;
}

// Sockets ready together, each callback busy for 5 ms: every callback is
// told a readiness time from before the first of them began (so a check
// timed from it leaves the others' work out); outside callbacks, none.
inline Failures readinessIsSeenBeforeAnyCallbackRuns(EventLoop &loop, const Run &run)
{
    Failures failures;
    constexpr int kPairs = 3;
    int pairs[kPairs][2];
    for (auto &pair : pairs)
        CONTRACT_CHECK(socketPair(pair) && sendByte(pair[1]) == 1);
    if (!failures.empty())
        return failures;
    const auto now = [] { return SystemClock::instance().monotonicMicros(); };
    std::vector<std::pair<std::uint64_t, std::uint64_t>> calls; // seen, began
    for (auto &pair : pairs) {
        const int fd = pair[0];
        loop.watchSocket(fd, EventLoop::Readable, [&, fd](unsigned, int) {
            calls.emplace_back(loop.readinessSeenMicros(), now());
            readByte(fd);
            loop.unwatchSocket(fd);
            while (now() < calls.back().second + 5000) {
            }
        });
    }
    run([&] { return calls.size() == kPairs; }, 2000);
    CONTRACT_CHECK(calls.size() == kPairs);
    for (const auto &[seen, began] : calls)
        CONTRACT_CHECK(seen != 0 && seen <= calls.front().second);
    CONTRACT_CHECK(loop.readinessSeenMicros() == 0);
    for (auto &pair : pairs) {
        loop.unwatchSocket(pair[0]);
        closeSocket(pair[0]);
        closeSocket(pair[1]);
    }
    return failures;
}

#undef CONTRACT_CHECK

inline Failures all(EventLoop &loop, const Run &run)
{
    Failures failures;
    for (auto check : {timersRepeatRestartAndDieByOwnerAndId, killingOneTimerAmongManyLeavesTheOthers,
                       readySocketsGoBeforeTimersDueMeanwhile, postFromAnotherThreadWakesTheLoop,
                       postOnTheLoopsThreadRunsAfterTheHandler, readinessAndUnwatchInsideCallbacks, connectedCarriesTheSocketErrorOnce,
                       readinessIsSeenBeforeAnyCallbackRuns}) {
        const Failures more = check(loop, run);
        failures.insert(failures.end(), more.begin(), more.end());
    }
    return failures;
}

} // namespace vigilon::test::contract
