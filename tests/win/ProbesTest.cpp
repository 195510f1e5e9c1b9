// SPDX-License-Identifier: MIT
// The probes on Winsock under Wine, against loopback only: the ICMP echo
// of a raw socket, and TCP connects that succeed and that are refused, in
// the asynchronous mode and in the synchronous one; each on the poll loop
// and on the program's loop of window messages (WSAAsyncSelect).
#include "app/base/PollEventLoop.h"
#include "app/win/WinEventLoop.h"
#include "probes/PingProbe.h"
#include "probes/SocketProbe.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <vector>

namespace vigilon {
namespace {

template <class Loop>
class Host final : public ProbeHost {
public:
    void reportResult(int code, MonitorPort &) override { codes.push_back(code); }
    EventLoop &eventLoop() override { return loop; }
    const Clock &clock() const override { return SystemClock::instance(); }
    bool waitForReport(unsigned timeoutMs)
    {
        return loop.runUntil([&] { return !codes.empty(); }, timeoutMs);
    }
    Loop loop;
    std::vector<int> codes;
};

// The sockets' library, started as the program's frame starts it (the poll
// loop would start it for its own wake-up socket; the other loop does not).
template <class Loop>
class WinProbes : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    }
    void TearDown() override { WSACleanup(); }
};
using Loops = ::testing::Types<PollEventLoop, win::WinEventLoop>;
TYPED_TEST_SUITE(WinProbes, Loops);

// A listening loopback socket on a port of the system's choice.
class Listener {
public:
    Listener()
    {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (bind(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 && listen(socket_, 4) == 0 &&
            getsockname(socket_, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~Listener() { close(); }
    void close()
    {
        if (socket_ != INVALID_SOCKET)
            closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }
    std::uint32_t port = 0;

private:
    SOCKET socket_ = INVALID_SOCKET;
};

TYPED_TEST(WinProbes, EchoToLoopbackIsAnsweredThroughARawSocketOnTheLoop)
{
    Host<TypeParam> host;
    MonitorPort entry;
    CPingProbe probe(host);
    probe.setSocketChoice(CPingProbe::RawOnly);
    ASSERT_EQ(probe.start(0, "127.0.0.1", entry), 1);
    EXPECT_TRUE(host.codes.empty());
    host.waitForReport(5000);
    ASSERT_EQ(host.codes, (std::vector<int>{PingOk}));
    EXPECT_EQ(probe.done(), 1);
    EXPECT_EQ(probe.reply().type, 0) << "an echo reply";
    EXPECT_EQ(probe.reply().source, htonl(INADDR_LOOPBACK));
    EXPECT_LT(entry.responseTime, 2000u);
    EXPECT_EQ(entry.responseTime, roundedMillis(entry.responseMicros));
}

TYPED_TEST(WinProbes, TcpConnectSucceedsAndIsRefusedAsynchronously)
{
    Host<TypeParam> host;
    Listener listener;
    ASSERT_NE(listener.port, 0u);
    MonitorPort entry;
    {
        CTcpProbe probe(Regular, host);
        ASSERT_EQ(probe.start(listener.port, "127.0.0.1", entry), 1);
        host.waitForReport(5000);
        ASSERT_EQ(host.codes, (std::vector<int>{TcpOk}));
    }
    listener.close();
    host.codes.clear();
    {
        // A refusal is left to the probe's 3000 ms timeout.
        CTcpProbe probe(Regular, host);
        probe.start(listener.port, "127.0.0.1", entry);
        host.waitForReport(5000);
        EXPECT_EQ(host.codes, (std::vector<int>{TcpFailed}));
    }
}

TYPED_TEST(WinProbes, SynchronousTcpConnectReportsInsideStart)
{
    Host<TypeParam> host;
    Listener listener;
    ASSERT_NE(listener.port, 0u);
    MonitorPort entry;
    CTcpProbe probe(RoundKind::Test, host);
    probe.start(listener.port, "127.0.0.1", entry);
    EXPECT_EQ(host.codes, (std::vector<int>{TcpOk}));
}

} // namespace
} // namespace vigilon
