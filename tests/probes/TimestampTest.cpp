// SPDX-License-Identifier: MIT
// Arrival times from the kernel (receive stamps, the handshake's round trip),
// and the start of the measured interval right before the network call.
#include "probes/HttpProbe.h"
#include "probes/SocketProbe.h"
#include "probes/SocketUtil.h"
#include "probes/TcpProbe.h"
#include "probes/UdpProbe.h"
#include "tests/support/Network.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vigilon::test {
namespace {

// Two UDP sockets on loopback, the receiver bound to a port of its own.
struct DatagramPair {
    DatagramPair()
    {
        std::uint16_t port = 0, senderPort = 0;
        receiver = udpSocket(port);
        sender = udpSocket(senderPort);
        sockaddr_storage address{};
        const socklen_t length = socketAddress("127.0.0.1", address, port);
        ok = receiver >= 0 && sender >= 0 && net::setNonBlocking(receiver, true) &&
             ::connect(sender, reinterpret_cast<sockaddr *>(&address), length) == 0;
    }
    ~DatagramPair()
    {
        net::closeSocket(receiver);
        net::closeSocket(sender);
    }
    bool send(const char *text) { return ::send(sender, text, std::strlen(text), 0) == ssize_t(std::strlen(text)); }
    int receiver = -1;
    int sender = -1;
    bool ok = false;
};

// Checks come one after another, each on a socket of its own: the stamping
// must still be on for the next one when the last one has closed.
TEST(ReceiveStamps, aDatagramReadLateIsTimedAtTheKernelsStampNotAtTheRead)
{
    {
        DatagramPair earlier;
        ASSERT_TRUE(earlier.ok);
        net::enableReceiveStamps(earlier.receiver);
    }
    // The kernel takes a moment to switch its stamping on or off.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    DatagramPair pair;
    ASSERT_TRUE(pair.ok);
    net::enableReceiveStamps(pair.receiver);
    // On loopback the datagram arrives, and is stamped, within the send.
    const std::uint64_t sendBegan = monoMicros();
    ASSERT_TRUE(pair.send("stamped"));
    const std::uint64_t sendEnded = monoMicros();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));

    char data[64] = {};
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const std::uint64_t seen = monoMicros();
    std::uint64_t arrived = 0;
    const ssize_t got = net::receiveStamped(pair.receiver, data, sizeof data, 0, reinterpret_cast<sockaddr *>(&from),
                                            &fromLength, seen, arrived);
    ASSERT_EQ(got, 7);
    EXPECT_STREQ(data, "stamped");
    EXPECT_EQ(from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    // The stamp is converted between clocks, which a busy machine may blur
    // by some milliseconds; without a stamp it would be the read, 30 ms on.
    EXPECT_GE(arrived + 10000, sendBegan) << "a receive stamp is required";
    EXPECT_LE(arrived, sendEnded + 10000) << "a receive stamp is required";
    EXPECT_GE(seen - arrived, 29000u) << "the datagram waited 30 ms before it was read";
    EXPECT_LE(arrived, seen);
}

TEST(ReceiveStamps, withoutAStampTheReadinessTimeStands)
{
    DatagramPair pair;
    ASSERT_TRUE(pair.ok);
    ASSERT_TRUE(pair.send("plain"));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    char data[64] = {};
    const std::uint64_t seen = monoMicros();
    std::uint64_t arrived = 0;
    ASSERT_EQ(net::receiveStamped(pair.receiver, data, sizeof data, 0, nullptr, nullptr, seen, arrived), 5);
    EXPECT_EQ(arrived, seen);

    // A failed read leaves the readiness time too.
    arrived = 0;
    EXPECT_LT(net::receiveStamped(pair.receiver, data, sizeof data, 0, nullptr, nullptr, seen, arrived), 0);
    EXPECT_EQ(arrived, seen);
}

TEST(ReceiveStamps, aStampTheWallClockHasMadeMeaninglessGivesTheReadinessTime)
{
    const std::uint64_t now = monoMicros();
    // The stamp that many nanoseconds from the wall clock's now, converted
    // against the readiness seen at `seen`.
    const auto converted = [](std::int64_t offset, std::uint64_t seen) {
        const std::int64_t nanos =
            std::chrono::nanoseconds(std::chrono::system_clock::now().time_since_epoch()).count() + offset;
        return net::realtimeStampToMonotonic(nanos / 1000000000, long(nanos % 1000000000), seen);
    };
    const std::uint64_t recent = converted(-2000000, now); // 2 ms ago
    EXPECT_GE(now - recent, 1900u);
    EXPECT_LT(now - recent, 1000000u); // so not later than now either: the difference would wrap
    EXPECT_EQ(converted(5000000000LL, now), now);     // from the future
    EXPECT_EQ(converted(-3600000000000LL, now), now); // an hour ago
    // A stamp later than the readiness that was seen cannot be right.
    EXPECT_EQ(converted(0, now - 10000), now - 10000);
}

