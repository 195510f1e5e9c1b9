// SPDX-License-Identifier: MIT
// The entries' JSON documents and status badges, fetched over real sockets
// on loopback from the server the metrics use.
#include "metrics/EntriesApi.h"
#include "metrics/MetricsRegistry.h"
#include "metrics/MetricsServer.h"
#include "tests/support/HttpClient.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <string>

namespace vigilon::metrics {
namespace {

using nlohmann::json;
using test::httpBody;
using test::httpHeader;
using test::httpRequest;
using test::httpStatus;

// 2026-12-09T04:07:36.250Z
constexpr std::int64_t kCheckedAt = 1796789256250;

struct Served {
    MetricsRegistry registry;
    MetricsPage page{registry, "1.0"};
    std::unique_ptr<Server> server;
    std::string error;

    Served()
    {
        server = startServer(Endpoint{"127.0.0.1", 0},
                             Sources{[this] { return page.current(); }, [this] { return page.entries(); }}, error);
    }
    std::string get(const std::string &target, const char *method = "GET")
    {
        return httpRequest(server->port(), method, target);
    }
};

void check(MetricsRegistry &registry, MonitorPort &entry, const std::string &host, CheckOutcome::Result result,
           std::uint64_t micros, FailureReason reason = {})
{
    CheckOutcome outcome;
    outcome.entry = &entry;
    outcome.host = &host;
    outcome.unixMillis = kCheckedAt;
    outcome.result = result;
    outcome.micros = micros;
    outcome.reason = reason;
    registry.checkDone(outcome);
}

// The hostile name: markup, a quote, a backslash, a control character and
// a byte that is not UTF-8.
const std::string kHostile = "<img src=x onerror=alert(1)> \"q\" \\ \x01 \xFF end";

// What the XML text of the badge holds: the tags, and whether every '&'
// starts a reference XML knows. Enough to tell markup from text.
struct XmlScan {
    std::vector<std::string> tags;
    bool referencesValid = true;
    std::string texts; // character data, references resolved
};

XmlScan scanXml(const std::string &xml)
{
    XmlScan scan;
    const auto resolve = [&scan](std::string_view text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '&') {
                out += text[i];
                continue;
            }
            const std::size_t end = text.find(';', i);
            const std::string_view ref = text.substr(i + 1, end == std::string_view::npos ? 0 : end - i - 1);
            static const std::pair<const char *, char> known[] = {
                {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
            bool found = false;
            for (const auto &[name, c] : known) {
                if (ref == name) {
                    out += c;
                    found = true;
                }
            }
            scan.referencesValid = scan.referencesValid && found;
            i = end == std::string_view::npos ? text.size() : end;
        }
        return out;
    };
    for (std::size_t at = 0; at < xml.size();) {
        const std::size_t open = xml.find('<', at);
        scan.texts += resolve(std::string_view(xml).substr(at, open == std::string::npos ? xml.npos : open - at));
        if (open == std::string::npos)
            break;
        // Inside a tag: quoted attribute values may not hold '<'.
        std::size_t close = open + 1;
        char quote = 0;
        for (; close < xml.size(); ++close) {
            const char c = xml[close];
            if (quote) {
                if (c == quote)
                    quote = 0;
                else if (c == '<')
                    scan.referencesValid = false;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                break;
            }
        }
        const std::string tag = xml.substr(open + 1, close - open - 1);
        scan.tags.push_back(tag.substr(0, tag.find_first_of(" />", 1)));
        resolve(tag);
        at = close + 1;
    }
    return scan;
}

class EntriesApi : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(served.server) << served.error;
        ok.id = 1;
        ok.rowHint = 0;
        ok.name = "web";
        ok.port = 443;
        ok.protocol = Https;
        ok.status = Ok;
        ok.certDaysKnown = true;
        ok.certDaysLeft = 41;
        check(served.registry, ok, host, CheckOutcome::Result::Ok, 12345);

        failed.id = 2;
        failed.rowHint = 1;
        failed.name = kHostile;
        failed.port = 25;
        failed.status = Failed;
        check(served.registry, failed, host, CheckOutcome::Result::Failed, 3000000,
              FailureReason::of(FailureKind::Refused));

        // Its first check failed and the retry rule let it pass: no verdict
        // yet.
        pending.id = 3;
        pending.rowHint = 2;
        pending.name = "queue";
        pending.port = 5672;
        check(served.registry, pending, host, CheckOutcome::Result::Retry, 1000,
              FailureReason::of(FailureKind::TimedOut));
    }

