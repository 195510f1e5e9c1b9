// SPDX-License-Identifier: MIT
// The loop of window messages under Wine: the contract of every loop, a
// timer reset from its own callback, and sockets through WSAAsyncSelect
// made level-triggered: data left unread is reported again, a writable
// socket keeps being writable, and neither starves the timers.
#include "win/WinEventLoop.h"
#include "tests/support/EventLoopContract.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace vigilon::win {
namespace {

namespace contract = test::contract;

class WinEventLoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        ASSERT_TRUE(loop.valid());
    }
    void TearDown() override { WSACleanup(); }

    WinEventLoop loop;
};

// Timers by owner and id, posts run on the loop's thread, unwatching inside
// callbacks and a connect told once, as every loop of the program keeps them.
TEST_F(WinEventLoopTest, KeepsTheEventLoopContract)
{
    const contract::Run run = [this](const std::function<bool()> &done, int timeoutMs) {
        loop.runUntil(done, static_cast<unsigned>(timeoutMs));
    };
    EXPECT_EQ(contract::all(loop, run), contract::Failures{});
    EXPECT_EQ(loop.timerCount(), 0u);
    EXPECT_EQ(loop.watchCount(), 0u);
}

// A timer set anew from its own callback: the callback running is not the
// one that replaced it.
TEST_F(WinEventLoopTest, ATimerResetFromItsOwnCallbackTakesTheNewPeriod)
{
    int owner = 0, resets = 0;
    loop.setTimer(&owner, 2, 10, [&] {
        ++resets;
        loop.setTimer(&owner, 2, 60000, [&] { ++resets; });
    });
    loop.runUntil([] { return false; }, 200);
    EXPECT_EQ(resets, 1);
    EXPECT_TRUE(loop.hasTimer(&owner, 2));
    loop.killTimers(&owner);
}

// Data left unread is reported again until it is read, and then no more;
// the other end, never written to, stays writable (WSAAsyncSelect said
// FD_WRITE once) and keeps being reported; and the timers still run.
TEST_F(WinEventLoopTest, ReadinessIsLevelTriggeredWithoutStarvingTheTimers)
{
    int pair[2];
    ASSERT_TRUE(contract::socketPair(pair));
    // Sent before the watch: nobody was told, the loop looks by itself.
    ASSERT_EQ(send(static_cast<SOCKET>(pair[1]), "ab", 2, 0), 2);
    int reports = 0, writable = 0, ticks = 0;
    std::string got;
    loop.watchSocket(pair[0], EventLoop::Readable, [&](unsigned events, int) {
        EXPECT_TRUE(events & EventLoop::Readable);
        // The first two reports leave the data where it is; the third reads
        // one byte, the fourth the other.
        if (++reports >= 3) {
            char c;
            if (recv(static_cast<SOCKET>(pair[0]), &c, 1, 0) == 1)
                got += c;
        }
    });
    loop.watchSocket(pair[1], EventLoop::Writable, [&](unsigned events, int) {
        EXPECT_TRUE(events & EventLoop::Writable);
        ++writable;
    });
    loop.setTimer(this, 1, 20, [&] { ++ticks; });
    EXPECT_TRUE(loop.runUntil([&] { return got.size() == 2 && ticks >= 3 && writable >= 5; }, 5000));
    // Nothing left to read: no more reports.
    loop.runUntil([] { return false; }, 200);
    EXPECT_EQ(got, "ab");
    EXPECT_EQ(reports, 4);
    loop.killTimers(this);
    for (int fd : pair) {
        loop.unwatchSocket(fd);
        contract::closeSocket(fd);
    }
}

// Checks of a refused and of an open port taking turns at a high rate: the
// refused socket is closed from its callback and the next one, opened at
// once, gets its handle. A notice of the closed socket still queued (its
// FD_CONNECT with the refusal) is not taken for the new socket's: every
// connect to the open port is told without an error.
TEST_F(WinEventLoopTest, ANoticeOfAClosedSocketIsNotTakenForTheOneThatGetsItsHandle)
{
    sockaddr_in open{}, closed{};
    const int server = contract::listener(open, 64);
    // Taking a connection never blocks the test: a connect told done that
    // is not shows as its error below.
    u_long nonBlocking = 1;
    ioctlsocket(static_cast<SOCKET>(server), FIONBIO, &nonBlocking);
    // Bound and not listening: connects to it are refused.
    const int refuser = contract::listener(closed, 0);
    constexpr int kRounds = 300;
    int rounds = 0, reused = 0, refusedSeen = 0;
    std::vector<int> openErrors;
    std::function<void()> nextRound;
    const auto connectTo = [this](const sockaddr_in &to, EventLoop::SocketCallback callback) {
        const int fd = contract::streamSocket(true);
        loop.watchSocket(fd, EventLoop::Connected, std::move(callback));
        connect(static_cast<SOCKET>(fd), reinterpret_cast<const sockaddr *>(&to), sizeof to);
        return fd;
    };
    nextRound = [&] {
        auto refusedFd = std::make_shared<int>(-1);
        *refusedFd = connectTo(closed, [&, refusedFd](unsigned, int error) {
            if (error == contract::kConnectionRefused)
                ++refusedSeen;
            const int gone = *refusedFd;
            loop.unwatchSocket(gone);
            contract::closeSocket(gone);
            auto openFd = std::make_shared<int>(-1);
            *openFd = connectTo(open, [&, openFd](unsigned, int openError) {
                openErrors.push_back(openError);
                loop.unwatchSocket(*openFd);
                contract::closeSocket(*openFd);
                const SOCKET taken = accept(static_cast<SOCKET>(server), nullptr, nullptr);
                if (taken != INVALID_SOCKET)
                    closesocket(taken);
                if (++rounds < kRounds)
                    nextRound();
            });
            reused += *openFd == gone;
        });
    };
    nextRound();
    ASSERT_TRUE(loop.runUntil([&] { return rounds == kRounds; }, 60000)) << rounds << " rounds";
    EXPECT_EQ(refusedSeen, kRounds);
    // The handle was taken again at once (as the system hands them out), or
    // nothing was put to the test.
    EXPECT_GT(reused, 0);
    EXPECT_EQ(openErrors, std::vector<int>(kRounds, 0));
    contract::closeSocket(refuser);
    contract::closeSocket(server);
    EXPECT_EQ(loop.watchCount(), 0u);
}

} // namespace
} // namespace vigilon::win
