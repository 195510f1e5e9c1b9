// SPDX-License-Identifier: MIT
// The metrics server over real sockets on loopback: its pages, and clients
// that misbehave.
#include "metrics/MetricsRegistry.h"
#include "metrics/MetricsServer.h"
#include "tests/metrics/CheckedEntry.h"
#include "tests/support/HttpClient.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace vigilon::metrics {
namespace {

using test::httpBody;
using test::httpHeader;
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

// A gzip stream inflated; "(not gzip)" when it is not one whole stream.
std::string gunzip(const std::string &data)
{
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK)
        return "(not gzip)";
    std::string out;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    int result = Z_OK;
    while (result == Z_OK) {
        char buffer[65536];
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    }
    const bool whole = result == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    return whole ? out : "(not gzip)";
}

std::string scrape(std::uint16_t port, const std::string &headers = {}, const char *method = "GET")
{
    return test::httpRequest(port, method, "/metrics", "127.0.0.1", headers);
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
    // The index page and what is not found: MetricsEndpoint.readsAddressesAndAnswersOnlyItsTwoPages,
    // and over sockets PushServerTest.
    const std::string post = httpRequest(port, "POST", "/metrics");
    EXPECT_EQ(httpStatus(post), 405) << post;
    EXPECT_NE(post.find("Allow: GET, HEAD"), std::string::npos) << post;

    // The port is taken: a second server says so.
    std::string error;
    bool inUse = false;
    EXPECT_FALSE(serve(port, &error, &inUse));
    EXPECT_TRUE(inUse);
    EXPECT_FALSE(error.empty());
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

// Prometheus asks for gzip: the text comes compressed and inflates to
// exactly what a client that does not ask gets; a refusal is honoured.
TEST(MetricsServer, compressesForScrapersThatAskAndOnlyForThem)
{
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "vigilon_entry_up{entry=\"web " + std::to_string(i) + "\",id=\"" + std::to_string(i) + "\"} 1\n";
    std::string error;
    const std::unique_ptr<Server> server = startServer(Endpoint{"127.0.0.1", 0}, fixed(text), error);
    ASSERT_TRUE(server) << error;
    const std::uint16_t port = server->port();

    const std::string plain = scrape(port);
    EXPECT_EQ(httpStatus(plain), 200);
    EXPECT_EQ(httpBody(plain), text);
    EXPECT_EQ(httpHeader(plain, "Content-Encoding"), "");
    EXPECT_EQ(httpHeader(plain, "Vary"), "Accept-Encoding");

    const std::string zipped = scrape(port, "Accept-Encoding: gzip\r\n");
    EXPECT_EQ(httpStatus(zipped), 200);
    EXPECT_EQ(httpHeader(zipped, "Content-Encoding"), "gzip");
    EXPECT_EQ(httpHeader(zipped, "Vary"), "Accept-Encoding");
    EXPECT_EQ(httpHeader(zipped, "Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
    const std::string body = httpBody(zipped);
    EXPECT_EQ(httpHeader(zipped, "Content-Length"), std::to_string(body.size()));
    EXPECT_LT(body.size() * 5, text.size());
    EXPECT_EQ(gunzip(body), text);
    // A browser's list, and HEAD: the same head, no body.
    EXPECT_EQ(gunzip(httpBody(scrape(port, "accept-encoding: deflate, GZIP;q=0.8, br\r\n"))), text);
    EXPECT_EQ(gunzip(httpBody(scrape(port, "Accept-Encoding: identity, *\r\n"))), text);
    const std::string head = scrape(port, "Accept-Encoding: gzip\r\n", "HEAD");
    EXPECT_EQ(httpHeader(head, "Content-Encoding"), "gzip");
    EXPECT_EQ(httpHeader(head, "Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(httpBody(head), "");

    // Refused with a weight of zero, or not named.
    for (const char *refusing : {"gzip;q=0", "gzip; q=0.000, *", "identity", "*;q=0", "deflate, br"}) {
        const std::string answer = scrape(port, std::string("Accept-Encoding: ") + refusing + "\r\n");
        EXPECT_EQ(httpHeader(answer, "Content-Encoding"), "") << refusing;
        EXPECT_EQ(httpBody(answer), text) << refusing;
    }
}

// A scrape between two rounds sends the text the last round left, not
// rendered again; the next round's end, or a change outside the rounds,
// brings a new one.
TEST(MetricsServer, rendersOncePerRoundOfChecks)
{
    MetricsRegistry registry;
    MetricsPage page(registry, "1.0");
    std::string error;
    const std::unique_ptr<Server> server =
        startServer(Endpoint{"127.0.0.1", 0}, [&page] { return page.current(); }, error);
    ASSERT_TRUE(server) << error;
    const std::uint16_t port = server->port();
    const auto checks = [](const std::string &text, const std::string &name) {
        const std::string series = "vigilon_entry_checks_total{entry=\"" + name + "\"";
        const std::size_t at = text.find(series);
        if (at == std::string::npos)
            return std::string("none");
        const std::size_t value = text.find("} ", at) + 2;
        return text.substr(value, text.find('\n', at) - value);
    };

    // Two rounds: the first one's end is told by the second's beginning.
    Checked a(1, "a"), b(2, "b");
    for (int round = 0; round < 2; ++round) {
        a.check(registry);
        b.check(registry);
    }
    const std::string first = httpBody(scrape(port));
    EXPECT_EQ(checks(first, "a"), "2");
    EXPECT_EQ(checks(first, "b"), "2");
    const std::uint64_t renders = page.renders();

    // The next round is under way: the scrapes meanwhile send the same
    // bytes, compressed or not, and nothing is rendered.
    a.check(registry);
    EXPECT_EQ(httpBody(scrape(port)), first);
    const std::string zipped = httpBody(scrape(port, "Accept-Encoding: gzip\r\n"));
    EXPECT_EQ(gunzip(zipped), first);
    EXPECT_EQ(httpBody(scrape(port, "Accept-Encoding: gzip\r\n")), zipped);
    EXPECT_EQ(page.renders(), renders);

    // Its last check is in: one rendering, whatever the scrapes after it.
    b.check(registry);
    const std::string second = httpBody(scrape(port));
    EXPECT_EQ(checks(second, "a"), "3");
    EXPECT_EQ(checks(second, "b"), "3");
    EXPECT_EQ(httpBody(scrape(port)), second);
    EXPECT_EQ(page.renders(), renders + 1);

    // An entry left out of a round holds nobody back: the next round's
    // first check ends the one before, and from then on the round ends
    // with the entries that are still checked.
    a.check(registry);
    a.check(registry);
    EXPECT_EQ(checks(httpBody(scrape(port)), "a"), "5");
    a.check(registry);
    EXPECT_EQ(checks(httpBody(scrape(port)), "a"), "6");
    // Back in the rounds: it is waited for again from the round after.
    b.check(registry);
    a.check(registry);
    EXPECT_EQ(checks(httpBody(scrape(port)), "b"), "4");
    b.check(registry);
    EXPECT_EQ(checks(httpBody(scrape(port)), "b"), "4");
    a.check(registry);
    EXPECT_EQ(checks(httpBody(scrape(port)), "b"), "5");
    // Outside the rounds: an entry forgotten, monitoring stopped.
    registry.entryForgotten(b.entry, 0);
    const std::string forgotten = httpBody(scrape(port));
    EXPECT_EQ(checks(forgotten, "b"), "none");
    EXPECT_NE(forgotten.find("vigilon_monitoring 1\n"), std::string::npos);
    registry.monitoringStopped(0);
    EXPECT_NE(httpBody(scrape(port)).find("vigilon_monitoring 0\n"), std::string::npos);
}

// A scraper that asks for gzip first has the page rendered straight into
// its compressed form, a piece at a time: it inflates to exactly the text
// rendered whole from the same checks, which a plain scrape then gets,
// rendered from the same snapshot even after the next round has begun.
TEST(MetricsServer, compressedPageIsTheWholeTextInPieces)
{
    MetricsRegistry registry;
    // Enough entries for a text of many pieces; names that need escaping,
    // and failures of several kinds.
    std::vector<std::unique_ptr<Checked>> entries;
    for (std::uint32_t id = 1; id <= 120; ++id)
        entries.push_back(std::make_unique<Checked>(id, "web \"" + std::to_string(id) + "\"\\\xff"));
    for (int round = 0; round < 3; ++round) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            CheckOutcome outcome;
            outcome.entry = &entries[i]->entry;
            outcome.host = &entries[i]->host;
            outcome.micros = 100 + i * 997 + std::size_t(round) * 31;
            if ((i + std::size_t(round)) % 7 == 0) {
                outcome.result = CheckOutcome::Result::Retry;
                outcome.reason = FailureReason::of(i % 2 ? FailureKind::Refused : FailureKind::TimedOut);
            }
            registry.checkDone(outcome);
        }
    }
    const std::string whole = renderMetrics(registry.snapshot(), "1.0");
    ASSERT_GT(whole.size(), 200000u);

    MetricsPage page(registry, "1.0");
    std::string error;
    const std::unique_ptr<Server> server =
        startServer(Endpoint{"127.0.0.1", 0}, [&page] { return page.current(); }, error);
    ASSERT_TRUE(server) << error;
    const std::string zipped = httpBody(scrape(server->port(), "Accept-Encoding: gzip\r\n"));
    EXPECT_EQ(gunzip(zipped), whole);
    entries[0]->check(registry);
    EXPECT_EQ(httpBody(scrape(server->port())), whole);
    EXPECT_EQ(httpBody(scrape(server->port(), "Accept-Encoding: gzip\r\n")), zipped);

    // The same made by the functions themselves, from a text in pieces of
    // every size and none at all.
    for (const std::size_t size : {std::size_t(1), std::size_t(4093), whole.size()}) {
        const std::string made = gzipCompress([&](const PieceSink &sink) {
            sink({});
            for (std::size_t at = 0; at < whole.size(); at += size)
                sink(std::string_view(whole).substr(at, size));
        });
        EXPECT_EQ(gunzip(made), whole) << size;
    }
    EXPECT_EQ(gunzip(gzipCompress(std::string_view())), "");
}

} // namespace
} // namespace vigilon::metrics
