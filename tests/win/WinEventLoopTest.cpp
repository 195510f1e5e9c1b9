// SPDX-License-Identifier: MIT
// The loop of window messages under Wine: window timers by owner and id,
// reset and killed from their own callbacks; work posted from another
// thread; and sockets through WSAAsyncSelect made level-triggered: data left
// unread is reported again (without starving the timers), a writable socket
// keeps being writable, a connect is reported once with its error, and a
// callback may unwatch and close its socket.
#include "app/win/WinEventLoop.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace vigilon::win {
namespace {

class WinEventLoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        ASSERT_TRUE(loop.valid());
    }
    void TearDown() override { WSACleanup(); }

    // A connected loopback pair: client (non-blocking) and the accepted end.
    bool connectedPair(SOCKET &client, SOCKET &server)
    {
        SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(listener, 1) != 0 ||
            getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return false;
        client = socket(AF_INET, SOCK_STREAM, 0);
        if (connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
            return false;
        server = accept(listener, nullptr, nullptr);
        closesocket(listener);
        u_long nonBlocking = 1;
        ioctlsocket(client, FIONBIO, &nonBlocking);
        return server != INVALID_SOCKET;
    }

    WinEventLoop loop;
};

TEST_F(WinEventLoopTest, TimersRepeatAndAreResetOrKilledFromTheirOwnCallbacks)
{
    int owner1 = 0, owner2 = 0;
    int repeats = 0, resets = 0, killed = 0, other = 0;
    loop.setTimer(&owner1, 1, 10, [&] { ++repeats; });
    // Resets itself to a long period on its first run: it runs once.
    loop.setTimer(&owner1, 2, 10, [&] {
        ++resets;
        loop.setTimer(&owner1, 2, 60000, [&] { ++resets; });
    });
    loop.setTimer(&owner1, 3, 10, [&] {
        ++killed;
        loop.killTimer(&owner1, 3);
    });
    loop.setTimer(&owner2, 1, 10, [&] { ++other; });
    loop.runUntil([&] { return repeats >= 4; }, 5000);
    EXPECT_GE(repeats, 4);
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(killed, 1);
    EXPECT_FALSE(loop.hasTimer(&owner1, 3));
    EXPECT_TRUE(loop.hasTimer(&owner1, 2));

    // All of one owner's timers go; the other owner's run on.
    loop.killTimers(&owner1);
    EXPECT_EQ(loop.timerCount(), 1u);
    const int before = repeats;
    const int otherBefore = other;
    loop.runUntil([&] { return other >= otherBefore + 3; }, 5000);
    EXPECT_EQ(repeats, before);
    EXPECT_GE(other, otherBefore + 3);
    loop.killTimers(&owner2);
    EXPECT_EQ(loop.timerCount(), 0u);
}

TEST_F(WinEventLoopTest, PostFromAnotherThreadRunsOnTheLoopThread)
{
    const DWORD loopThread = GetCurrentThreadId();
    std::atomic<DWORD> ranOn{0};
    std::thread poster([&] { loop.post([&] { ranOn = GetCurrentThreadId(); }); });
    poster.join();
    EXPECT_TRUE(loop.runUntil([&] { return ranOn != 0; }, 5000));
    EXPECT_EQ(ranOn, loopThread);
}

TEST_F(WinEventLoopTest, UnreadDataIsReportedAgainUntilItIsRead)
{
    SOCKET client = INVALID_SOCKET, server = INVALID_SOCKET;
    ASSERT_TRUE(connectedPair(client, server));
    // Sent before the watch: nobody was told, the loop looks by itself.
    ASSERT_EQ(send(server, "ab", 2, 0), 2);
    int reports = 0;
    std::string got;
    loop.watchSocket(static_cast<int>(client), EventLoop::Readable, [&](unsigned events, int) {
        EXPECT_TRUE(events & EventLoop::Readable);
        // The first two reports leave the data where it is; the third reads
        // one byte, the fourth the other.
        if (++reports >= 3) {
            char c;
            if (recv(client, &c, 1, 0) == 1)
                got += c;
        }
    });
    loop.runUntil([&] { return got.size() == 2; }, 5000);
    EXPECT_EQ(got, "ab");
    EXPECT_EQ(reports, 4);
    // Nothing left to read: no more reports.
    loop.runUntil([] { return false; }, 200);
    EXPECT_EQ(reports, 4);

    // Data that comes later is reported; the callback closes its socket.
    ASSERT_EQ(send(server, "c", 1, 0), 1);
    bool closedInside = false;
    loop.watchSocket(static_cast<int>(client), EventLoop::Readable, [&](unsigned, int) {
        loop.unwatchSocket(static_cast<int>(client));
        closesocket(client);
        closedInside = true;
    });
    EXPECT_TRUE(loop.runUntil([&] { return closedInside; }, 5000));
    EXPECT_EQ(loop.watchCount(), 0u);
    closesocket(server);
}

TEST_F(WinEventLoopTest, ASocketLeftReadyDoesNotStarveTheTimers)
{
    SOCKET client = INVALID_SOCKET, server = INVALID_SOCKET;
    ASSERT_TRUE(connectedPair(client, server));
    ASSERT_EQ(send(server, "x", 1, 0), 1);
    int reports = 0, ticks = 0;
    // Never reads: the socket stays readable for ever.
    loop.watchSocket(static_cast<int>(client), EventLoop::Readable, [&](unsigned, int) { ++reports; });
    loop.setTimer(this, 1, 20, [&] { ++ticks; });
    EXPECT_TRUE(loop.runUntil([&] { return ticks >= 3; }, 5000));
    EXPECT_GT(reports, 1);
    loop.killTimers(this);
    loop.unwatchSocket(static_cast<int>(client));
    closesocket(client);
    closesocket(server);
}

TEST_F(WinEventLoopTest, WritableKeepsBeingReportedAndConnectedOnlyOnce)
{
    // A non-blocking connect to a listening loopback port.
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
    SOCKET client = socket(AF_INET, SOCK_STREAM, 0);
    u_long nonBlocking = 1;
    ioctlsocket(client, FIONBIO, &nonBlocking);
    connect(client, reinterpret_cast<sockaddr *>(&address), sizeof address);

    int connectedReports = 0, writableReports = 0, connectError = -1;
    loop.watchSocket(static_cast<int>(client), EventLoop::Connected | EventLoop::Writable,
                     [&](unsigned events, int error) {
                         if (events & EventLoop::Connected) {
                             ++connectedReports;
                             connectError = error;
                         }
                         if (events & EventLoop::Writable)
                             ++writableReports;
                     });
    loop.runUntil([&] { return writableReports >= 5; }, 5000);
    EXPECT_EQ(connectedReports, 1);
    EXPECT_EQ(connectError, 0);
    EXPECT_GE(writableReports, 5) << "writable without a new FD_WRITE";
    loop.unwatchSocket(static_cast<int>(client));
    closesocket(client);
    closesocket(listener);
}

} // namespace
} // namespace vigilon::win
