// SPDX-License-Identifier: MIT
// The metrics server over real sockets on loopback: its pages, and clients
// that misbehave.
#include "metrics/MetricsServer.h"
#include "tests/support/HttpClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace vigilon::metrics {
namespace {

using test::httpBody;
using test::httpRequest;
using test::httpStatus;
using test::TcpClient;

// A source that always gives the same text.
MetricsSource fixed(const std::string &text)
{
    auto body = std::make_shared<const MetricsBody>(text);
    return [body] { return body; };
}

std::unique_ptr<Server> serve(std::uint16_t port = 0, std::string *error = nullptr, bool *inUse = nullptr)
{
    std::string ignored;
    return startServer(Endpoint{"127.0.0.1", port}, fixed("vigilon_test 1\n"), error ? *error : ignored, inUse);
}

// A scrape that succeeds within a bounded number of tries.
bool scrapes(std::uint16_t port)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (httpBody(httpRequest(port, "GET", "/metrics")) == "vigilon_test 1\n")
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST(MetricsServer, answersItsPagesAndRefusesTheRest)
{
    const std::unique_ptr<Server> server = serve();
    ASSERT_TRUE(server);
    const std::uint16_t port = server->port();
    ASSERT_NE(port, 0);
    const std::string metrics = httpRequest(port, "GET", "/metrics");
    EXPECT_EQ(httpStatus(metrics), 200) << metrics;
    EXPECT_EQ(httpBody(metrics), "vigilon_test 1\n");
    EXPECT_NE(metrics.find("text/plain; version=0.0.4"), std::string::npos) << metrics;
    const std::string head = httpRequest(port, "HEAD", "/metrics");
    EXPECT_EQ(httpStatus(head), 200) << head;
    EXPECT_EQ(httpBody(head), "") << head;
    const std::string page = httpRequest(port, "GET", "/");
    EXPECT_EQ(httpStatus(page), 200) << page;
    EXPECT_NE(httpBody(page).find("href=\"/metrics\""), std::string::npos) << page;
    EXPECT_EQ(httpStatus(httpRequest(port, "GET", "/favicon.ico")), 404);
    const std::string post = httpRequest(port, "POST", "/metrics");
    EXPECT_EQ(httpStatus(post), 405) << post;
    EXPECT_NE(post.find("Allow: GET, HEAD"), std::string::npos) << post;

    // The port is taken: a second server says so.
    std::string error;
    bool inUse = false;
    EXPECT_FALSE(serve(port, &error, &inUse));
    EXPECT_TRUE(inUse);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(startServer(Endpoint{"127.0.0.300", 0}, fixed(""), error));
}

TEST(MetricsServer, misbehavingClientsDoNotStopScrapes)
{
    std::unique_ptr<Server> server = serve();
    ASSERT_TRUE(server);
    const std::uint16_t port = server->port();
    {
    // One says nothing, one sends half a request, one a head far beyond the
    // bound, without end.
    TcpClient silent(port);
    TcpClient slow(port);
    TcpClient huge(port);
    ASSERT_TRUE(silent.connected() && slow.connected() && huge.connected());
    EXPECT_TRUE(slow.send("GET /metrics HTTP/1.1\r\nX-A: "));
    const std::string header = "X-Filler: " + std::string(1000, 'a') + "\r\n";
    bool refused = false;
    for (int i = 0; i < 64 && !refused; ++i)
        refused = !huge.send(header);
    EXPECT_TRUE(scrapes(port));
    // The long head is answered with an error or cut off, never with the
    // metrics.
    EXPECT_EQ(httpBody(huge.receiveAll()).find("vigilon_test"), std::string::npos);
    }

    // It ends with clients still connected, and the port is free again.
    TcpClient lingering(port);
    server.reset();
    EXPECT_TRUE(serve(port));
}

// Clients that send their request a line at a time, as long as they are
// let: a scrape finds room at once, the oldest of them making way for it,
// and each of them is closed once its request time is up.
TEST(MetricsServer, tricklingClientsNeverKeepScrapesOut)
{
    std::string error;
    const MetricsSource render = fixed("vigilon_test 1\n");
    {
        // A request time far beyond the test's: whoever goes here goes to
        // make room.
        ServerLimits limits;
        limits.requestTime = std::chrono::minutes(5);
        const std::unique_ptr<Server> server = startServer(Endpoint{"127.0.0.1", 0}, render, error, nullptr, limits);
        ASSERT_TRUE(server) << error;
        std::vector<std::unique_ptr<TcpClient>> held;
        for (unsigned i = 0; i < kMaxConnections; ++i) {
            held.push_back(std::make_unique<TcpClient>(server->port()));
            ASSERT_TRUE(held.back()->send("GET /metrics HTTP/1.1\r\nHost: x\r\n"));
        }
        EXPECT_EQ(httpBody(httpRequest(server->port(), "GET", "/metrics")), "vigilon_test 1\n");
        EXPECT_TRUE(held[0]->closedByPeer());
        for (std::size_t i = 1; i < held.size(); ++i)
            EXPECT_TRUE(held[i]->quiet()) << i;
    }

    ServerLimits limits;
    limits.requestTime = std::chrono::seconds(1);
    const std::unique_ptr<Server> server = startServer(Endpoint{"127.0.0.1", 0}, render, error, nullptr, limits);
    ASSERT_TRUE(server) << error;
    std::vector<std::unique_ptr<TcpClient>> slow;
    for (int i = 0; i < 3; ++i) {
        slow.push_back(std::make_unique<TcpClient>(server->port()));
        ASSERT_TRUE(slow.back()->send("GET /metrics HTTP/1.1\r\n"));
    }
    // A header line from each every 200 ms, until the server has closed
    // them all or far more lines than the time allows have gone.
    std::vector<bool> closed(slow.size(), false);
    for (int line = 0; line < 100 && std::count(closed.begin(), closed.end(), false) > 0; ++line) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        for (std::size_t i = 0; i < slow.size(); ++i) {
            if (!closed[i] && !slow[i]->quiet())
                closed[i] = slow[i]->closedByPeer();
            else if (!closed[i])
                slow[i]->send("X-Line: " + std::to_string(line) + "\r\n");
        }
    }
    for (std::size_t i = 0; i < slow.size(); ++i)
        EXPECT_TRUE(closed[i]) << i;
    EXPECT_TRUE(scrapes(server->port()));
}

} // namespace
} // namespace vigilon::metrics
