// SPDX-License-Identifier: MIT
#include "probes/HttpProbe.h"
#include "probes/SocketProbe.h"
#include "probes/SocketUtil.h"
#include "probes/TcpProbe.h"
#include "probes/UdpProbe.h"
#include "tests/support/Network.h"

#include <gtest/gtest.h>

#include <atomic>
#include <poll.h>
#include <thread>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vigilon {
namespace {

using test::RecordingHost;
using test::TcpServer;

TEST(TcpProbe, ConnectsReportsOnceAndClosesTheConnectionWithTheCheck)
{
    TcpServer server(TcpServer::Silent);
    RecordingHost host;
    MonitorPort entry;
    auto probe = std::make_unique<CTcpProbe>(host);
    ASSERT_EQ(host.start(*probe, server.port(), "127.0.0.1", entry), 1);
    EXPECT_EQ(probe->done(), 0);
    ASSERT_TRUE(host.waitReports(1, 2000));
    EXPECT_EQ(host.reports[0].result, ProbeResult::Answered);
    EXPECT_FALSE(host.reports[0].insideStart);
    EXPECT_EQ(host.reports[0].entry, &entry);
    EXPECT_EQ(probe->done(), 1);
    EXPECT_LT(entry.responseMicros, 1000000u);
    EXPECT_FALSE(host.loop.hasTimer(probe.get(), probe::DeadlineTimer));

    // A finished check watches nothing; its connection closes with it
    // (closing costs the loop what connecting did, and the engine destroys
    // checks once their round's results are in).
    EXPECT_EQ(host.loop.watchCount(), 0u);
    // The server's thread takes the connection in its own time.
    host.loop.runUntil([&] { return server.accepted() == 1; }, 2000);
    host.loop.runFor(50);
    EXPECT_EQ(server.peerClosed(), 0);
    EXPECT_EQ(host.reports.size(), 1u);
    EXPECT_EQ(server.accepted(), 1);
    probe.reset();
    host.loop.runUntil([&] { return server.peerClosed() == 1; }, 2000);
    EXPECT_EQ(server.peerClosed(), 1);
    EXPECT_EQ(host.loop.timerCount(), 0u);
    EXPECT_EQ(host.loop.watchCount(), 0u);
}

TEST(TcpProbe, RefusedPortFailsAtTheTimeoutNotAtTheRefusal)
{
    RecordingHost host;
    MonitorPort entry;
    entry.responseTime = 777;
    for (int kind : {0, 2}) {
        const std::uint64_t began = test::monoMicros();
        auto probe = makeSocketProbe(kind, host);
        ASSERT_EQ(host.start(*probe, test::closedTcpPort(), "127.0.0.1", entry), 1);
        const std::size_t before = host.reports.size();
        ASSERT_TRUE(host.waitReports(before + 1, 4000));
        EXPECT_EQ(host.reports.back().result, ProbeResult::Failed);
        EXPECT_GE(host.reports.back().atMicros - began, 2900000u);
        EXPECT_EQ(probe->done(), 2);
        // No spinning on the failed socket, and exactly one report.
        host.loop.runFor(100);
        EXPECT_EQ(host.reports.size(), before + 1);
    }
    EXPECT_EQ(entry.responseTime, 777u);
}

TEST(TcpProbe, ConnectionCompletingAfterTheTimeoutStillReportsSuccess)
{
    // A listener with a full accept queue drops new SYNs; the client's
    // retransmission gets through once the queue has been emptied.
    TcpServer server(TcpServer::NoAccept);
    RecordingHost host;
    MonitorPort filler1, filler2, entry;
    CTcpProbe fillerProbe1(host), fillerProbe2(host);
    ASSERT_EQ(fillerProbe1.start(server.port(), "127.0.0.1", filler1), 1);
    ASSERT_EQ(fillerProbe2.start(server.port(), "127.0.0.1", filler2), 1);
    host.loop.runFor(300);
    const std::size_t filled = host.reports.size();

    CTcpProbe probe(host);
    ASSERT_EQ(probe.start(server.port(), "127.0.0.1", entry), 1);
    ASSERT_TRUE(host.loop.runUntil([&] { return host.reportsFor(entry).size() == 1; }, 4000));
    if (host.reportsFor(entry)[0].result == ProbeResult::Answered)
        GTEST_SKIP() << "the kernel accepted the connection at once (accept queue not full: " << filled << ")";
    EXPECT_EQ(host.reportsFor(entry)[0].result, ProbeResult::Failed);
    EXPECT_EQ(probe.done(), 2);
    server.acceptQueued();
    ASSERT_TRUE(host.loop.runUntil([&] { return host.reportsFor(entry).size() == 2; }, 9000));
    EXPECT_EQ(host.reportsFor(entry)[1].result, ProbeResult::Answered);
    EXPECT_EQ(probe.done(), 1);
    EXPECT_GT(entry.responseTime, 3000u);
}

TEST(HttpProbe, SendsTheExactRequestAndTimesOnlyTheReply)
{
    // An IPv6 literal goes in brackets, added where the user typed none.
    EXPECT_EQ(CHttpProbe::requestText("fd00::2"), "HEAD / HTTP/1.1\r\nHost:[fd00::2]\r\n\r\n");
    EXPECT_EQ(CHttpProbe::requestText("[fd00::2]"), "HEAD / HTTP/1.1\r\nHost:[fd00::2]\r\n\r\n");
    EXPECT_EQ(CHttpProbe::requestText("web.example"), "HEAD / HTTP/1.1\r\nHost:web.example\r\n\r\n");
    TcpServer server(TcpServer::Answer, 40, "HTTP/1.1 500 Internal Server Error\r\n\r\n");
    RecordingHost host;
    MonitorPort entry;
    CHttpProbe probe(host);
    ASSERT_EQ(probe.start(server.port(), "127.0.0.1", entry), 1);
    ASSERT_TRUE(host.waitReports(1, 4000));
    EXPECT_EQ(host.reports[0].result, ProbeResult::Answered); // an error status is alive
    EXPECT_EQ(server.firstRequest(), "HEAD / HTTP/1.1\r\nHost:127.0.0.1\r\n\r\n");
    EXPECT_GE(entry.responseMicros, 40000u);
    EXPECT_LT(entry.responseMicros, 1000000u);
    EXPECT_EQ(probe.done(), 1);
}

TEST(HttpProbe, HostilePeers)
{
    RecordingHost host;
    // Never answers: fails by the timeout after the request. A check whose
    // entry went away meanwhile fails alike, unheard of.
    {
        TcpServer server(TcpServer::Silent);
        MonitorPort entry, detached;
        detached.responseTime = 555;
        CHttpProbe probe(host), detachedProbe(host);
        const std::uint64_t began = test::monoMicros();
        ASSERT_EQ(probe.start(server.port(), "127.0.0.1", entry), 1);
        ASSERT_EQ(detachedProbe.start(server.port(), "127.0.0.1", detached), 1);
        host.loop.runFor(50); // connected, requests sent
        detachedProbe.detachEntry();
        ASSERT_TRUE(host.waitReports(1, 4500));
        host.loop.runFor(300);
        ASSERT_EQ(host.reports.size(), 1u);
        EXPECT_EQ(host.reports[0].entry, &entry);
        EXPECT_EQ(host.reports[0].result, ProbeResult::Failed);
        EXPECT_GE(host.reports[0].atMicros - began, 2900000u);
        EXPECT_EQ(probe.done(), 2);
        EXPECT_EQ(detachedProbe.done(), 2);
        EXPECT_EQ(entry.responseTime, 0u);
        EXPECT_EQ(detached.responseTime, 0u); // reset by the send, before the detach
    }
    // A megabyte, or a close at once (zero bytes read is a reply): one read,
    // one report, nothing more however long it goes on. The close may come
    // before the request is out; then the send fails.
    for (auto behaviour : {TcpServer::Megabyte, TcpServer::CloseAtOnce}) {
        TcpServer server(behaviour);
        MonitorPort entry;
        CHttpProbe probe(host);
        host.reports.clear();
        const int started = probe.start(server.port(), "127.0.0.1", entry);
        host.waitReports(1, 4000);
        host.loop.runFor(300);
        ASSERT_EQ(host.reports.size(), 1u) << behaviour;
        const bool closedFirst = behaviour == TcpServer::CloseAtOnce && host.reports[0].result == ProbeResult::Failed;
        EXPECT_TRUE(host.reports[0].result == ProbeResult::Answered || closedFirst) << behaviour;
        EXPECT_TRUE(started == 1 || closedFirst) << behaviour;
        EXPECT_FALSE(host.loop.hasTimer(&probe, probe::DeadlineTimer));
    }
    EXPECT_EQ(host.loop.timerCount(), 0u);
    EXPECT_EQ(host.loop.watchCount(), 0u);
}

TEST(HttpProbe, WritingToAPeerThatHasResetNeverEndsTheProcess)
{
    // The peer resets before the probe has seen its connect complete: the
    // connect still counts, the request goes to a dead connection, and that
    // send must fail with an error, not with SIGPIPE.
    const int status = test::runInChild(
        [] {
            TcpServer server(TcpServer::ResetAtOnce);
            RecordingHost host;
            for (int attempt = 0; attempt < 3; ++attempt) {
                host.reports.clear();
                const int acceptedBefore = server.accepted();
                MonitorPort entry;
                CHttpProbe probe(host);
                CHILD_EXPECT(probe.start(server.port(), "127.0.0.1", entry) == 1, 10);
                for (int i = 0; i < 200 && server.accepted() == acceptedBefore; ++i)
                    usleep(5000);
                usleep(50000); // the reset is in
                const std::uint64_t began = test::monoMicros();
                host.waitReports(1, 4000);
                CHILD_EXPECT(host.reports.size() == 1 && host.reports[0].result == ProbeResult::Failed, 11);
                // The failed send reports at once, not by the timeout.
                CHILD_EXPECT(test::monoMicros() - began <= 1000000, 12);
            }
            return 0;
        },
        test::NoNamespace, 20000);
    EXPECT_EQ(status, 0) << "128 + " << SIGPIPE << ": killed by SIGPIPE";
}

// An entry's own timeout is its check's deadline: of two checks waiting on a
// silent port, the one started second with a short timeout of its own ends
// first, timed out; the other keeps the 3000 ms of an entry without one.
TEST(SocketProbe, AnEntrysOwnTimeoutIsItsChecksDeadline)
{
    RecordingHost host;
    std::uint16_t silentPort = 0;
    const int silent = test::udpSocket(silentPort);
    ASSERT_GE(silent, 0);
    MonitorPort plain, quick;
    plain.udpMode = quick.udpMode = UdpExpectReply;
    quick.timeoutMs = 300;
    auto first = std::make_unique<CUdpProbe>(host);
    auto second = std::make_unique<CUdpProbe>(host);
    ASSERT_EQ(host.start(*first, silentPort, "127.0.0.1", plain), 1);
    ASSERT_EQ(host.start(*second, silentPort, "127.0.0.1", quick), 1);
    ASSERT_TRUE(host.waitReports(1, 5000));
    EXPECT_EQ(host.reports[0].entry, &quick);
    EXPECT_EQ(second->failureReason().kind, FailureKind::TimedOut);
    ASSERT_TRUE(host.waitReports(2, 5000));
    EXPECT_EQ(host.reports[1].entry, &plain);
    close(silent);
}

// Send-only passes once it has sent, whatever is behind the port. The
// modes that wait: a closed port's ICMP refusal fails "closed port fails"
// and "expect a reply", a silent port passes the first after its window and
// times the second out; a reply must hold the expected bytes; the payload
// goes as written, hex or text. Each check reports once, never from inside
// its start, whatever comes after its report.
TEST(UdpProbe, ModesTellClosedSilentAndAnsweringPorts)
{
    RecordingHost host;
    const auto check = [&host](std::uint32_t mode, std::uint16_t port, const std::string &payload = {},
                               const std::string &expect = {}) {
        host.reports.clear();
        MonitorPort entry;
        entry.udpMode = mode;
        entry.udpPayload = payload;
        entry.udpExpect = expect;
        auto probe = std::make_unique<CUdpProbe>(host);
        EXPECT_EQ(host.start(*probe, port, "127.0.0.1", entry), 1);
        EXPECT_TRUE(host.waitReports(1, 5000));
        host.loop.runFor(100);
        EXPECT_EQ(host.reports.size(), 1u);
        EXPECT_FALSE(host.reports.empty() || host.reports[0].insideStart);
        return std::pair(host.reports.empty() ? ProbeResult::Failed : host.reports[0].result,
                         probe->failureReason().kind);
    };
    std::uint16_t closedPort = 0;
    close(test::udpSocket(closedPort));
    EXPECT_EQ(check(UdpSendOnly, closedPort).first, ProbeResult::Answered);
    EXPECT_EQ(check(UdpClosedFails, closedPort), std::pair(ProbeResult::Failed, FailureKind::Refused));
    EXPECT_EQ(check(UdpExpectReply, closedPort), std::pair(ProbeResult::Failed, FailureKind::Refused));

    // Bound but never answering.
    std::uint16_t silentPort = 0;
    const int silent = test::udpSocket(silentPort);
    ASSERT_GE(silent, 0);
    const std::uint64_t began = test::monoMicros();
    EXPECT_EQ(check(UdpClosedFails, silentPort), std::pair(ProbeResult::Answered, FailureKind::None));
    EXPECT_GE(test::monoMicros() - began, std::uint64_t(UdpRefusalWindowMs) * 1000 - 50000)
        << "silence passes only after the window";
    EXPECT_EQ(check(UdpExpectReply, silentPort), std::pair(ProbeResult::Failed, FailureKind::TimedOut));
    close(silent);

    // An echo that answers each datagram with "ok:" and what it got.
    std::uint16_t echoPort = 0;
    const int echo = test::udpSocket(echoPort);
    ASSERT_GE(echo, 0);
    std::vector<std::string> received;
    std::atomic<bool> stop{false};
    std::thread server([&] {
        char buffer[512];
        while (!stop) {
            pollfd p{echo, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t got = recvfrom(echo, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &length);
            if (got < 0)
                continue;
            received.emplace_back(buffer, static_cast<std::size_t>(got));
            const std::string answer = "ok:" + received.back();
            sendto(echo, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr *>(&from), length);
        }
    });
    EXPECT_EQ(check(UdpClosedFails, echoPort).first, ProbeResult::Answered);
    EXPECT_EQ(check(UdpExpectReply, echoPort, "hex:1b 00:ff", "ok:").first, ProbeResult::Answered);
    EXPECT_EQ(check(UdpExpectReply, echoPort, "time?", "hex:6f6b3a74").first, ProbeResult::Answered);
    EXPECT_EQ(check(UdpExpectReply, echoPort, "ping", "pong"), std::pair(ProbeResult::Failed, FailureKind::UnexpectedReply));
    EXPECT_EQ(check(UdpSendOnly, echoPort), std::pair(ProbeResult::Answered, FailureKind::None));
    stop = true;
    server.join();
    close(echo);
    ASSERT_EQ(received.size(), 5u);
    EXPECT_EQ(received[0], std::string(1, '\0')) << "no payload: one zero byte, as ever";
    EXPECT_EQ(received[1], std::string("\x1b\x00\xff", 3));
    EXPECT_EQ(received[2], "time?");
}

// The limit is raised to the hard one, and the probes work with descriptors
// above 1023, which select() could not take. A TCP or HTTP check that
// answered keeps its connection until it goes only while half the
// descriptors are left.
TEST(SocketProbes, DescriptorLimitIsRaisedAndDescriptorsAbove1023Work)
{
    const int status = test::runInChild(
        [] {
            rlimit limit{256, 4096};
            CHILD_EXPECT(setrlimit(RLIMIT_NOFILE, &limit) == 0, 10);
            net::raiseDescriptorLimit();
            getrlimit(RLIMIT_NOFILE, &limit);
            CHILD_EXPECT(limit.rlim_cur == 4096 && limit.rlim_max == 4096, 11);
            for (int i = 0; i < 1100; ++i)
                CHILD_EXPECT(open("/dev/null", O_RDONLY | O_CLOEXEC) >= 0, 12);
            TcpServer server(TcpServer::Answer, 0);
            RecordingHost host;
            MonitorPort tcp, http;
            CTcpProbe tcpProbe(host);
            CHttpProbe httpProbe(host);
            CHILD_EXPECT(tcpProbe.start(server.port(), "127.0.0.1", tcp) == 1 && tcpProbe.socketHandle() > 1023, 13);
            CHILD_EXPECT(httpProbe.start(server.port(), "127.0.0.1", http) == 1 && httpProbe.socketHandle() > 1023, 14);
            host.waitReports(2, 3000);
            CHILD_EXPECT(host.reportsFor(tcp).size() == 1 && host.reportsFor(http).size() == 1 &&
                             host.countOf(ProbeResult::Answered) == 2,
                         15);
            CHILD_EXPECT(tcpProbe.socketHandle() > 1023 && httpProbe.socketHandle() > 1023, 16);
            for (int i = 0; i < 1000; ++i)
                CHILD_EXPECT(open("/dev/null", O_RDONLY | O_CLOEXEC) >= 0, 17);
            MonitorPort late, lateHttp;
            CTcpProbe lateProbe(host);
            CHttpProbe lateHttpProbe(host);
            CHILD_EXPECT(lateProbe.start(server.port(), "127.0.0.1", late) == 1 && lateProbe.socketHandle() > 2048, 18);
            CHILD_EXPECT(lateHttpProbe.start(server.port(), "127.0.0.1", lateHttp) == 1 &&
                             lateHttpProbe.socketHandle() > 2048,
                         19);
            host.waitReports(4, 3000);
            CHILD_EXPECT(host.reportsFor(late).size() == 1 && host.reportsFor(lateHttp).size() == 1 &&
                             host.countOf(ProbeResult::Answered) == 4 && lateProbe.socketHandle() == -1 &&
                             lateHttpProbe.socketHandle() == -1,
                         20);
            return 0;
        },
        test::NoNamespace, 10000);
    EXPECT_EQ(status, 0);
}

} // namespace
} // namespace vigilon
