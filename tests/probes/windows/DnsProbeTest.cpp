// SPDX-License-Identifier: MIT
// The DNS check on Winsock under Wine, against dnsmasq on loopback (started
// by dns-test.sh, its port in VIGILON_DNS_PORT): an answer, NXDOMAIN, an
// answer that came over TCP after a truncated one, and a server that never
// answers; each on the poll loop and on the loop of window messages.
#include "base/PollEventLoop.h"
#include "probes/DnsProbe.h"
#include "win/WinEventLoop.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace vigilon {
namespace {

template <class Loop>
class Host final : public ProbeHost {
public:
    void reportResult(ProbeResult result, MonitorPort &) override { results.push_back(result); }
    EventLoop &eventLoop() override { return loop; }
    const Clock &clock() const override { return SystemClock::instance(); }
    Loop loop;
    std::vector<ProbeResult> results;
};

template <class Loop>
class WinDns : public ::testing::Test {
protected:
    void SetUp() override
    {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
        const char *port = std::getenv("VIGILON_DNS_PORT");
        ASSERT_TRUE(port) << "run through dns-test.sh";
        port_ = static_cast<std::uint32_t>(std::atoi(port));
    }
    void TearDown() override { WSACleanup(); }

    // One check; its result, and reason when it failed.
    ProbeResult check(const std::string &name, const std::string &type, const std::string &expect,
                      FailureReason &reason, std::uint32_t port = 0)
    {
        Host<Loop> host;
        MonitorPort entry;
        entry.protocol = Dns;
        entry.dnsName = name;
        entry.dnsType = type;
        entry.dnsExpect = expect;
        CDnsProbe probe(host);
        EXPECT_EQ(probe.start(port != 0 ? port : port_, "127.0.0.1", entry), 1);
        EXPECT_TRUE(host.loop.runUntil([&] { return !host.results.empty(); }, 8000));
        reason = probe.failureReason();
        EXPECT_EQ(host.results.size(), 1u);
        return host.results.empty() ? ProbeResult::Failed : host.results[0];
    }

    std::uint32_t port_ = 0;
};
using Loops = ::testing::Types<PollEventLoop, win::WinEventLoop>;
TYPED_TEST_SUITE(WinDns, Loops);

TYPED_TEST(WinDns, AnswerNxdomainAndTcpAfterTruncation)
{
    FailureReason reason;
    EXPECT_EQ(this->check("www.test.example", "A", "=192.0.2.10", reason), ProbeResult::Answered)
        << reasonText(reason);
    EXPECT_EQ(this->check("www.test.example", "A", "=192.0.2.11", reason), ProbeResult::Failed);
    EXPECT_EQ(reasonText(reason), "answer differs (192.0.2.10)");
    EXPECT_EQ(this->check("nothing.test.example", "A", "", reason), ProbeResult::Failed);
    EXPECT_EQ(reason.kind, FailureKind::DnsNxDomain);
    std::string all = "=";
    for (char letter = 'a'; letter <= 'j'; ++letter)
        all += (all.size() > 1 ? "," : "") + std::string(200, letter);
    EXPECT_EQ(this->check("big.test.example", "TXT", all, reason), ProbeResult::Answered) << reasonText(reason);
}

TYPED_TEST(WinDns, ServerThatNeverAnswersTimesOut)
{
    // A UDP socket that takes the queries and never reads them.
    const SOCKET silent = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_NE(silent, INVALID_SOCKET);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr *>(&address), length), 0);
    ASSERT_EQ(::getsockname(silent, reinterpret_cast<sockaddr *>(&address), &length), 0);
    FailureReason reason;
    EXPECT_EQ(this->check("www.test.example", "A", "", reason, ntohs(address.sin_port)), ProbeResult::Failed);
    EXPECT_EQ(reason.kind, FailureKind::TimedOut);
    ::closesocket(silent);
}

} // namespace
} // namespace vigilon