    Served served;
    std::string host = "example.test";
    MonitorPort ok, failed, pending;
};

TEST_F(EntriesApi, listsEveryEntryWithTheDocumentedFields)
{
    const std::string response = served.get("/api/v1/entries");
    ASSERT_EQ(httpStatus(response), 200);
    EXPECT_EQ(httpHeader(response, "Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(httpHeader(response, "Cache-Control"), "no-cache");
    const json document = json::parse(httpBody(response));
    EXPECT_EQ(document.at("monitoring"), true);
    const json &entries = document.at("entries");
    ASSERT_EQ(entries.size(), 3u);

    const json &web = entries[0];
    EXPECT_EQ(web.at("id"), entryApiId(Https, host, 443));
    EXPECT_EQ(web.at("index"), 0);
    EXPECT_EQ(web.at("name"), "web");
    EXPECT_EQ(web.at("host"), "example.test");
    EXPECT_TRUE(web.at("port").is_number_integer());
    EXPECT_EQ(web.at("port"), 443);
    EXPECT_EQ(web.at("kind"), "https");
    EXPECT_EQ(web.at("state"), "ok");
    EXPECT_TRUE(web.at("reason").is_null());
    EXPECT_TRUE(web.at("last_response_ms").is_number());
    EXPECT_DOUBLE_EQ(web.at("last_response_ms").get<double>(), 12.345);
    EXPECT_EQ(web.at("cert_days_left"), 41);
    EXPECT_EQ(web.at("last_check"), "2026-12-09T04:07:36Z");
    EXPECT_EQ(web.at("checks"), 1);

    const json &down = entries[1];
    EXPECT_EQ(down.at("index"), 1);
    EXPECT_EQ(down.at("kind"), "tcp");
    EXPECT_EQ(down.at("state"), "failed");
    EXPECT_EQ(down.at("reason"), "refused");
    EXPECT_EQ(down.at("reason_kind"), "refused");
    // Never answered: no response time; not a TLS kind: no certificate.
    EXPECT_TRUE(down.at("last_response_ms").is_null());
    EXPECT_TRUE(down.at("cert_days_left").is_null());

    const json &queue = entries[2];
    EXPECT_EQ(queue.at("state"), "not_checked");
    EXPECT_EQ(queue.at("reason"), "timed out");
    EXPECT_EQ(queue.at("reason_kind"), "timeout");

    // One entry by its id, the same object; by its row as well.
    const std::string id = web.at("id");
    const std::string one = served.get("/api/v1/entries/" + id);
    ASSERT_EQ(httpStatus(one), 200);
    EXPECT_EQ(json::parse(httpBody(one)), web);
    EXPECT_EQ(json::parse(httpBody(served.get("/api/v1/entries/1"))), down);

    // The ids are the same in another run, whatever the entries' order.
    EXPECT_EQ(id, entryApiId(Https, "example.test", 443));
    EXPECT_NE(id, entryApiId(Tls, "example.test", 443));
    EXPECT_NE(id, entryApiId(Https, "example.test", 444));
}

TEST_F(EntriesApi, unknownEntriesAndOtherMethodsAreRefused)
{
    for (const char *target : {"/api/v1/entries/tcp-0000000000000000", "/api/v1/entries/7", "/api/v1/entries/01",
                               "/api/v1/entries/%3Cx%3E"}) {
        const std::string response = served.get(target);
        EXPECT_EQ(httpStatus(response), 404) << target;
        EXPECT_EQ(httpHeader(response, "Content-Type"), "application/json; charset=utf-8") << target;
        EXPECT_EQ(json::parse(httpBody(response)).at("error"), "not_found") << target;
    }
    EXPECT_EQ(httpStatus(served.get("/badge/9/status.svg")), 404);
    EXPECT_EQ(httpStatus(served.get("/badge/0/daily.svg")), 404);
    EXPECT_EQ(httpStatus(served.get("/api/v1/entries/0/x")), 404);

    for (const char *target : {"/api/v1/entries", "/api/v1/entries/0", "/badge/0/status.svg"}) {
        const std::string response = served.get(target, "POST");
        EXPECT_EQ(httpStatus(response), 405) << target;
        EXPECT_EQ(httpHeader(response, "Allow"), "GET, HEAD") << target;
        const std::string head = served.get(target, "HEAD");
        EXPECT_EQ(httpStatus(head), 200) << target;
        EXPECT_EQ(httpBody(head), "") << target;
    }

    // The metrics beside them are as they were.
    const std::string metrics = served.get("/metrics");
    EXPECT_EQ(httpStatus(metrics), 200);
    EXPECT_NE(httpBody(metrics).find("vigilon_entry_up{entry=\"web\""), std::string::npos);
}

TEST_F(EntriesApi, hostileNamesStayText)
{
    const json entry = json::parse(httpBody(served.get("/api/v1/entries/1")));
    EXPECT_EQ(entry.at("name"), "<img src=x onerror=alert(1)> \"q\" \\ \x01 \xEF\xBF\xBD end");

    const std::string response = served.get("/badge/1/status.svg");
    ASSERT_EQ(httpStatus(response), 200);
    EXPECT_EQ(httpHeader(response, "Content-Type"), "image/svg+xml; charset=utf-8");
    // Asked again by whatever shows it, never kept.
    EXPECT_EQ(httpHeader(response, "Cache-Control"), "no-cache");
    const std::string svg = httpBody(response);
    EXPECT_EQ(svg.find("<img"), std::string::npos);
    const XmlScan scan = scanXml(svg);
    EXPECT_TRUE(scan.referencesValid) << svg;
    for (const std::string &tag : scan.tags)
        EXPECT_TRUE(tag == "svg" || tag == "title" || tag == "rect" || tag == "g" || tag == "text" || tag == "/title" ||
                    tag == "/g" || tag == "/text" || tag == "/svg")
            << tag;
    // The control character, not allowed in XML, shows as U+FFFD, as the
    // byte that was not UTF-8 does.
    const std::string shown = "<img src=x onerror=alert(1)> \"q\" \\ \xEF\xBF\xBD \xEF\xBF\xBD end";
    EXPECT_NE(scan.texts.find(shown + "failed"), std::string::npos) << scan.texts;
    for (const char c : svg)
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n');
}

TEST_F(EntriesApi, badgesTellTheStateByColour)
{
    // By row, and by id: the same badge.
    const std::string byRow = httpBody(served.get("/badge/0/status.svg"));
    EXPECT_EQ(httpBody(served.get("/badge/" + entryApiId(Https, host, 443) + "/status.svg")), byRow);
    EXPECT_NE(byRow.find(">web</text>"), std::string::npos);
    EXPECT_NE(byRow.find(">ok</text>"), std::string::npos);
    EXPECT_NE(byRow.find("#44cc11"), std::string::npos);
    EXPECT_NE(httpBody(served.get("/badge/1/status.svg")).find("#e05d44"), std::string::npos);
    EXPECT_NE(httpBody(served.get("/badge/2/status.svg")).find(">not checked</text>"), std::string::npos);

    // The state as the next check leaves it, and as an outage says it.
    ok.status = Warning;
    check(served.registry, ok, host, CheckOutcome::Result::Warning, 2000);
    check(served.registry, failed, host, CheckOutcome::Result::Failed, 1000, FailureReason::of(FailureKind::Reset));
    check(served.registry, pending, host, CheckOutcome::Result::Retry, 1000, FailureReason::of(FailureKind::Reset));
    EXPECT_NE(httpBody(served.get("/badge/0/status.svg")).find("#dfb317"), std::string::npos);
    served.registry.outageBegan(pending, host, kCheckedAt, FailureReason::of(FailureKind::Reset), false);
    const json queue = json::parse(httpBody(served.get("/api/v1/entries/2")));
    EXPECT_EQ(queue.at("state"), "failed");
    EXPECT_EQ(queue.at("reason"), "reset");
    pending.status = Ok;
    served.registry.outageEnded(pending, host, kCheckedAt);
    EXPECT_EQ(json::parse(httpBody(served.get("/api/v1/entries/2"))).at("state"), "ok");
}

TEST(EntriesText, timesAndXml)
{
    EXPECT_EQ(rfc3339(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(rfc3339(951782400000), "2000-02-29T00:00:00Z");
    EXPECT_EQ(rfc3339(-1), "1969-12-31T23:59:59Z");
    EXPECT_EQ(xmlText("a&b<'>\"\t\xEF\xBF\xBF\xC0"), "a&amp;b&lt;&apos;&gt;&quot;\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

} // namespace
} // namespace vigilon::metrics
