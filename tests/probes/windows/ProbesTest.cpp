// SPDX-License-Identifier: MIT
// The probes on Winsock under Wine, against loopback only: the ICMP echo
// of a raw socket, and TCP connects that succeed and that are refused, over
// IPv4 and IPv6; each on the poll loop and on the program's loop of window
// messages (WSAAsyncSelect).
#include "base/PollEventLoop.h"
#include "probes/HttpProbe.h"
#include "probes/TcpProbe.h"
#include "probes/UdpProbe.h"
#include "win/WinEventLoop.h"
#include "probes/PingProbe.h"
#include "probes/SocketProbe.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace vigilon {
namespace {

template <class Loop>
class Host final : public ProbeHost {
public:
    // Each report begins with its time and then keeps the loop busy for
    // busyMicros, as the engine's work on a result does.
    void reportResult(ProbeResult result, MonitorPort &) override
    {
        results.push_back(result);
        reportedAt.push_back(SystemClock::instance().monotonicMicros());
        while (SystemClock::instance().monotonicMicros() < reportedAt.back() + busyMicros) {
        }
    }
    EventLoop &eventLoop() override { return loop; }
    const Clock &clock() const override { return SystemClock::instance(); }
    bool waitForReport(unsigned timeoutMs)
    {
        return loop.runUntil([&] { return !results.empty(); }, timeoutMs);
    }
    Loop loop;
    std::vector<ProbeResult> results;
    std::vector<std::uint64_t> reportedAt;
    std::uint64_t busyMicros = 0;
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

// A listening loopback socket (127.0.0.1 or ::1) on a port of the system's
// choice; port stays 0 when there is none.
SOCKET listenOnLoopback(int family, std::uint32_t &port)
{
    const SOCKET s = ::socket(family, SOCK_STREAM, 0);
    net::NetAddress loopback = net::NetAddress::ipv4(htonl(INADDR_LOOPBACK));
    if (family == AF_INET6)
        net::parseIpv6Literal("::1", loopback);
    sockaddr_storage address{};
    int length = loopback.toSocket(0, address);
    port = 0;
    if (s != INVALID_SOCKET && bind(s, reinterpret_cast<sockaddr *>(&address), length) == 0 && listen(s, 4) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(reinterpret_cast<sockaddr_in &>(address).sin_port);
    return s;
}

// The ICMP echo over IPv4, and the ICMPv6 one, answered through a raw
// socket of the check's own and through one that checks share, or not made
// where the system has no ICMPv6 socket.
TYPED_TEST(WinProbes, EchoToLoopbackIsAnsweredThroughARawSocketOnTheLoop)
{
    Host<TypeParam> host;
    for (const auto &[target, replyType, sharing] :
         {std::tuple{"127.0.0.1", 0, false}, std::tuple{"::1", 129, false}, std::tuple{"127.0.0.1", 0, true},
          std::tuple{"::1", 129, true}}) {
        host.results.clear();
        MonitorPort entry;
        const auto shared = sharing ? std::make_shared<PingSockets>(host.loop) : nullptr;
        CPingProbe probe(host, nullptr, shared);
        probe.setSocketChoice(CPingProbe::RawOnly);
        const int started = probe.start(0, target, entry);
        if (started != 1 && replyType == 129) {
            // A system without ICMPv6 sockets (Wine): the check is not made,
            // and not counted against the target.
            EXPECT_TRUE(host.results.empty());
            EXPECT_TRUE(probe.localFailure());
            std::fprintf(stderr, "no ICMPv6 echo here (error %d)\n", probe.localError());
            continue;
        }
        ASSERT_EQ(started, 1) << target;
        EXPECT_EQ(probe.socketHandle() < 0, sharing);
        EXPECT_TRUE(host.results.empty());
        host.waitForReport(5000);
        ASSERT_EQ(host.results, (std::vector<ProbeResult>{ProbeResult::Answered})) << target;
        EXPECT_EQ(probe.done(), 1);
        EXPECT_EQ(probe.reply().type, replyType) << "an echo reply";
        EXPECT_EQ(probe.reply().source.text(), target);
        EXPECT_LT(entry.responseTime, 2000u);
    }
    EXPECT_EQ(host.loop.timerCount(), 0u);
    EXPECT_EQ(host.loop.watchCount(), 0u);
}

// Where raw sockets are refused (a user without administrator rights), the
// system's ICMP helper functions make the echo, and it is answered on the
// loop like the socket's; a check dropped while its echo is under way is
// never answered.
TYPED_TEST(WinProbes, EchoWithoutTheRightToRawSocketsIsMadeByTheSystem)
{
    Host<TypeParam> host;
    MonitorPort entry;
    CPingProbe probe(host);
    probe.setSocketChoice(CPingProbe::AsUnprivileged);
    ASSERT_EQ(probe.start(0, "127.0.0.1", entry), 1);
    EXPECT_TRUE(probe.systemEcho());
    EXPECT_TRUE(host.results.empty()) << "answered on the loop, not from the start";
    host.waitForReport(5000);
    ASSERT_EQ(host.results, (std::vector<ProbeResult>{ProbeResult::Answered})) << reasonText(probe.failureReason());
    EXPECT_EQ(probe.reply().source.text(), "127.0.0.1");
    EXPECT_LT(entry.responseTime, 2000u);

    host.results.clear();
    {
        CPingProbe dropped(host);
        dropped.setSocketChoice(CPingProbe::AsUnprivileged);
        ASSERT_EQ(dropped.start(0, "127.0.0.1", entry), 1);
    }
    host.loop.runUntil([] { return false; }, 300);
    EXPECT_TRUE(host.results.empty());
    EXPECT_EQ(host.loop.timerCount(), 0u);
    EXPECT_EQ(host.loop.watchCount(), 0u);
}

// Over IPv4 and IPv6 (bracketed too): a refusal is left to the probe's
// 3000 ms timeout.
TYPED_TEST(WinProbes, TcpConnectSucceedsAndIsRefusedAsynchronously)
{
    Host<TypeParam> host;
    MonitorPort entry;
    const std::vector<std::pair<int, std::vector<const char *>>> families = {{AF_INET, {"127.0.0.1"}},
                                                                             {AF_INET6, {"::1", "[::1]"}}};
    for (const auto &[family, targets] : families) {
        std::uint32_t port = 0;
        const SOCKET listener = listenOnLoopback(family, port);
        if (family == AF_INET6 && port == 0) {
            closesocket(listener);
            std::fprintf(stderr, "no IPv6 loopback here\n");
            continue;
        }
        ASSERT_NE(port, 0u);
        for (const char *target : targets) {
            host.results.clear();
            CTcpProbe probe(host);
            ASSERT_EQ(probe.start(port, target, entry), 1) << target;
            host.waitForReport(5000);
            EXPECT_EQ(host.results, (std::vector<ProbeResult>{ProbeResult::Answered})) << target;
        }
        closesocket(listener);
        host.results.clear();
        CTcpProbe probe(host);
        probe.start(port, targets[0], entry);
        host.waitForReport(5000);
        EXPECT_EQ(host.results, (std::vector<ProbeResult>{ProbeResult::Failed})) << targets[0];
    }
}

// A GET whose chunked page is read to its end over Winsock and judged by the
// content rule: found, and then present where it must be absent.
TYPED_TEST(WinProbes, HttpGetReadsAChunkedPageAndJudgesItsContent)
{
    std::uint32_t port = 0;
    const SOCKET listener = listenOnLoopback(AF_INET, port);
    ASSERT_NE(port, 0u);
    // One connection per check: the request read to its blank line, the
    // page sent in pieces, the connection closed.
    std::thread server([listener] {
        for (int served = 0; served < 2; ++served) {
            const SOCKET s = accept(listener, nullptr, nullptr);
            if (s == INVALID_SOCKET)
                return;
            std::string request;
            char buffer[1024];
            int got = 0;
            while (request.find("\r\n\r\n") == std::string::npos && (got = recv(s, buffer, sizeof buffer, 0)) > 0)
                request.append(buffer, static_cast<std::size_t>(got));
            for (const std::string piece : {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", "4\r\nWelc\r\n",
                                            "3\r\nome\r\n0\r\n\r\n"})
                send(s, piece.data(), static_cast<int>(piece.size()), 0);
            shutdown(s, SD_SEND);
            while (recv(s, buffer, sizeof buffer, 0) > 0) {
            }
            closesocket(s);
        }
    });
    for (const auto &[rule, outcome] : {std::pair{"contains:Welcome", ProbeResult::Answered},
                                        std::pair{"lacks:Welcome", ProbeResult::Failed}}) {
        Host<TypeParam> host;
        MonitorPort entry;
        entry.request.method = MethodGet;
        entry.request.contentRule = ContentRule::fromText(rule);
        CHttpProbe probe(host);
        ASSERT_EQ(probe.start(port, "127.0.0.1", entry), 1);
        host.waitForReport(5000);
        EXPECT_EQ(host.results, (std::vector<ProbeResult>{outcome})) << rule;
        EXPECT_EQ(reasonText(probe.failureReason()), outcome == ProbeResult::Failed ? "text found (lacks:Welcome)" : "");
    }
    closesocket(listener);
    server.join();
}

// Connects that complete together, each report keeping the loop busy for
// 20 ms: a check's time ends when its completion was seen, before any of
// the others' reports ran, not when the loop came round to its socket.
TYPED_TEST(WinProbes, ChecksCompletingTogetherAreNotTimedWithEachOthersReports)
{
    Host<TypeParam> host;
    host.busyMicros = 20000;
    std::uint32_t port = 0;
    const SOCKET listener = listenOnLoopback(AF_INET, port);
    ASSERT_NE(port, 0u);
    constexpr std::size_t kChecks = 4;
    MonitorPort entries[kChecks];
    std::vector<std::unique_ptr<CTcpProbe>> probes;
    std::uint64_t startedBefore[kChecks] = {};
    for (std::size_t i = 0; i < kChecks; ++i) {
        startedBefore[i] = SystemClock::instance().monotonicMicros();
        probes.push_back(std::make_unique<CTcpProbe>(host));
        ASSERT_EQ(probes.back()->start(port, "127.0.0.1", entries[i]), 1);
    }
    // Every connect has completed before the loop looks at any of them.
    std::vector<SOCKET> accepted;
    for (std::size_t i = 0; i < kChecks; ++i) {
        WSAPOLLFD waiting{listener, POLLRDNORM, 0};
        ASSERT_EQ(WSAPoll(&waiting, 1, 5000), 1);
        accepted.push_back(accept(listener, nullptr, nullptr));
    }
    host.loop.runUntil([&] { return host.results.size() == kChecks; }, 10000);
    ASSERT_EQ(host.results, std::vector<ProbeResult>(kChecks, ProbeResult::Answered));
    for (std::size_t i = 0; i < kChecks; ++i)
        EXPECT_LE(entries[i].responseMicros, host.reportedAt[0] - startedBefore[i]) << "check " << i;
    for (const SOCKET s : accepted)
        closesocket(s);
    closesocket(listener);
}

// A UDP check that waits for a reply: one holding the expected bytes
// passes it; a silent port passes "closed port fails" after its window.
// (Windows tells of a closed port's ICMP refusal as a reset of the
// connected socket; Wine does not pass that refusal on, so it is tested on
// Linux only.)
TYPED_TEST(WinProbes, UdpReplyPassesAndSilencePassesAfterTheWindow)
{
    const SOCKET bound = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ASSERT_EQ(bind(bound, reinterpret_cast<sockaddr *>(&address), length), 0);
    ASSERT_EQ(getsockname(bound, reinterpret_cast<sockaddr *>(&address), &length), 0);
    const auto port = ntohs(address.sin_port);

    // The socket stays bound until the check has sent, then answers.
    Host<TypeParam> host;
    MonitorPort entry;
    entry.udpMode = UdpExpectReply;
    entry.udpPayload = "ping";
    entry.udpExpect = "pong";
    CUdpProbe answered(host);
    ASSERT_EQ(answered.start(port, "127.0.0.1", entry), 1);
    char buffer[64];
    sockaddr_in from{};
    int fromLength = sizeof from;
    ASSERT_EQ(recvfrom(bound, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &fromLength), 4);
    sendto(bound, "pong", 4, 0, reinterpret_cast<sockaddr *>(&from), fromLength);
    ASSERT_TRUE(host.waitForReport(3000));
    EXPECT_EQ(host.results.at(0), ProbeResult::Answered);

    // Bound, it never answers.
    host.results.clear();
    MonitorPort closed;
    closed.udpMode = UdpClosedFails;
    CUdpProbe silent(host);
    ASSERT_EQ(silent.start(port, "127.0.0.1", closed), 1);
    ASSERT_TRUE(host.waitForReport(3000));
    EXPECT_EQ(host.results.at(0), ProbeResult::Answered);
    EXPECT_EQ(silent.done(), 1);
    closesocket(bound);
}

} // namespace
} // namespace vigilon
