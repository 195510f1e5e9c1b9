// SPDX-License-Identifier: MIT
#include "probes/PingProbe.h"
#include "tests/support/Network.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <map>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vigilon {
namespace {

using test::RecordingHost;

// The layout of a request is the kernel's and the responder's to judge
// (SocketKindsRights..., ChecksUnderWayAtOnce...); here the checksum against
// RFC 1071's example and the stamps of requests sent within one millisecond.
TEST(PingProbe, ChecksumAndRequestStamps)
{
    // The words 0001 f203 f4f5 f6f7 sum to ddf2: the checksum is 220d, in
    // network order.
    const std::uint8_t words[] = {0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
    const std::uint16_t sum = CPingProbe::checksum(words, sizeof words);
    EXPECT_EQ(std::memcmp(&sum, "\x22\x0d", 2), 0);

    // Requests sent within one millisecond differ; a tick that has moved on
    // is taken as it is.
    const std::uint32_t first = CPingProbe::nextRequestStamp(1000u);
    EXPECT_GE(first, 1000u);
    EXPECT_EQ(CPingProbe::nextRequestStamp(1000u), first + 1);
    EXPECT_EQ(CPingProbe::nextRequestStamp(first), first + 2);
    EXPECT_EQ(CPingProbe::nextRequestStamp(first + 500), first + 500);
}

// Takes CAP_NET_RAW out of the effective set: no raw sockets any more.
bool dropRawSocketRight()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    data[CAP_NET_RAW / 32].effective &= ~(1u << (CAP_NET_RAW % 32));
    return syscall(SYS_capset, &header, data) == 0;
}

TEST(PingProbe, SocketKindsRightsAndLocalShortage)
{
    const int status = test::runInChild(
        [] {
            RecordingHost host;
            // Without the right to raw sockets, the datagram socket of the
            // process's group.
            CHILD_EXPECT(dropRawSocketRight() && socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP) < 0, 23);
            CHILD_EXPECT(test::shell("sysctl -qw 'net.ipv4.ping_group_range=0 0'"), 25);
            {
                // Also where the checks would share a raw socket.
                MonitorPort entry;
                const auto shared = std::make_shared<PingSockets>(host.loop);
                CPingProbe probe(host, nullptr, shared);
                CHILD_EXPECT(host.start(probe, 9, "127.0.0.1", entry) == 1 && probe.datagramSocket(), 26);
                CHILD_EXPECT(!shared->isOpen(AF_INET), 24);
                CHILD_EXPECT(host.waitReports(1, 3000) && host.reports[0].result == ProbeResult::Answered, 27);
                CHILD_EXPECT(entry.responseTime == roundedMillis(entry.responseMicros), 28);
            }
            // Out of descriptors: not started, nothing reported, not the
            // target's fault. Raising the limit again makes room. (After a
            // check that went through: the sanitizers' type checks need
            // descriptors the first time they see a class.)
            host.reports.clear();
            {
                rlimit limit{64, 4096};
                CHILD_EXPECT(setrlimit(RLIMIT_NOFILE, &limit) == 0, 20);
                for (int i = 0; i < 64 && open("/dev/null", O_RDONLY | O_CLOEXEC) >= 0; ++i) {
                }
                MonitorPort entry;
                CPingProbe probe(host);
                const int started = host.start(probe, 9, "127.0.0.1", entry);
                limit.rlim_cur = 4096;
                CHILD_EXPECT(setrlimit(RLIMIT_NOFILE, &limit) == 0, 20);
                CHILD_EXPECT(started == 0 && probe.localFailure(), 21);
                host.loop.runFor(50);
                CHILD_EXPECT(host.reports.empty() && host.loop.watchCount() == 0 && host.loop.timerCount() == 0, 22);
            }
            // Neither socket to be had: a failure of the check, reported
            // from inside start.
            CHILD_EXPECT(test::shell("sysctl -qw 'net.ipv4.ping_group_range=1 0'"), 29);
            host.reports.clear();
            MonitorPort entry;
            entry.responseTime = 777;
            CPingProbe none(host);
            CHILD_EXPECT(host.start(none, 9, "127.0.0.1", entry) == 0, 30);
            CHILD_EXPECT(host.reports.size() == 1 && host.reports[0].result == ProbeResult::Failed &&
                             host.reports[0].insideStart,
                         31);
            CHILD_EXPECT(entry.responseTime == 0 && !none.localFailure(), 32);
            // Its reason names the cause, for the list's tip and the graph.
            CHILD_EXPECT(none.failureReason().kind == FailureKind::NotPermitted, 33);
            return 0;
        },
        test::NetNamespace, 20000);
    if (status == -1)
        GTEST_SKIP() << "needs root for a network namespace";
    EXPECT_EQ(status, 0);
}

