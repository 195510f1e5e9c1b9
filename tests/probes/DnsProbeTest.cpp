// SPDX-License-Identifier: MIT
#include "probes/DnsProbe.h"
#include "tests/support/DnsServer.h"
#include "tests/support/Network.h"
#include "base/Language.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace vigilon {
namespace {

using test::DnsServer;
using test::RecordingHost;

std::vector<std::string> records()
{
    std::vector<std::string> out{
        "--host-record=www.test.example,192.0.2.10,2001:db8::10",
        "--host-record=two.test.example,192.0.2.21",
        "--host-record=two.test.example,192.0.2.22",
        "--cname=alias.test.example,www.test.example",
        "--mx-host=test.example,mail.test.example,10",
        "--mx-host=test.example,backup.test.example,20",
        "--txt-record=txt.test.example,v=spf1 -all",
        "--srv-host=_sip._tcp.test.example,sip.test.example,5060,10,20",
        "--caa-record=test.example,0,issue,ca.example",
        // Authoritative for test.example and its addresses' reverse zones:
        // that gives the zone its NS and SOA records and the addresses
        // their PTR records.
        "--auth-server=ns1.test.example,127.0.0.1",
        "--auth-zone=test.example,192.0.2.0/24,2001:db8::/32",
        "--auth-soa=2024010101,hostmaster.test.example,1200,180,1209600",
        // Names under test.example that no record names do not exist.
        "--local=/test.example/",
    };
    // TXT records of 200 characters: ten of them do not fit a 512-byte UDP
    // answer, so the server sets the truncation bit and the query goes
    // again over TCP.
    for (char letter = 'a'; letter < 'k'; ++letter)
        out.push_back("--txt-record=big.test.example," + std::string(200, letter));
    return out;
}

class DnsProbeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (DnsServer::available())
            server_ = new DnsServer(records());
    }
    static void TearDownTestSuite()
    {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override
    {
        if (!DnsServer::available())
            GTEST_SKIP() << "dnsmasq is not installed (scripts/bootstrap.sh installs it)";
        ASSERT_TRUE(server_->ok()) << server_->log();
    }

    // Checks name and type against the server (or port, when given) and
    // returns the report's result; reason holds why it failed.
    ProbeResult check(const std::string &name, const std::string &type, const std::string &expect,
                      FailureReason &reason, std::uint16_t port = 0, const std::string &host = "127.0.0.1")
    {
        MonitorPort entry;
        entry.protocol = Dns;
        entry.dnsName = name;
        entry.dnsType = type;
        entry.dnsExpect = expect;
        CDnsProbe probe(host_);
        const std::size_t before = host_.reports.size();
        EXPECT_EQ(host_.start(probe, port != 0 ? port : server_->port(), host, entry), 1);
        EXPECT_TRUE(host_.waitReports(before + 1, 6000));
        EXPECT_EQ(host_.reports.size(), before + 1);
        reason = probe.failureReason();
        // A finished check leaves nothing on the loop.
        EXPECT_EQ(host_.loop.watchCount(), 0u);
        EXPECT_FALSE(host_.loop.hasTimer(&probe, probe::DnsLibraryTimer));
        EXPECT_FALSE(host_.loop.hasTimer(&probe, probe::DeadlineTimer));
        lastMicros_ = entry.responseMicros;
        return host_.reports.size() > before ? host_.reports.back().result : ProbeResult::Failed;
    }

    static DnsServer *server_;
    RecordingHost host_;
    std::uint64_t lastMicros_ = 0;
};

DnsServer *DnsProbeTest::server_ = nullptr;

