// SPDX-License-Identifier: MIT
// Heartbeat calls and the page's password on the server over loopback,
// whichever server this system builds: what reaches the entries, what a
// wrong token gets, the limit on wrong tokens, and who must give the
// password.
#include "base/Base64.h"
#include "metrics/EntriesApi.h"
#include "metrics/MetricsServer.h"
#include "tests/support/HttpClient.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

namespace vigilon::metrics {
namespace {

using test::httpBody;
using test::httpHeader;
using test::httpRequest;
using test::httpStatus;

constexpr const char *kToken = "Zm9vYmFyYmF6cXV4cXV1eA";

// The calls that reached an entry.
struct Calls {
    std::mutex mutex;
    struct Call {
        bool up;
        std::string message;
    };
    std::vector<Call> made;
    std::vector<Call> taken()
    {
        const std::lock_guard lock(mutex);
        return made;
    }
};

std::unique_ptr<Server> serve(Calls &calls, const std::string &password = {})
{
    Sources sources;
    sources.metrics = [] { return std::make_shared<const MetricsBody>("vigilon_test 1\n"); };
    sources.entries = [] { return std::make_shared<const EntriesView>(); };
    sources.push = [&calls](const std::string &token, bool up, const std::string &message) {
        if (token != kToken)
            return false;
        const std::lock_guard lock(calls.mutex);
        calls.made.push_back({up, message});
        return true;
    };
    sources.password = password;
    std::string error;
    return startServer(Endpoint{"127.0.0.1", 0}, std::move(sources), error);
}

std::string pushPath(const std::string &rest = {})
{
    return std::string("/push/") + kToken + rest;
}

TEST(PushServer, callsReachTheirEntryAndWrongTokensGetWhatUnknownPathsGet)
{
    Calls calls;
    const std::unique_ptr<Server> server = serve(calls);
    ASSERT_TRUE(server);
    const std::uint16_t port = server->port();
    const std::string ok = httpRequest(port, "GET", pushPath());
    EXPECT_EQ(httpStatus(ok), 200) << ok;
    EXPECT_EQ(httpBody(ok), "OK\n");
    EXPECT_EQ(httpStatus(httpRequest(port, "POST", pushPath("?status=up"))), 200);
    // The message loses its control characters and is cut at a character's
    // end within the bound.
    EXPECT_EQ(httpStatus(httpRequest(port, "GET", pushPath("?status=down&msg=disk%20full%0D%0A%07!"))), 200);
    std::string longMessage;
    for (int i = 0; i < 150; ++i)
        longMessage += "%C3%A9"; // é, two bytes
    EXPECT_EQ(httpStatus(httpRequest(port, "POST", pushPath("?msg=" + longMessage + "&status=down"))), 200);
    const std::vector<Calls::Call> made = calls.taken();
    ASSERT_EQ(made.size(), 4u);
    EXPECT_TRUE(made[0].up && made[1].up);
    EXPECT_FALSE(made[2].up);
    EXPECT_EQ(made[2].message, "disk full!");
    EXPECT_FALSE(made[3].up);
    EXPECT_EQ(made[3].message.size(), kMaxPushMessageBytes);
    EXPECT_EQ(made[3].message.substr(0, 4), "\xC3\xA9\xC3\xA9");

    // Neither a wrong token nor a bad request reaches an entry.
    const std::string unknown = httpRequest(port, "GET", "/nothing/here");
    const std::string wrong = httpRequest(port, "GET", "/push/Zm9vYmFyYmF6cXV4cXV1eB");
    EXPECT_EQ(httpStatus(wrong), 404);
    EXPECT_EQ(httpStatus(wrong), httpStatus(unknown));
    EXPECT_EQ(httpBody(wrong), httpBody(unknown));
    EXPECT_EQ(httpStatus(httpRequest(port, "GET", pushPath("?status=sideways"))), 400);
    const std::string head = httpRequest(port, "HEAD", pushPath());
    EXPECT_EQ(httpStatus(head), 405) << head;
    EXPECT_EQ(httpHeader(head, "Allow"), "GET, POST");
    EXPECT_EQ(calls.taken().size(), 4u);
}

TEST(PushServer, aClientPastTheLimitOfWrongTokensIsRefusedEveryCall)
{
    Calls calls;
    const std::unique_ptr<Server> server = serve(calls);
    ASSERT_TRUE(server);
    const std::uint16_t port = server->port();
    for (unsigned i = 0; i < CallLimiter::kWrongCalls; ++i)
        ASSERT_EQ(httpStatus(httpRequest(port, "GET", "/push/guess" + std::to_string(i))), 404);
    EXPECT_EQ(httpStatus(httpRequest(port, "GET", "/push/guess-again")), 429);
    // Its right token is not looked at either, and nothing else is limited.
    EXPECT_EQ(httpStatus(httpRequest(port, "GET", pushPath())), 429);
    EXPECT_TRUE(calls.taken().empty());
    EXPECT_EQ(httpStatus(httpRequest(port, "GET", "/metrics")), 200);
}

TEST(PushServer, theLimitCountsPerAddressOrIpv6NetworkAndEndsWithItsWindow)
{
    EXPECT_EQ(limitedPart("192.0.2.7"), "192.0.2.7");
    EXPECT_EQ(limitedPart("2001:db8:1:2:3:4:5:6"), "2001:db8:1:2::/64");
    EXPECT_EQ(limitedPart("2001:db8:1:2::9"), limitedPart("2001:db8:1:2:ffff::1"));
    EXPECT_NE(limitedPart("2001:db8:1:2::9"), limitedPart("2001:db8:1:3::9"));
    CallLimiter limiter;
    const auto start = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    for (unsigned i = 0; i < CallLimiter::kWrongCalls; ++i) {
        EXPECT_FALSE(limiter.limited("192.0.2.7", start));
        limiter.wrongCall("192.0.2.7", start);
    }
    EXPECT_TRUE(limiter.limited("192.0.2.7", start + CallLimiter::kWindow - std::chrono::seconds(1)));
    EXPECT_FALSE(limiter.limited("192.0.2.8", start));
    EXPECT_FALSE(limiter.limited("192.0.2.7", start + CallLimiter::kWindow));
}

std::string basic(const std::string &userAndPassword)
{
    return "Authorization: Basic " + base64Encode(userAndPassword) + "\r\n";
}

TEST(PushServer, thePasswordGuardsThePageTheApiAndTheBadgesOnly)
{
    Calls calls;
    const std::unique_ptr<Server> server = serve(calls, "s3cret pass");
    ASSERT_TRUE(server);
    const std::uint16_t port = server->port();
    for (const char *path : {"/", "/api/v1/entries", "/badge/0/status.svg"}) {
        const std::string none = httpRequest(port, "GET", path);
        EXPECT_EQ(httpStatus(none), 401) << path;
        EXPECT_EQ(httpHeader(none, "WWW-Authenticate"), kAuthenticateHeader) << none;
        EXPECT_EQ(httpStatus(httpRequest(port, "GET", path, "127.0.0.1", basic("me:s3cret pasS"))), 401) << path;
        EXPECT_EQ(httpStatus(httpRequest(port, "GET", path, "127.0.0.1", basic("me:s3cret pass!"))), 401) << path;
    }
    EXPECT_EQ(httpStatus(httpRequest(port, "GET", "/", "127.0.0.1", basic("me:s3cret pass"))), 200);
    // Any user name; the scheme in any case.
    EXPECT_EQ(httpStatus(httpRequest(port, "GET", "/api/v1/entries", "127.0.0.1",
                                     "authorization: bAsIc " + base64Encode(":s3cret pass") + "\r\n")),
              200);
    EXPECT_EQ(httpStatus(httpRequest(port, "GET", "/metrics")), 200);
    EXPECT_EQ(httpStatus(httpRequest(port, "GET", pushPath())), 200);
    EXPECT_EQ(calls.taken().size(), 1u);
    EXPECT_FALSE(givesPassword("Basic " + base64Encode("no colon"), "no colon"));
    EXPECT_FALSE(givesPassword("Bearer " + base64Encode("x:p"), "p"));
}

} // namespace
} // namespace vigilon::metrics
