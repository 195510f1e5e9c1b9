// SPDX-License-Identifier: MIT
#include "app/base/Clock.h"
#include "app/base/PollEventLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace vigilon {
namespace {

// Sockets as the loop takes them; the loop has started the socket library.
#ifdef _WIN32
using socklen_t = int;
constexpr int kConnectionRefused = WSAECONNREFUSED;
int streamSocket(bool nonBlocking)
{
    const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    u_long on = nonBlocking ? 1 : 0;
    ioctlsocket(s, FIONBIO, &on);
    return static_cast<int>(s);
}
void closeSocket(int fd) { closesocket(static_cast<SOCKET>(fd)); }
int sendByte(int fd) { return send(static_cast<SOCKET>(fd), "x", 1, 0); }
// Windows has no socketpair(): a connection over loopback stands in.
int socketPair(int fds[2])
{
    const int listener = streamSocket(false);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        closeSocket(listener);
        return -1;
    }
    fds[1] = streamSocket(false);
    const bool connected = connect(fds[1], reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    fds[0] = connected ? static_cast<int>(accept(listener, nullptr, nullptr)) : -1;
    closeSocket(listener);
    return connected && fds[0] != -1 ? 0 : -1;
}
#else
constexpr int kConnectionRefused = ECONNREFUSED;
int streamSocket(bool nonBlocking)
{
    return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
}
void closeSocket(int fd) { close(fd); }
int sendByte(int fd) { return static_cast<int>(write(fd, "x", 1)); }
int socketPair(int fds[2]) { return socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds); }
#endif

std::uint64_t nowMicros()
{
    return SystemClock::instance().monotonicMicros();
}

TEST(PollEventLoop, TimersRepeatRestartAndDieByOwnerAndId)
{
    PollEventLoop loop;
    int a = 0, b = 0, other = 0;
    int ownerA = 0, ownerB = 0;
    loop.setTimer(&ownerA, 1, 10, [&] { ++a; });
    loop.setTimer(&ownerA, 2, 10, [&] {
        // A callback may kill its own timer.
        ++b;
        loop.killTimer(&ownerA, 2);
    });
    loop.setTimer(&ownerB, 1, 10, [&] { ++other; });
    loop.runFor(55);
    EXPECT_GE(a, 3);
    EXPECT_LE(a, 6);
    EXPECT_EQ(b, 1);
    EXPECT_FALSE(loop.hasTimer(&ownerA, 2));
    EXPECT_TRUE(loop.hasTimer(&ownerB, 1));

    // Setting a timer again restarts it with the new period and callback.
    int replaced = 0;
    loop.setTimer(&ownerA, 1, 1000, [&] { ++replaced; });
    const int before = a;
    loop.runFor(50);
    EXPECT_EQ(a, before);
    EXPECT_EQ(replaced, 0);

    loop.killTimers(&ownerA);
    EXPECT_FALSE(loop.hasTimer(&ownerA, 1));
    EXPECT_TRUE(loop.hasTimer(&ownerB, 1));
    loop.killTimer(&ownerA, 7); // harmless
    loop.killTimers(&ownerB);
    EXPECT_EQ(loop.timerCount(), 0u);
}

TEST(PollEventLoop, TimerSleepsUntilItsDeadline)
{
    PollEventLoop loop;
    std::uint64_t firedAt = 0;
    int owner = 0;
    const std::uint64_t began = nowMicros();
    loop.setTimer(&owner, 9, 30, [&] {
        firedAt = nowMicros();
        loop.killTimer(&owner, 9);
    });
    loop.runUntil([&] { return firedAt != 0; }, 1000);
    ASSERT_NE(firedAt, 0u);
    EXPECT_GE(firedAt - began, 30000u);
}

TEST(PollEventLoop, PostFromAnotherThreadWakesTheLoop)
{
    PollEventLoop loop;
    std::atomic<bool> ran{false};
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        loop.post([&] { ran = true; });
    });
    const bool finished = loop.runUntil([&] { return ran.load(); }, 5000);
    poster.join();
    EXPECT_TRUE(finished);
}

TEST(PollEventLoop, SocketReadinessAndUnwatchInsideCallbacks)
{
    PollEventLoop loop;
    int pair1[2], pair2[2];
    ASSERT_EQ(socketPair(pair1), 0);
    ASSERT_EQ(socketPair(pair2), 0);
    int calls1 = 0, calls2 = 0;
    // Whichever is dispatched first unwatches the other: only one runs.
    loop.watchSocket(pair1[0], EventLoop::Readable, [&](unsigned events, int) {
        EXPECT_TRUE(events & EventLoop::Readable);
        ++calls1;
        loop.unwatchSocket(pair2[0]);
        loop.unwatchSocket(pair1[0]);
    });
    loop.watchSocket(pair2[0], EventLoop::Readable, [&](unsigned, int) {
        ++calls2;
        loop.unwatchSocket(pair1[0]);
        loop.unwatchSocket(pair2[0]);
    });
    ASSERT_EQ(sendByte(pair1[1]), 1);
    ASSERT_EQ(sendByte(pair2[1]), 1);
    loop.runFor(50);
    EXPECT_EQ(calls1 + calls2, 1);
    EXPECT_EQ(loop.watchCount(), 0u);
    for (int fd : {pair1[0], pair1[1], pair2[0], pair2[1]})
        closeSocket(fd);
}

TEST(PollEventLoop, ConnectedCarriesTheSocketErrorOnceAndThenStaysQuiet)
{
    PollEventLoop loop;
    // A port with nothing behind it.
    const int probe = streamSocket(false);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length);
    closeSocket(probe);

    const int fd = streamSocket(true);
    connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    int calls = 0, error = -1;
    unsigned seen = 0;
    loop.watchSocket(fd, EventLoop::Connected, [&](unsigned events, int e) {
        ++calls;
        seen = events;
        error = e;
    });
    loop.runFor(100);
    // Once, with the refusal; the failed socket does not keep waking the
    // loop although the watch is still there.
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(seen & EventLoop::Connected);
    EXPECT_EQ(error, kConnectionRefused);
    EXPECT_EQ(loop.watchCount(), 1u);
    loop.unwatchSocket(fd);
    closeSocket(fd);

    // A connect that succeeds reports error 0.
    const int listener = streamSocket(false);
    address.sin_port = 0;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    const int client = streamSocket(true);
    connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address);
    calls = 0;
    error = -1;
    loop.watchSocket(client, EventLoop::Connected | EventLoop::Readable, [&](unsigned events, int e) {
        if (events & EventLoop::Connected) {
            ++calls;
            error = e;
        }
    });
    loop.runFor(50);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(error, 0);
    loop.unwatchSocket(client);
    closeSocket(client);
    closeSocket(listener);
}

} // namespace
} // namespace vigilon