TEST_F(DnsProbeTest, EveryRecordTypeIsAnsweredAndMatchedAsUsersWriteIt)
{
    struct Case {
        const char *name;
        const char *type;
        const char *exactly;
    };
    // Spelled as users write them: names in any case with or without the
    // trailing dot, an IPv6 address not in its shortest form.
    const Case cases[] = {
        {"www.test.example", "A", "=192.0.2.10"},
        {"WWW.Test.Example.", "aaaa", "=2001:0db8:0:0::0010"},
        {"WWW.Test.Example", "A", "=192.0.2.10"},
        {"alias.test.example", "CNAME", "=WWW.test.example."},
        {"test.example", "MX", "=20 backup.test.example, 10 Mail.Test.Example."},
        {"test.example", "NS", "=ns1.test.example"},
        {"txt.test.example", "TXT", "=v=spf1 -all"},
        {"test.example", "SOA", "=ns1.test.example hostmaster.test.example 2024010101 1200 180 1209600 600"},
        {"10.2.0.192.in-addr.arpa", "PTR", "=www.test.example"},
        {"_sip._tcp.test.example", "SRV", "=10 20 5060 sip.test.example"},
        {"test.example", "CAA", "=0 issue \"ca.example\""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.name);
        FailureReason reason;
        EXPECT_EQ(check(c.name, c.type, "", reason), ProbeResult::Answered) << reasonText(reason);
        EXPECT_GT(lastMicros_, 0u);
        EXPECT_EQ(check(c.name, c.type, c.exactly, reason), ProbeResult::Answered) << reasonText(reason);
    }
}

TEST_F(DnsProbeTest, ContainsAndExactlyPassAndFailWithWhatCame)
{
    FailureReason reason;
    // Contains: the listed ones among those that came.
    EXPECT_EQ(check("two.test.example", "A", "192.0.2.22", reason), ProbeResult::Answered);
    EXPECT_EQ(check("two.test.example", "A", "192.0.2.22, 192.0.2.21", reason), ProbeResult::Answered);
    EXPECT_EQ(check("two.test.example", "A", "192.0.2.23", reason), ProbeResult::Failed);
    EXPECT_EQ(reason.kind, FailureKind::DnsAnswerDiffers);
    EXPECT_NE(reason.detail.find("192.0.2.21"), std::string::npos) << reason.detail;
    EXPECT_NE(reason.detail.find("192.0.2.22"), std::string::npos) << reason.detail;
    EXPECT_EQ(reasonText(reason).rfind("answer differs (", 0), 0u) << reasonText(reason);

    // Exactly: one missing or one more fails.
    EXPECT_EQ(check("two.test.example", "A", "=192.0.2.21,192.0.2.22", reason), ProbeResult::Answered);
    EXPECT_EQ(check("two.test.example", "A", "=192.0.2.21", reason), ProbeResult::Failed);
    EXPECT_EQ(reason.kind, FailureKind::DnsAnswerDiffers);
    EXPECT_EQ(check("two.test.example", "A", "=192.0.2.21,192.0.2.22,192.0.2.23", reason), ProbeResult::Failed);
    // MX: the preference counts.
    EXPECT_EQ(check("test.example", "MX", "10 mail.test.example", reason), ProbeResult::Answered);
    EXPECT_EQ(check("test.example", "MX", "20 mail.test.example", reason), ProbeResult::Failed);
    EXPECT_NE(reason.detail.find("10 mail.test.example"), std::string::npos) << reason.detail;
    EXPECT_NE(reason.detail.find("20 backup.test.example"), std::string::npos) << reason.detail;
}

TEST_F(DnsProbeTest, ServerVerdictsAreTheirOwnReasons)
{
    FailureReason reason;
    EXPECT_EQ(check("nothing.test.example", "A", "", reason), ProbeResult::Failed);
    EXPECT_EQ(reason.kind, FailureKind::DnsNxDomain);
    EXPECT_EQ(reasonText(reason), "NXDOMAIN");
    // A name that exists without a record of the type asked for.
    EXPECT_EQ(check("txt.test.example", "A", "", reason), ProbeResult::Failed);
    EXPECT_EQ(reason.kind, FailureKind::DnsNoAnswer);
    // Outside its zones, with no upstream server, dnsmasq will not answer.
    EXPECT_EQ(check("www.elsewhere.example", "A", "", reason), ProbeResult::Failed);
    EXPECT_EQ(reason.kind, FailureKind::DnsRefused) << reasonText(reason);
}

// A second dnsmasq that forwards to the first and validates with DNSSEC
// under a root trust anchor of the test's own making: nothing the first
// sends can be proved, so the second answers SERVFAIL.
TEST_F(DnsProbeTest, ServerThatCannotValidateItsAnswerFailsAsServfail)
{
    DnsServer validating({"--server=127.0.0.1#" + std::to_string(server_->port()), "--dnssec",
                          "--trust-anchor=.,12345,8,2," + std::string(64, 'a')});
    ASSERT_TRUE(validating.ok()) << validating.log();
    FailureReason reason;
    EXPECT_EQ(check("www.test.example", "A", "", reason, validating.port()), ProbeResult::Failed);
    EXPECT_EQ(reason.kind, FailureKind::DnsServFail) << reasonText(reason) << "\n" << validating.log();
    EXPECT_EQ(reasonText(reason), "SERVFAIL");
}

