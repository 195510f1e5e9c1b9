// SPDX-License-Identifier: MIT
// Which replies an HTTP entry counts as alive: the judgement of a reply's
// first bytes, and the real check against servers on loopback.
#include "probes/HttpProbe.h"
#include "probes/HttpReply.h"
#include "probes/SocketProbe.h"
#include "tests/support/Network.h"

#include <gtest/gtest.h>

namespace vigilon {
namespace {

using test::RecordingHost;
using test::TcpServer;
using V = HttpReplyVerdict;

TEST(HttpReply, judgesTheStatusLineAsSoonAsItCanAndNoSooner)
{
    const HttpStatusRule any, ok = HttpStatusRule::successOrRedirect();
    const FailureReason notHttp = FailureReason::httpStatus(-1);
    struct Case {
        const char *bytes;
        const HttpStatusRule &rule;
        bool ended;
        V::Outcome outcome;
        FailureReason reason = {};
    } const cases[] = {
        // Any reply at all, HTTP or not; none at all is no web server.
        {"SSH-2.0-OpenSSH_9.2\r\n", any, false, V::Alive},
        {"H", any, false, V::Alive},
        {"", any, false, V::NeedMore},
        {"", ok, true, V::Failed, FailureReason::of(FailureKind::ClosedBeforeReply)},
        {"HTTP/1.1 204 No Content\r\n", ok, false, V::Alive},
        {"HTTP/1.0 302 Found\r\n", ok, false, V::Alive},
        {"HTTP/1.1 503 Service Unavailable\r\n", ok, false, V::Failed, FailureReason::httpStatus(503)},
        {"HTTP/1.1 404\r\n", ok, false, V::Failed, FailureReason::httpStatus(404)},
        {"HTTP/1.1 200\n", ok, false, V::Alive},
        {"HTTP/2 200 \r\n", ok, false, V::Alive},
        // The line so far could still be one: read on, unless nothing more comes.
        {"HTT", ok, false, V::NeedMore},
        {"HTTP/1.1 2", ok, false, V::NeedMore},
        {"HTTP/1.1 200", ok, false, V::NeedMore},
        {"HTTP/1.1 200", ok, true, V::Alive},
        {"HTTP/1.1 2", ok, true, V::Failed, notHttp},
        {"HTT", ok, true, V::Failed, notHttp},
        // Not HTTP, however little came.
        {"SSH-2.0-OpenSSH_9.2\r\n", ok, false, V::Failed, notHttp},
        {"http/1.1 200 OK\r\n", ok, false, V::Failed, notHttp},
        {"HTTP/1.1 2000 OK\r\n", ok, false, V::Failed, notHttp},
        {"HTTP/1.1 20x OK\r\n", ok, false, V::Failed, notHttp},
        {"HTTP/1.1  200 OK\r\n", ok, false, V::Failed, notHttp},
        {"HTTP/1.1 099 Odd\r\n", ok, false, V::Failed, notHttp},
        {"HTTP/x 200 OK\r\n", ok, false, V::Failed, notHttp},
        {"\r\nHTTP/1.1 200 OK\r\n", ok, false, V::Failed, notHttp},
        // Interim replies: the final one after them says; if none comes,
        // the interim one is all there is.
        {"HTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\nHTTP/1.1 200 OK\r\n", ok, false, V::Alive},
        {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 500 Internal Server Error\r\n", ok, false, V::Failed,
         FailureReason::httpStatus(500)},
        {"HTTP/1.1 103 Early Hints\r\nLink: </a>\r\n", ok, false, V::NeedMore},
        {"HTTP/1.1 103 Early Hints\r\n\r\n", ok, false, V::NeedMore},
        {"HTTP/1.1 103 Early Hints\r\n\r\n", ok, true, V::Failed, FailureReason::httpStatus(103)},
        {"HTTP/1.1 101 Switching Protocols\r\n\r\n", ok, false, V::Failed, FailureReason::httpStatus(101)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytes << " ended " << c.ended << " " << c.rule.text());
        const V verdict = judgeHttpReply(c.bytes, c.rule, c.ended);
        EXPECT_EQ(verdict.outcome, c.outcome);
        EXPECT_EQ(verdict.reason, c.reason);
    }
    EXPECT_EQ(judgeHttpReply("HTTP/1.1 301 Moved\r\n", ok, false).status, 301);
}

// One server per reply, each checked under every rule by the real probe.
TEST(HttpProbe, aReplyOutsideTheRuleFailsWithItsStatusAndNoneWithinIt)
{
    struct Reply {
        TcpServer::Behaviour behaviour;
        const char *text;
    } const replies[] = {
        {TcpServer::Answer, "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"},
        {TcpServer::Answer, "HTTP/1.1 301 Moved Permanently\r\nLocation: /a\r\n\r\n"},
        {TcpServer::Answer, "HTTP/1.1 404 Not Found\r\n\r\n"},
        {TcpServer::Answer, "HTTP/1.0 500 Internal Server Error\r\n\r\n"},
        {TcpServer::Answer, "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 5\r\n\r\n"},
        {TcpServer::Answer, "220 mail.example ESMTP ready\r\n"},
        // A status line in pieces, the rest 50 ms after its first bytes: under
        // a rule, read to its end and timed from its last piece.
        {TcpServer::AnswerInTwo, "HTTP/1.1 503 Service Unavailable\r\n\r\n"},
    };
    // The reason for each reply under each rule; empty: alive.
    const char *const rules[] = {"any", "2xx-3xx", "200,404", "5xx"};
    const std::vector<std::vector<std::string>> expected = {
        {"", "", "", "HTTP 200 OK"},
        {"", "", "HTTP 301 Moved Permanently", "HTTP 301 Moved Permanently"},
        {"", "HTTP 404 Not Found", "", "HTTP 404 Not Found"},
        {"", "HTTP 500 Internal Server Error", "HTTP 500 Internal Server Error", ""},
        {"", "HTTP 503 Service Unavailable", "HTTP 503 Service Unavailable", ""},
        {"", "not an HTTP reply", "not an HTTP reply", "not an HTTP reply"},
        {"", "HTTP 503 Service Unavailable", "HTTP 503 Service Unavailable", ""},
    };
    RecordingHost host;
    for (std::size_t r = 0; r < std::size(replies); ++r) {
        TcpServer server(replies[r].behaviour, 0, replies[r].text);
        for (std::size_t k = 0; k < std::size(rules); ++k) {
            SCOPED_TRACE(std::string(replies[r].text) + " under " + rules[k]);
            MonitorPort entry;
            entry.httpStatus = HttpStatusRule::fromText(rules[k]);
            CHttpProbe probe(host);
            host.reports.clear();
            ASSERT_EQ(probe.start(server.port(), "127.0.0.1", entry), 1);
            ASSERT_TRUE(host.waitReports(1, 4000));
            host.loop.runFor(20);
            ASSERT_EQ(host.reports.size(), 1u);
            const bool alive = expected[r][k].empty();
            EXPECT_EQ(host.reports[0].result, alive ? ProbeResult::Answered : ProbeResult::Failed);
            EXPECT_EQ(reasonText(probe.failureReason()), expected[r][k]);
            EXPECT_TRUE(alive || entry.responseMicros == 0u);
            if (alive && !entry.httpStatus.anyReply() && replies[r].behaviour == TcpServer::AnswerInTwo) {
                EXPECT_GE(entry.responseMicros, 50000u);
            }
            EXPECT_EQ(probe.done(), 1);
        }
    }
    EXPECT_EQ(host.loop.timerCount(), 0u);
    EXPECT_EQ(host.loop.watchCount(), 0u);
}

} // namespace
} // namespace vigilon
