// SPDX-License-Identifier: MIT
#include "probes/PingProbe.h"
#include "probes/SocketProbe.h"
#include "tests/probes/ProbeTestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vigilon {
namespace {

using test::RecordingHost;

#define CHILD_EXPECT(condition, code)                                                                                \
    do {                                                                                                             \
        if (!(condition)) {                                                                                          \
            std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition);                             \
            return code;                                                                                             \
        }                                                                                                            \
    } while (0)

bool writeProc(const char *path, const char *value)
{
    std::ofstream file(path);
    file << value;
    file.close();
    return bool(file);
}

TEST(PingProbe, RequestIsEighteenBytesWithTheTickTwiceAndAValidChecksum)
{
    const auto request = CPingProbe::buildRequest(0x12345678u);
    ASSERT_EQ(request.size(), 18u);
    EXPECT_EQ(request[0], 8);
    EXPECT_EQ(request[1], 0);
    const std::uint8_t tick[4] = {0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(std::memcmp(&request[4], tick, 4), 0);
    EXPECT_EQ(request[8], 0x51);
    EXPECT_EQ(request[9], 0);
    EXPECT_EQ(std::memcmp(&request[10], tick, 4), 0);
    for (int i = 14; i < 18; ++i)
        EXPECT_EQ(request[i], 0);
    // A correct checksum makes the sum over the whole message come out 0.
    EXPECT_EQ(CPingProbe::checksum(request.data(), request.size()), 0);
    // RFC 1071's example words 0001 f203 f4f5 f6f7 sum to ddf2, so the
    // checksum is 220d (in network order here).
    const std::uint8_t words[] = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
    const std::uint16_t sum = CPingProbe::checksum(words, sizeof words);
    const std::uint8_t *bytes = reinterpret_cast<const std::uint8_t *>(&sum);
    EXPECT_EQ(bytes[0], 0x22);
    EXPECT_EQ(bytes[1], 0x0d);
}

TEST(PingProbe, UnreachableTexts)
{
    EXPECT_STREQ(CPingProbe::unreachableText(0), "Network is unreachable.");
    EXPECT_STREQ(CPingProbe::unreachableText(3), "Port is unreachable.");
    EXPECT_STREQ(CPingProbe::unreachableText(12), "Host is unreachable for specified Type of Service.");
    EXPECT_STREQ(CPingProbe::unreachableText(13), "unknown error");
    EXPECT_STREQ(CPingProbe::unreachableText(255), "unknown error");
}

TEST(PingProbe, LoopbackEchoSkipsOurOwnRequest)
{
    RecordingHost host;
    CPingCheck check(host);
    check.setSocketChoice(CPingProbe::RawOnly);
    MonitorPort entry;
    entry.port = 9; // plays no part
    entry.responseTime = 777;
    const int outcome = check.run("127.0.0.1", entry);
    if (!test::isRoot() && outcome == 0)
        GTEST_SKIP() << "no raw ICMP socket without CAP_NET_RAW";
    EXPECT_EQ(outcome, 1);
    EXPECT_EQ(check.lastReply().type, 0);
    EXPECT_EQ(check.lastReply().source, htonl(INADDR_LOOPBACK));
    // A raw socket sees our own request on loopback first; it is not the answer.
    EXPECT_GE(check.lastReply().skipped, 1u);
    EXPECT_LT(entry.responseMicros, 500000u);
    EXPECT_EQ(entry.responseTime, (entry.responseMicros + 500) / 1000);
    EXPECT_FALSE(check.active());
    EXPECT_TRUE(host.reports.empty());
}

TEST(PingProbe, SocketKinds)
{
    const int status = test::runInChild(
        [] {
            RecordingHost host;
            MonitorPort entry;
            // The unprivileged datagram socket, where the group may have one.
            CHILD_EXPECT(writeProc("/proc/sys/net/ipv4/ping_group_range", "0 2147483647"), 20);
            CPingCheck datagram(host);
            datagram.setSocketChoice(CPingProbe::DatagramOnly);
            CHILD_EXPECT(datagram.run("127.0.0.1", entry) == 1, 21);
            CHILD_EXPECT(entry.responseTime == (entry.responseMicros + 500) / 1000, 22);

            // Neither socket to be had: the check fails.
            CHILD_EXPECT(writeProc("/proc/sys/net/ipv4/ping_group_range", "1 0"), 23);
            CHILD_EXPECT(setgid(65534) == 0 && setuid(65534) == 0, 24);
            CPingCheck none(host);
            entry.responseTime = 777;
            CHILD_EXPECT(none.run("127.0.0.1", entry) == 0, 25);
            CHILD_EXPECT(entry.responseTime == 0, 26);
            CHILD_EXPECT(!none.localFailure(), 27);
            return 0;
        },
        test::NetNamespace, 20000);
    if (status == -1)
        GTEST_SKIP() << "needs root for a network namespace";
    EXPECT_EQ(status, 0);
}

TEST(DroppingHost, EveryKindEndsAtItsDeadline)
{
    const int status = test::runInChild(
        [] {
            // 10.99.0.2 lies behind a link whose far end takes nothing: the
            // frames go to a hardware address that nobody has.
            CHILD_EXPECT(test::shell("ip link add vgdrop0 type veth peer name vgdrop1") &&
                             test::shell("ip addr add 10.99.0.1/24 dev vgdrop0") &&
                             test::shell("ip link set vgdrop0 up") && test::shell("ip link set vgdrop1 up") &&
                             test::shell("ip neigh add 10.99.0.2 lladdr 02:00:00:00:99:02 dev vgdrop0 nud permanent"),
                         20);
            RecordingHost host;
            MonitorPort ping;
            CPingCheck check(host);
            std::uint64_t began = test::monoMicros();
            CHILD_EXPECT(check.run("10.99.0.2", ping) == 0, 21);
            const std::uint64_t took = test::monoMicros() - began;
            CHILD_EXPECT(took >= 1950000 && took < 2600000, 22);
            CHILD_EXPECT(ping.responseTime == 0, 23);

            MonitorPort tcp, http, udp;
            CTcpProbe tcpProbe(Regular, host);
            CHttpProbe httpProbe(Regular, host);
            CUdpProbe udpProbe(Regular, host);
            began = test::monoMicros();
            CHILD_EXPECT(tcpProbe.start(80, "10.99.0.2", tcp) == 1, 24);
            CHILD_EXPECT(httpProbe.start(80, "10.99.0.2", http) == 1, 25);
            CHILD_EXPECT(udpProbe.start(53, "10.99.0.2", udp) == 1, 26);
            host.waitReports(3, 4000);
            host.loop.runFor(100);
            CHILD_EXPECT(host.reports.size() == 3, 27);
            CHILD_EXPECT(host.countOf(TcpFailed) == 1 && host.countOf(HttpFailed) == 1, 28);
            // UDP only hands the datagram to the network.
            CHILD_EXPECT(host.countOf(UdpOk) == 1, 29);
            for (const auto &r : host.reports) {
                if (r.code != UdpOk)
                    CHILD_EXPECT(r.atMicros - began >= 2900000, 30);
            }
            CHILD_EXPECT(tcpProbe.done() == 2 && httpProbe.done() == 2 && udpProbe.done() == 1, 31);
            return 0;
        },
        test::NetNamespace, 20000);
    if (status == -1)
        GTEST_SKIP() << "needs root for a network namespace";
    EXPECT_EQ(status, 0);
}

// An ICMP responder on loopback (kernel echo replies off) that surrounds the
// probe's request with unrelated traffic and then answers as told.
class Responder {
public:
    enum Answer { Silent, Reply, Unreachable, TimeExceeded };

    Responder(Answer answer, unsigned delayMs) : answer_(answer), delayMs_(delayMs)
    {
        socket_ = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        thread_ = std::thread([this] { run(); });
    }
    ~Responder()
    {
        thread_.join();
        if (socket_ >= 0)
            close(socket_);
    }
    bool ok() const { return socket_ >= 0; }

private:
    void send(std::vector<std::uint8_t> message)
    {
        message[2] = message[3] = 0;
        const std::uint16_t sum = CPingProbe::checksum(message.data(), message.size());
        std::memcpy(&message[2], &sum, 2);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sendto(socket_, message.data(), message.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    }
    std::vector<std::uint8_t> quoting(std::uint8_t type, std::uint8_t code, const std::uint8_t *request)
    {
        std::vector<std::uint8_t> message(8 + 20 + 8, 0);
        message[0] = type;
        message[1] = code;
        std::uint8_t *ip = &message[8];
        ip[0] = 0x45;
        ip[8] = 64;
        ip[9] = IPPROTO_ICMP;
        const std::uint32_t loopback = htonl(INADDR_LOOPBACK);
        std::memcpy(ip + 12, &loopback, 4);
        std::memcpy(ip + 16, &loopback, 4);
        std::memcpy(&message[28], request, 8);
        return message;
    }
    void run()
    {
        if (socket_ < 0)
            return;
        const std::uint64_t deadline = test::monoMicros() + 3000000;
        std::uint8_t buffer[2048];
        while (test::monoMicros() < deadline) {
            pollfd p{socket_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t got = recv(socket_, buffer, sizeof buffer, 0);
            if (got < 20 + 18)
                continue;
            const std::uint8_t *icmp = buffer + (buffer[0] & 0x0f) * 4;
            if (icmp[0] != 8 || icmp[8] != 0x51)
                continue;
            std::vector<std::uint8_t> request(icmp, icmp + 18);
            // Unrelated: a reply to someone else, a reply with our numbers
            // but other data, an error about someone else's request, and an
            // unrelated message type.
            std::vector<std::uint8_t> other = request;
            other[0] = 0;
            other[4] ^= 0x5a;
            other[6] ^= 0xa5;
            send(other);
            std::vector<std::uint8_t> wrongData = request;
            wrongData[0] = 0;
            wrongData[12] ^= 0xff;
            send(wrongData);
            std::vector<std::uint8_t> otherRequest = request;
            otherRequest[6] ^= 0x11;
            send(quoting(3, 1, otherRequest.data()));
            send(std::vector<std::uint8_t>{13, 0, 0, 0, 1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
            usleep(delayMs_ * 1000);
            if (answer_ == Reply) {
                request[0] = 0;
                send(request);
            } else if (answer_ == Unreachable) {
                send(quoting(3, 1, request.data()));
            } else if (answer_ == TimeExceeded) {
                send(quoting(11, 0, request.data()));
            }
            return;
        }
    }

    Answer answer_;
    unsigned delayMs_;
    int socket_ = -1;
    std::thread thread_;
};

TEST(PingProbe, OnlyTheAnswerToThisRequestDecides)
{
    const int status = test::runInChild(
        [] {
            CHILD_EXPECT(writeProc("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1"), 20);
            CHILD_EXPECT(writeProc("/proc/sys/net/ipv4/ping_group_range", "0 2147483647"), 21);
            RecordingHost host;
            int failures = 0;
            for (auto choice : {CPingProbe::RawOnly, CPingProbe::DatagramOnly}) {
                const char *kind = choice == CPingProbe::RawOnly ? "raw" : "datagram";
                for (auto answer : {Responder::Reply, Responder::Unreachable, Responder::TimeExceeded, Responder::Silent}) {
                    Responder responder(answer, 30);
                    CHILD_EXPECT(responder.ok(), 22);
                    CPingCheck check(host);
                    check.setSocketChoice(choice);
                    MonitorPort entry;
                    const std::uint64_t began = test::monoMicros();
                    const int outcome = check.run("127.0.0.1", entry);
                    const std::uint64_t took = test::monoMicros() - began;
                    const PingReply &reply = check.lastReply();
                    bool right = false;
                    switch (answer) {
                    case Responder::Reply:
                        right = outcome == 1 && reply.type == 0 && entry.responseMicros >= 30000 &&
                                entry.responseMicros < 500000 && reply.skipped >= 2;
                        break;
                    case Responder::Unreachable:
                        right = outcome == 0 && reply.type == 3 && reply.code == 1 &&
                                reply.text == "Host is unreachable." && entry.responseTime == 0 && took < 1000000;
                        break;
                    case Responder::TimeExceeded:
                        right = outcome == 0 && reply.type == 11 && entry.responseTime == 0 && took < 1000000;
                        break;
                    case Responder::Silent:
                        right = outcome == 0 && reply.type == -1 && took >= 1950000 && reply.skipped >= 2;
                        break;
                    }
                    if (!right) {
                        std::fprintf(stderr,
                                     "%s socket, answer %d: outcome %d type %d code %d skipped %u rtt %llu us took "
                                     "%llu us\n",
                                     kind, int(answer), outcome, reply.type, reply.code, reply.skipped,
                                     static_cast<unsigned long long>(entry.responseMicros),
                                     static_cast<unsigned long long>(took));
                        ++failures;
                    }
                }
            }
            return failures == 0 ? 0 : 30;
        },
        test::NetNamespace, 60000);
    if (status == -1)
        GTEST_SKIP() << "needs root for a network namespace";
    EXPECT_EQ(status, 0);
}

} // namespace
} // namespace vigilon