// A loop that is busy elsewhere when the answer comes does not lengthen the
// response time: the connect is timed by the kernel's own measure of the
// handshake, the HTTP reply by its TCP segment's receive stamp.
TEST(ReceiveStamps, aBusyLoopLengthensNeitherTheConnectNorTheHttpReply)
{
    TcpServer server(TcpServer::Answer, 20, "HTTP/1.1 200 OK\r\n\r\n");
    RecordingHost host;
    {
        MonitorPort entry;
        CTcpProbe probe(host);
        ASSERT_EQ(probe.start(server.port(), "127.0.0.1", entry), 1);
        // The handshake on loopback is over long before the loop comes back.
        const std::uint64_t busyUntil = monoMicros() + 20000;
        while (monoMicros() < busyUntil) {
        }
        ASSERT_TRUE(host.waitReports(1, 4000));
        ASSERT_EQ(host.reports[0].result, ProbeResult::Answered);
        EXPECT_GE(host.reports[0].atMicros, busyUntil);
        // Timed at the loop's readiness it would be the 20 ms the loop was away.
        EXPECT_LT(entry.responseMicros, 15000u) << "timed at the readiness, not at the handshake";
        EXPECT_EQ(entry.responseTime, roundedMillis(entry.responseMicros));
        host.reports.clear();
    }
    MonitorPort entry;
    CHttpProbe probe(host);
    ASSERT_EQ(probe.start(server.port(), "127.0.0.1", entry), 1);
    // Run the loop until the request is out, then keep it away from the
    // socket for 80 ms: the reply comes 20 ms after the request, meanwhile.
    // Passes of at most 1 ms each, so the loop is left soon after the send.
    for (int pass = 0; pass < 3000 && server.firstRequest().empty(); ++pass)
        host.loop.processEvents(1);
    ASSERT_FALSE(server.firstRequest().empty());
    ASSERT_TRUE(host.reports.empty());
    const std::uint64_t busyUntil = monoMicros() + 80000;
    while (monoMicros() < busyUntil) {
    }
    ASSERT_TRUE(host.waitReports(1, 4000));
    ASSERT_EQ(host.reports[0].result, ProbeResult::Answered);
    EXPECT_GE(host.reports[0].atMicros, busyUntil);
    EXPECT_GE(entry.responseMicros, 19500u);
    // Timed at the read it would be the 80 ms the loop was away.
    EXPECT_LT(entry.responseMicros, 70000u) << "timed at the read, not at the segment's arrival";
    EXPECT_EQ(entry.responseTime, roundedMillis(entry.responseMicros));
}

// UDP checks whose sockets can all write at once, each report keeping the
// loop busy for 20 ms: a check's time ends where the loop saw its socket
// ready, before any report ran, not when its own turn came.
TEST(ReadinessTimes, checksReadyTogetherAreNotTimedWithEachOthersReports)
{
    RecordingHost host;
    host.busyMicros = 20000;
    std::uint16_t port = 0;
    const int receiver = udpSocket(port);
    ASSERT_GE(receiver, 0);
    constexpr std::size_t kChecks = 4;
    MonitorPort entries[kChecks];
    std::vector<std::unique_ptr<CUdpProbe>> probes;
    std::uint64_t startedBefore[kChecks] = {};
    for (std::size_t i = 0; i < kChecks; ++i) {
        startedBefore[i] = monoMicros();
        probes.push_back(std::make_unique<CUdpProbe>(host));
        ASSERT_EQ(probes.back()->start(port, "127.0.0.1", entries[i]), 1);
    }
    ASSERT_TRUE(host.waitReports(kChecks, 5000));
    for (std::size_t i = 0; i < kChecks; ++i) {
        ASSERT_EQ(host.reports[i].result, ProbeResult::Answered);
        EXPECT_LE(entries[i].responseMicros, host.reports[0].atMicros - startedBefore[i]) << "check " << i;
    }
    ::close(receiver);
}

} // namespace
} // namespace vigilon::test