// An ICMP (ICMPv6) responder for one address of the loopback, 127.0.0.d
// (fd00::d), with the kernel's echo replies off. It surrounds every answer
// with unrelated traffic, a copy of the reply sent from 127.0.0.9 (fd00::9)
// first among it, and answers the requests to its address as plan says, in
// the order they come: the echo reply from itself, an error from 127.0.0.8
// (fd00::8) as from a router on the way; those the plan does not name go
// unanswered, and so does an ICMP request whose checksum is wrong, as the
// kernel's would.
class Responder {
public:
    enum Answer { Silent, Reply, Unreachable, TimeExceeded };

    Responder(bool v6, int last, std::vector<Answer> plan, unsigned delayMs)
        : v6_(v6), own_(address(last)), plan_(std::move(plan)), delayMs_(delayMs)
    {
        socket_ = boundSocket(own_);
        thread_ = std::thread([this] { run(); });
    }
    ~Responder()
    {
        stop_ = true;
        thread_.join();
        close(socket_); // -1: nothing to close
    }
    bool ok() const { return socket_ >= 0; }

private:
    using Bytes = std::vector<std::uint8_t>;
    std::string address(int last) const { return (v6_ ? "fd00::" : "127.0.0.") + std::to_string(last); }
    // A raw socket that sends from, and takes what comes to, address.
    int boundSocket(const std::string &address) const
    {
        sockaddr_storage a{};
        const socklen_t length = test::socketAddress(address, a);
        const int s = ::socket(a.ss_family, SOCK_RAW | SOCK_CLOEXEC, v6_ ? int(IPPROTO_ICMPV6) : int(IPPROTO_ICMP));
        if (s >= 0 && bind(s, reinterpret_cast<sockaddr *>(&a), length) != 0) {
            close(s);
            return -1;
        }
        return s;
    }
    // Sends message to the requester from the local address from.
    void send(Bytes message, const std::string &from)
    {
        message[2] = message[3] = 0;
        if (!v6_) { // the kernel sums ICMPv6 itself, over the addresses too
            const std::uint16_t sum = CPingProbe::checksum(message.data(), message.size());
            std::memcpy(&message[2], &sum, 2);
        }
        if (const int s = boundSocket(from); s >= 0) {
            sendto(s, message.data(), message.size(), 0, reinterpret_cast<sockaddr *>(&requester_), requesterLength_);
            close(s);
        }
    }
    // An error message (unreachable: ICMP 3/1, ICMPv6 1/3; time exceeded:
    // ICMP 11/0, ICMPv6 3/0) that quotes request as sent to this address.
    Bytes quoting(Answer answer, const Bytes &request) const
    {
        Bytes message(8, 0);
        message[0] = answer == Unreachable ? (v6_ ? 1 : 3) : (v6_ ? 3 : 11);
        message[1] = answer == Unreachable ? (v6_ ? 3 : 1) : 0;
        Bytes ip(v6_ ? 40 : 20, 0);
        ip[0] = v6_ ? 0x60 : 0x45;
        ip[v6_ ? 5 : 8] = v6_ ? static_cast<std::uint8_t>(request.size()) : 64; // payload length, TTL
        ip[v6_ ? 6 : 9] = v6_ ? int(IPPROTO_ICMPV6) : int(IPPROTO_ICMP);
        ip[7] = v6_ ? 64 : 0; // hop limit
        // The source and destination addresses.
        const std::size_t at = v6_ ? 8 : 12, size = v6_ ? 16 : 4;
        const auto &in6 = reinterpret_cast<const sockaddr_in6 &>(requester_);
        const auto &in = reinterpret_cast<const sockaddr_in &>(requester_);
        std::memcpy(&ip[at], v6_ ? static_cast<const void *>(&in6.sin6_addr) : &in.sin_addr, size);
        inet_pton(v6_ ? AF_INET6 : AF_INET, own_.c_str(), &ip[at + size]);
        message.insert(message.end(), ip.begin(), ip.end());
        // IPv4 quotes the first 8 bytes, IPv6 as much as fits.
        message.insert(message.end(), request.begin(), request.begin() + (v6_ ? request.size() : 8));
        return message;
    }
    void run()
    {
        const std::uint64_t deadline = test::monoMicros() + 3000000;
        const std::uint8_t echoRequest = v6_ ? 128 : 8, echoReply = v6_ ? 129 : 0;
        std::uint8_t buffer[2048];
        std::size_t nth = 0;
        while (socket_ >= 0 && !stop_ && test::monoMicros() < deadline) {
            pollfd p{socket_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            requesterLength_ = sizeof requester_;
            const ssize_t got =
                recvfrom(socket_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&requester_), &requesterLength_);
            // The IPv4 header comes with the message, the IPv6 one does not.
            const std::size_t header = v6_ ? 0 : std::size_t(buffer[0] & 0x0f) * 4;
            const std::uint8_t *icmp = buffer + header;
            if (got < ssize_t(header + 18) || icmp[0] != echoRequest || icmp[8] != 0x51 ||
                (!v6_ && CPingProbe::checksum(icmp, std::size_t(got) - header) != 0))
                continue;
            const Answer answer = nth < plan_.size() ? plan_[nth] : Silent;
            ++nth;
            const Bytes request(icmp, icmp + 18);
            Bytes reply = request;
            reply[0] = echoReply;
            send(reply, address(9));
            // Unrelated: a reply to someone else, a reply with our numbers
            // but other data, an error about someone else's request, and an
            // unrelated message (timestamp; ICMPv6 neighbour solicitation).
            Bytes other = reply;
            other[4] ^= 0x5a;
            other[6] ^= 0xa5;
            send(other, own_);
            Bytes wrongData = reply;
            wrongData[12] ^= 0xff;
            send(wrongData, own_);
            Bytes otherRequest = request;
            otherRequest[6] ^= 0x11;
            send(quoting(Unreachable, otherRequest), own_);
            Bytes unrelated(v6_ ? 24 : 20, 0);
            unrelated[0] = v6_ ? 135 : 13;
            send(unrelated, own_);
            if (answer == Silent)
                continue;
            usleep(delayMs_ * 1000);
            if (answer == Reply)
                send(reply, own_);
            else
                send(quoting(answer, request), address(8));
        }
    }

