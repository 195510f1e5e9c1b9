// SPDX-License-Identifier: MIT
// Arrival times from the kernel (receive stamps, the handshake's round trip),
// and the start of the measured interval right before the network call.
#include "probes/SocketProbe.h"
#include "probes/SocketUtil.h"
#include "tests/probes/ProbeTestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <ctime>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vigilon::test {
namespace {

std::int64_t realNanos()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void sleepMicros(std::uint64_t micros)
{
    const std::uint64_t until = monoMicros() + micros;
    while (monoMicros() < until)
        ::usleep(1000);
}

// Two UDP sockets on loopback, the receiver bound to a port of its own.
struct DatagramPair {
    DatagramPair()
    {
        receiver = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ok = receiver >= 0 && sender >= 0 &&
             ::bind(receiver, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
             ::getsockname(receiver, reinterpret_cast<sockaddr *>(&address), &length) == 0;
    }
    ~DatagramPair()
    {
        net::closeSocket(receiver);
        net::closeSocket(sender);
    }
    bool send(const char *text)
    {
        return ::sendto(sender, text, std::strlen(text), 0, reinterpret_cast<sockaddr *>(&address), sizeof address) ==
               ssize_t(std::strlen(text));
    }
    // The kernel's own stamp of the queued datagram, read without taking it.
    bool peekStamp(timespec &stamp)
    {
        char data[64];
        iovec io{data, sizeof data};
        alignas(cmsghdr) char control[128];
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        if (::recvmsg(receiver, &message, MSG_PEEK) < 0)
            return false;
        for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                return true;
            }
        }
        return false;
    }

    int receiver = -1;
    int sender = -1;
    sockaddr_in address{};
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
    sleepMicros(20000);
    DatagramPair pair;
    ASSERT_TRUE(pair.ok);
    net::enableReceiveStamps(pair.receiver);
    ASSERT_TRUE(pair.send("stamped"));
    sleepMicros(30000);

    timespec stamp{};
    ASSERT_TRUE(pair.peekStamp(stamp)) << "the socket carries no receive stamp";
    // Where the stamp lies on the monotonic clock, by the test's own reckoning.
    const std::uint64_t monoBefore = monoMicros();
    const std::int64_t realNow = realNanos();
    const std::uint64_t monoAfter = monoMicros();
    const std::int64_t stampNanos = std::int64_t(stamp.tv_sec) * 1000000000 + stamp.tv_nsec;
    const double expected = double(monoBefore + monoAfter) / 2 - double(realNow - stampNanos) / 1000.0;

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
    EXPECT_NEAR(double(arrived), expected, 200.0);
    EXPECT_GE(seen - arrived, 29000u) << "the datagram waited 30 ms before it was read";
    EXPECT_LE(arrived, seen);
}

TEST(ReceiveStamps, withoutAStampTheReadinessTimeStands)
{
    DatagramPair pair;
    ASSERT_TRUE(pair.ok);
    ASSERT_TRUE(pair.send("plain"));
    sleepMicros(5000);
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
    const auto split = [](std::int64_t nanos, std::int64_t &seconds, long &rest) {
        seconds = nanos / 1000000000;
        rest = long(nanos % 1000000000);
    };
    std::int64_t seconds = 0;
    long nanos = 0;
    const std::uint64_t now = monoMicros();

    split(realNanos() - 2000000, seconds, nanos); // 2 ms ago
    const std::uint64_t recent = net::realtimeStampToMonotonic(seconds, nanos, now);
    EXPECT_LE(recent, now);
    EXPECT_GE(now - recent, 1900u);
    EXPECT_LT(now - recent, 2500u);

    split(realNanos() + 5000000000LL, seconds, nanos); // from the future
    EXPECT_EQ(net::realtimeStampToMonotonic(seconds, nanos, now), now);
    split(realNanos() - 3600000000000LL, seconds, nanos); // an hour ago
    EXPECT_EQ(net::realtimeStampToMonotonic(seconds, nanos, now), now);

    // A stamp later than the readiness that was seen cannot be right.
    split(realNanos(), seconds, nanos);
    EXPECT_EQ(net::realtimeStampToMonotonic(seconds, nanos, now - 10000), now - 10000);
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
        CTcpProbe probe(Regular, host);
        ASSERT_EQ(probe.start(server.port(), "127.0.0.1", entry), 1);
        // The handshake on loopback is over long before the loop comes back.
        const std::uint64_t busyUntil = monoMicros() + 20000;
        while (monoMicros() < busyUntil) {
        }
        ASSERT_TRUE(host.waitReports(1, 4000));
        ASSERT_EQ(host.reports[0].code, TcpOk);
        EXPECT_GE(host.reports[0].atMicros, busyUntil);
        EXPECT_LT(entry.responseMicros, 5000u) << "timed at the readiness, not at the handshake";
        EXPECT_EQ(entry.responseTime, roundedMillis(entry.responseMicros));
        host.reports.clear();
    }
    MonitorPort entry;
    CHttpProbe probe(Regular, host);
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
    ASSERT_EQ(host.reports[0].code, HttpOk);
    EXPECT_GE(host.reports[0].atMicros, busyUntil);
    EXPECT_GE(entry.responseMicros, 19500u);
    EXPECT_LT(entry.responseMicros, 40000u) << "timed at the read, not at the segment's arrival";
    EXPECT_EQ(entry.responseTime, roundedMillis(entry.responseMicros));
}

} // namespace
} // namespace vigilon::test