TEST_F(DnsProbeTest, TruncatedAnswerIsAskedAgainOverTcp)
{
    std::string all = "=";
    for (char letter = 'a'; letter < 'k'; ++letter)
        all += (all.size() > 1 ? "," : "") + std::string(200, letter);
    FailureReason reason;
    EXPECT_EQ(check("big.test.example", "TXT", all, reason), ProbeResult::Answered) << reasonText(reason);
    // The reason's list of what came is cut short.
    EXPECT_EQ(check("big.test.example", "TXT", "=" + std::string(200, 'a'), reason), ProbeResult::Failed);
    EXPECT_EQ(reason.kind, FailureKind::DnsAnswerDiffers);
    EXPECT_LE(reason.detail.size(), 123u);
    EXPECT_EQ(reason.detail.substr(reason.detail.size() - 3), "...");
}

TEST_F(DnsProbeTest, ServerThatNeverAnswersTimesOut)
{
    std::uint16_t port = 0;
    const int silent = test::udpSocket(port);
    ASSERT_GE(silent, 0);
    FailureReason reason;
    EXPECT_EQ(check("www.test.example", "A", "", reason, port), ProbeResult::Failed);
    EXPECT_EQ(reason.kind, FailureKind::TimedOut);
    ::close(silent);
}

// The stored expectation: empty or plain lists keep their meaning (any,
// contains), a leading '=' is exactly; quotes keep a comma in an answer.
TEST(DnsExpectation, StoredTextSaysAnyContainsOrExactly)
{
    using dns::Expectation;
    using dns::Match;
    EXPECT_EQ(Expectation::fromText("").match, Match::Any);
    EXPECT_EQ(Expectation::fromText(" , ").match, Match::Any);
    EXPECT_EQ(Expectation::fromText("=").match, Match::Any);
    const Expectation contains = Expectation::fromText("a.example, b.example");
    EXPECT_EQ(contains.match, Match::Contains);
    EXPECT_EQ(contains.answers, (std::vector<std::string>{"a.example", "b.example"}));
    const Expectation exactly = Expectation::fromText(" =\"x, y\",z");
    EXPECT_EQ(exactly.match, Match::Exactly);
    EXPECT_EQ(exactly.answers, (std::vector<std::string>{"\"x, y\"", "z"}));
    EXPECT_TRUE(dns::meets(exactly, dns::typeCode("TXT"), {"z", "x, y"}));
    EXPECT_EQ(Expectation::toText(Match::Exactly, "a"), "=a");
    EXPECT_EQ(Expectation::toText(Match::Contains, "a"), "a");
    EXPECT_EQ(Expectation::toText(Match::Any, "a"), "");
}

// The DNS reasons in both languages; what came follows "answer differs".
// NXDOMAIN and SERVFAIL: the checks that meet them, above.
TEST(DnsExpectation, ReasonsReadInBothLanguages)
{
    const Language before = currentLanguage();
    const FailureReason differs = FailureReason::withDetail(FailureKind::DnsAnswerDiffers, -1, "192.0.2.1");
    EXPECT_EQ(reasonText(differs), "answer differs (192.0.2.1)");
    EXPECT_EQ(reasonText(FailureReason::of(FailureKind::DnsNoAnswer)), "no answer");
    setCurrentLanguage(Language::Japanese);
    EXPECT_EQ(reasonTextShown(differs), "応答が期待と異なります (192.0.2.1)");
    EXPECT_EQ(reasonTextShown(FailureReason::of(FailureKind::DnsRefused)), "REFUSED (サーバーが問い合わせを拒否しました)");
    setCurrentLanguage(before);
}

TEST_F(DnsProbeTest, ServerOnIpv6LoopbackAnswers)
{
    DnsServer server({"--host-record=www.test.example,192.0.2.10"}, "::1");
    if (!server.ok())
        GTEST_SKIP() << "no IPv6 loopback here: " << server.log();
    FailureReason reason;
    EXPECT_EQ(check("www.test.example", "A", "=192.0.2.10", reason, server.port(), "::1"), ProbeResult::Answered)
        << reasonText(reason);
}

} // namespace
} // namespace vigilon