    bool v6_;
    std::string own_;
    std::vector<Answer> plan_;
    unsigned delayMs_;
    int socket_ = -1;
    sockaddr_storage requester_{};
    socklen_t requesterLength_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Checks under way at the same time, to one target and to several, on both
// kinds of socket of their own and on the raw socket they share (as many as
// it takes, the others on raw sockets of their own), in both families: each
// is decided by the answer to
// its own request only, also when two of them were sent within the same
// millisecond, and never by a reply from another host than the target;
// an error about the request decides it whoever sends it. A check whose
// entry goes away is never heard of, and finished checks hold no timer and
// no watch. The child's failures are the test's own assertions.
TEST(PingProbe, ChecksUnderWayAtOnceAreEachDecidedByTheirOwnAnswer)
{
    const int status = test::runInChild(
        [] {
            CHILD_EXPECT(test::shell("sysctl -qw net.ipv4.icmp_echo_ignore_all=1 net.ipv6.icmp.echo_ignore_all=1 "
                                     "'net.ipv4.ping_group_range=0 2147483647'"),
                         20);
            for (int last : {1, 2, 3, 4, 5, 8, 9})
                CHILD_EXPECT(test::addIpv6ToLoopback("fd00::" + std::to_string(last)), 21);
            using R = Responder;
            struct Case {
                const char *target4, *target6;
                ProbeResult result;
                int type4, type6, done;
            };
            // Two checks to .1: the first is answered, the second refused;
            // .3 never answers, only .9 does.
            const Case cases[] = {{"127.0.0.1", "fd00::1", ProbeResult::Answered, 0, 129, 1},
                                  {"127.0.0.1", "fd00::1", ProbeResult::Failed, 3, 1, 1},
                                  {"127.0.0.2", "[fd00::2]", ProbeResult::Failed, 11, 3, 1},
                                  {"127.0.0.3", "fd00::3", ProbeResult::Failed, -1, -1, 2},
                                  {"127.0.0.4", "fd00::4", ProbeResult::Answered, 0, 129, 1}};
            constexpr std::size_t count = sizeof cases / sizeof cases[0];
            // What the responder of each address answers, in order (.5: the
            // check whose entry goes away).
            const std::map<int, std::vector<R::Answer>> plans{
                {1, {R::Reply, R::Unreachable}}, {2, {R::TimeExceeded}}, {3, {}}, {4, {R::Reply}}, {5, {R::Reply}}};
            for (const bool v6 : {false, true}) {
                for (const char *socketKind : {"raw", "datagram", "shared raw"}) {
                    const bool sharing = socketKind[0] == 's';
                    const auto choice = socketKind[0] == 'd' ? CPingProbe::DatagramOnly : CPingProbe::RawOnly;
                    std::vector<std::unique_ptr<R>> responders;
                    for (const auto &[last, plan] : plans) {
                        responders.push_back(std::make_unique<R>(v6, last, plan, 30));
                        CHILD_EXPECT(responders.back()->ok(), 22);
                    }
                    RecordingHost host;
                    MonitorPort entries[count + 1]; // the last one, to .5, goes away at once
                    std::vector<std::unique_ptr<CPingProbe>> probes;
                    constexpr unsigned kShared = 3;
                    const auto shared = sharing ? std::make_shared<PingSockets>(host.loop, kShared) : nullptr;
                    const std::uint64_t began = test::monoMicros();
                    for (std::size_t i = 0; i <= count; ++i) {
                        probes.push_back(std::make_unique<CPingProbe>(host, nullptr, shared));
                        probes.back()->setSocketChoice(choice);
                        const char *target = v6 ? (i < count ? cases[i].target6 : "fd00::5")
                                                : (i < count ? cases[i].target4 : "127.0.0.5");
                        CHILD_EXPECT(probes.back()->start(0, target, entries[i]) == 1, 23);
                    }
                    // The last check's entry goes away; where the socket is
                    // shared, its probe goes too, with its reply still to come.
                    probes.back()->detachEntry();
                    if (sharing)
                        probes.back().reset();
                    // One socket and one watch for those that share it.
                    EXPECT_EQ(host.loop.watchCount(), sharing ? 1 + count - kShared : count + 1);
                    CHILD_EXPECT(!sharing || shared->isOpen(v6 ? AF_INET6 : AF_INET), 25);
                    host.waitReports(count, 3000);
                    EXPECT_EQ(host.reports.size(), count);
                    for (std::size_t i = 0; i < count; ++i) {
                        const Case &c = cases[i];
                        SCOPED_TRACE(std::string(socketKind) + " socket, check " +
                                     std::to_string(i) + " to " + (v6 ? c.target6 : c.target4));
                        const auto mine = host.reportsFor(entries[i]);
                        CHILD_EXPECT(mine.size() == 1, 24);
                        const RecordingHost::Report *r = &mine[0];
                        const PingReply &reply = probes[i]->reply();
                        EXPECT_EQ(r->result, c.result);
                        EXPECT_EQ(reply.type, v6 ? c.type6 : c.type4);
                        EXPECT_EQ(probes[i]->done(), c.done);
                        EXPECT_GE(reply.skipped, 2u);
                        if (c.result == ProbeResult::Answered) {
                            EXPECT_GE(entries[i].responseMicros, 30000u);
                            EXPECT_LT(entries[i].responseMicros, 500000u);
                        } else {
                            EXPECT_EQ(entries[i].responseTime, 0u);
                        }
                        if (c.type4 == 3) {
                            EXPECT_EQ(reply.code, v6 ? 3 : 1);
                            EXPECT_EQ(reply.text, v6 ? "Address is unreachable." : "Host is unreachable.");
                        }
                        if (c.type4 == 3 || c.type4 == 11) {
                            EXPECT_EQ(reply.source.text(), v6 ? "fd00::8" : "127.0.0.8");
                        }
                        if (c.done == 2)
                            EXPECT_GE(r->atMicros - began, 1950000u);
                        else
                            EXPECT_LT(r->atMicros - began, 1000000u);
                    }
                    // Answered, but its entry is neither reported nor touched.
                    EXPECT_TRUE(sharing || probes[count]->done() == 1);
                    EXPECT_EQ(entries[count].responseMicros, 0u);
                    // A nonce of its own for each request, so none can be guessed.
                    EXPECT_NE(std::memcmp(&probes[0]->request()[10], &probes[1]->request()[10], 4), 0);
                    // The shared socket is closed a while after the last check.
                    if (sharing)
                        host.loop.runFor(ping::SharedLingerMs + 100);
                    EXPECT_EQ(host.loop.timerCount(), 0u);
                    EXPECT_EQ(host.loop.watchCount(), 0u);
                    EXPECT_TRUE(!shared || !shared->isOpen(v6 ? AF_INET6 : AF_INET));
                }
            }
            return ::testing::Test::HasFailure() ? 30 : 0;
        },
        test::NetNamespace, 30000);
    if (status == -1)
        GTEST_SKIP() << "needs root for a network namespace";
    EXPECT_EQ(status, 0);
}

// A raw socket's check reads only what may answer it: its own request seen
// on the loopback, the other checks' requests and other ICMP messages that
// reach the host never wake it.
TEST(PingProbe, ARawSocketTakesInOnlyRepliesAndErrors)
{
    const int status = test::runInChild(
        [] {
            CHILD_EXPECT(test::shell("sysctl -qw net.ipv4.icmp_echo_ignore_all=1"), 20);
            RecordingHost host;
            MonitorPort entry;
            CPingProbe probe(host);
            probe.setSocketChoice(CPingProbe::RawOnly);
            CHILD_EXPECT(probe.start(0, "127.0.0.1", entry) == 1, 21);
            const int other = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            for (std::uint8_t type : {8, 13, 8, 17, 8}) { // echo, timestamp, address mask requests
                std::uint8_t message[20] = {type};
                const std::uint16_t sum = CPingProbe::checksum(message, sizeof message);
                std::memcpy(&message[2], &sum, 2);
                sendto(other, message, sizeof message, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
            }
            close(other);
            host.waitReports(1, 300);
            EXPECT_TRUE(host.reports.empty());
            EXPECT_EQ(probe.reply().skipped, 0u);
            return ::testing::Test::HasFailure() ? 30 : 0;
        },
        test::NetNamespace, 10000);
    if (status == -1)
        GTEST_SKIP() << "needs root for a network namespace";
    EXPECT_EQ(status, 0);
}

} // namespace
} // namespace vigilon
