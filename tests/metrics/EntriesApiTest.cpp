// SPDX-License-Identifier: MIT
// The entries' JSON documents and status badges, fetched over real sockets
// on loopback from the server the metrics use.
#include "metrics/EntriesApi.h"
#include "metrics/MetricsRegistry.h"
#include "metrics/MetricsServer.h"
#include "metrics/StatusPage.h"
#include "tests/support/HttpClient.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <memory>
#include <set>
#include <sstream>
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

// Each field of `expected` as `document` has it.
void expectFields(const json &document, const json &expected)
{
    for (const auto &[name, value] : expected.items())
        EXPECT_EQ(document.at(name), value) << name;
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
    expectFields(web, {{"id", entryApiId(Https, host, 443)}, {"index", 0}, {"name", "web"}, {"host", "example.test"},
                       {"port", 443}, {"kind", "https"}, {"state", "ok"}, {"reason", nullptr}, {"cert_days_left", 41},
                       {"last_check", "2026-12-09T04:07:36Z"}, {"checks", 1}});
    EXPECT_TRUE(web.at("port").is_number_integer());
    EXPECT_DOUBLE_EQ(web.at("last_response_ms").get<double>(), 12.345);

    const json &down = entries[1];
    // Never answered: no response time; not a TLS kind: no certificate.
    expectFields(down, {{"index", 1}, {"kind", "tcp"}, {"state", "failed"}, {"reason", "refused"},
                        {"reason_kind", "refused"}, {"last_response_ms", nullptr}, {"cert_days_left", nullptr}});
    expectFields(entries[2], {{"state", "not_checked"}, {"reason", "timed out"}, {"reason_kind", "timeout"}});

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
    // DNS entries asking one server for different names have ids of their own.
    EXPECT_NE(entryApiId(Dns, "ns.test", 53, "a.example A"), entryApiId(Dns, "ns.test", 53, "b.example A"));
    EXPECT_NE(entryApiId(Dns, "ns.test", 53, "a.example A"), entryApiId(Dns, "ns.test", 53, "a.example MX"));
    EXPECT_EQ(entryApiId(Https, "example.test", 443, ""), id);
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
    expectFields(json::parse(httpBody(served.get("/api/v1/entries/2"))), {{"state", "failed"}, {"reason", "reset"}});
    pending.status = Ok;
    served.registry.outageEnded(pending, host, kCheckedAt);
    EXPECT_EQ(json::parse(httpBody(served.get("/api/v1/entries/2"))).at("state"), "ok");
}

// The field names docs/api.md gives in its tables.
std::set<std::string> documentedFields()
{
    std::ifstream in(VIGILON_API_DOC);
    std::set<std::string> names;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("| `", 0) != 0)
            continue;
        const std::string cell = line.substr(0, line.find('|', 1));
        for (std::size_t at = cell.find('`'); at != std::string::npos; at = cell.find('`', at + 1)) {
            const std::size_t end = cell.find('`', at + 1);
            names.insert(cell.substr(at + 1, end - at - 1));
            at = end;
        }
    }
    return names;
}

// Every name of a document's objects, nested ones included.
void collectNames(const json &value, std::set<std::string> &into)
{
    if (value.is_object()) {
        for (const auto &[name, inner] : value.items()) {
            into.insert(name);
            collectNames(inner, into);
        }
    } else if (value.is_array()) {
        for (const json &inner : value)
            collectNames(inner, into);
    }
}

// The history's side of the API: the uptime figures in the entries and the
// uptime badge, a series and the outages in a range, every field as
// documented, and what a range the server cannot take is answered with.
TEST_F(EntriesApi, historyFiguresSeriesAndOutagesAsDocumented)
{
    auto table = std::make_shared<FiguresTable>();
    table->madeMillis = kCheckedAt;
    UptimeFigures figures;
    figures.day = 0.9995;
    figures.week = 0.98;
    figures.month = 0.5;
    figures.days.assign(kFigureDays, -1.0);
    figures.days[89] = 1.0;
    figures.days[88] = 0.9;
    figures.days[80] = 0.7;
    table->entries[SeriesKey{"web", host, 443, Https}] = figures;
    served.page.setFigures(table);

    SeriesKey asked;
    std::int64_t askedFrom = 0, askedTo = 0;
    bool historyKept = true;
    Sources sources{[this] { return served.page.current(); }, [this] { return served.page.entries(); }};
    sources.nowMillis = [] { return kCheckedAt; };
    sources.series = [&](const SeriesKey &key, std::int64_t from, std::int64_t to) -> std::optional<SeriesAnswer> {
        asked = key;
        askedFrom = from;
        askedTo = to;
        if (!historyKept)
            return std::nullopt;
        ResponsePoint answered;
        answered.millis = from;
        answered.count = 1;
        answered.minMicros = answered.medianMicros = answered.maxMicros = 1500;
        ResponsePoint failedCheck;
        failedCheck.millis = to;
        failedCheck.count = 1;
        failedCheck.failures = 1;
        failedCheck.reason = FailureReason::of(FailureKind::TimedOut);
        return SeriesAnswer{"raw", {answered, failedCheck}};
    };
    sources.outages = [&](const SeriesKey &, std::int64_t, std::int64_t) -> std::optional<std::vector<OutageView>> {
        OutageView over;
        over.startMillis = kCheckedAt - 60000;
        over.endMillis = kCheckedAt - 30000;
        over.reason = FailureReason::of(FailureKind::Refused);
        over.alertRan = true;
        OutageView open;
        open.startMillis = kCheckedAt - 1000;
        open.reason = FailureReason::of(FailureKind::Refused);
        return std::vector<OutageView>{over, open};
    };
    std::string error;
    const std::unique_ptr<Server> server = startServer(Endpoint{"127.0.0.1", 0}, sources, error);
    ASSERT_TRUE(server) << error;
    const auto get = [&](const std::string &target) { return httpRequest(server->port(), "GET", target); };

    std::set<std::string> names;
    const json list = json::parse(httpBody(get("/api/v1/entries")));
    collectNames(list, names);
    const json &web = list.at("entries")[0];
    for (const auto &[name, figure] : {std::pair{"uptime_24h", 99.95}, {"uptime_7d", 98.0}, {"uptime_30d", 50.0}})
        EXPECT_DOUBLE_EQ(web.at(name).get<double>(), figure) << name;
    ASSERT_EQ(web.at("daily_uptime").size(), kFigureDays);
    EXPECT_TRUE(web.at("daily_uptime")[0].is_null());
    EXPECT_DOUBLE_EQ(web.at("daily_uptime")[88].get<double>(), 90.0);
    EXPECT_EQ(web.at("daily_uptime_end"), "2026-12-09");
    // Nothing in the history: null, not zero.
    const json &down = list.at("entries")[1];
    EXPECT_TRUE(down.at("uptime_24h").is_null());
    EXPECT_TRUE(down.at("daily_uptime").is_null());

    // The uptime badge: the figure of the days asked for, in its colour.
    const std::string month = httpBody(get("/badge/0/uptime.svg"));
    EXPECT_NE(month.find(">uptime 30d</text>"), std::string::npos) << month;
    EXPECT_NE(month.find(">50.00%</text>"), std::string::npos) << month;
    EXPECT_NE(month.find("#e05d44"), std::string::npos);
    const std::string day = httpBody(get("/badge/0/uptime.svg?days=1"));
    EXPECT_NE(day.find(">99.95%</text>"), std::string::npos) << day;
    EXPECT_NE(day.find("#44cc11"), std::string::npos);
    // Ten days: the mean of the three with checks.
    EXPECT_NE(httpBody(get("/badge/0/uptime.svg?days=10")).find(">86.66%</text>"), std::string::npos);
    EXPECT_NE(httpBody(get("/badge/1/uptime.svg")).find(">no data</text>"), std::string::npos);
    for (const char *days : {"0", "91", "x", "-1", "1000", ""})
        EXPECT_EQ(httpStatus(get(std::string("/badge/0/uptime.svg?days=") + days)), 400) << days;

    // A series: the entry's key and the range go to the history, times
    // with offsets and encoded as forms send them read alike.
    const std::string series =
        get("/api/v1/entries/0/series?from=2026-12-09T12%3A00%3A00.5%2B09%3A00&to=2026-12-09T04:07:36Z");
    ASSERT_EQ(httpStatus(series), 200) << series;
    EXPECT_EQ(asked, (SeriesKey{"web", host, 443, Https}));
    EXPECT_EQ(askedFrom, kCheckedAt - ((67 * 60 + 36) * 1000 + 250) + 500);
    EXPECT_EQ(askedTo, kCheckedAt - 250);
    const json points = json::parse(httpBody(series));
    collectNames(points, names);
    expectFields(points, {{"resolution", "raw"}, {"from", "2026-12-09T03:00:00Z"}});
    ASSERT_EQ(points.at("points").size(), 2u);
    EXPECT_DOUBLE_EQ(points.at("points")[0].at("median_ms").get<double>(), 1.5);
    EXPECT_TRUE(points.at("points")[0].at("reason").is_null());
    EXPECT_TRUE(points.at("points")[1].at("min_ms").is_null());
    EXPECT_EQ(points.at("points")[1].at("reason"), "timed out");
    // Without a range: the last 24 hours.
    ASSERT_EQ(httpStatus(get("/api/v1/entries/0/series")), 200);
    EXPECT_EQ(askedTo - askedFrom, 24 * 3600 * 1000);
    EXPECT_EQ(askedTo, kCheckedAt);

    const json outages = json::parse(httpBody(get("/api/v1/entries/1/outages?from=2026-12-09T00:00:00Z")));
    collectNames(outages, names);
    ASSERT_EQ(outages.at("outages").size(), 2u);
    expectFields(outages.at("outages")[0], {{"duration_s", 30.0}, {"alert_ran", true}});
    expectFields(outages.at("outages")[1], {{"end", nullptr}, {"reason_kind", "refused"}});

    for (const char *range : {"?from=yesterday", "?from=2026-12-09T04:07:37Z&to=2026-12-09T04:07:36Z",
                              "?from=2026-02-29T00:00:00Z", "?from=2026-12-09T04:07:36", "?to=2026-12-09T24:00:00Z",
                              "?from=2020-01-01T00:00:00Z&to=2026-12-09T00:00:00Z"}) {
        const std::string refused = get(std::string("/api/v1/entries/0/series") + range);
        EXPECT_EQ(httpStatus(refused), 400) << range;
        EXPECT_EQ(json::parse(httpBody(refused)).at("error"), "bad_range") << range;
    }
    historyKept = false;
    const std::string none = get("/api/v1/entries/0/series");
    EXPECT_EQ(httpStatus(none), 503);
    EXPECT_EQ(json::parse(httpBody(none)).at("error"), "no_history");
    EXPECT_EQ(httpStatus(get("/api/v1/entries/9/series")), 404);

    // Every field served is documented, and every documented one served.
    const std::set<std::string> documented = documentedFields();
    for (const std::string &name : names)
        EXPECT_TRUE(documented.count(name)) << name << " is not in docs/api.md";
    for (const std::string &name : documented)
        EXPECT_TRUE(names.count(name)) << name << " is documented and not served";
}

// The status page as the server makes it: in the language asked for, every
// entry's name and reason as text, the overall line on top.
TEST_F(EntriesApi, statusPageIsEscapedAndSpeaksTheAskedLanguage)
{
    EXPECT_EQ(pageLanguage("ja,en;q=0.8", Language::English), Language::Japanese);
    EXPECT_EQ(pageLanguage("fr-CH, fr;q=0.9, en;q=0.8, ja;q=0.7", Language::Japanese), Language::English);
    EXPECT_EQ(pageLanguage("en;q=0.5, JA-jp", Language::English), Language::Japanese);
    EXPECT_EQ(pageLanguage("de, fr", Language::Japanese), Language::Japanese);
    EXPECT_EQ(pageLanguage("", Language::English), Language::English);
    EXPECT_EQ(pageLanguage("ja;q=0", Language::English), Language::English);

    const std::string en = httpRequest(served.server->port(), "GET", "/", "127.0.0.1", "Accept-Language: en-GB\r\n");
    ASSERT_EQ(httpStatus(en), 200);
    EXPECT_EQ(httpHeader(en, "Content-Type"), "text/html; charset=utf-8");
    const std::string page = httpBody(en);
    EXPECT_NE(page.find("<html lang=\"en\">"), std::string::npos);
    EXPECT_NE(page.find(">1 of 3 failing</p>"), std::string::npos);
    // The hostile name is text: no markup of its own anywhere.
    EXPECT_EQ(page.find("<img"), std::string::npos);
    EXPECT_NE(page.find("&lt;img src=x onerror=alert(1)&gt; &quot;q&quot;"), std::string::npos);
    // Nothing is fetched from elsewhere.
    for (const char *outside : {"src=\"http", "href=\"http", "url(", "@import", "<link rel=\"stylesheet"})
        EXPECT_EQ(page.find(outside), std::string::npos) << outside;

    const std::string ja = httpBody(httpRequest(served.server->port(), "GET", "/", "127.0.0.1",
                                                "Accept-Language: ja-JP,ja;q=0.9\r\n"));
    EXPECT_NE(ja.find("<html lang=\"ja\">"), std::string::npos);
    EXPECT_NE(ja.find(">1 件が失敗しています (全 3 件中)</p>"), std::string::npos);
    EXPECT_NE(ja.find(">失敗</span>"), std::string::npos);

    // Asked again with its tag, the page and the list are 304 without a
    // body while they stay the same, and 200 once a check changed them.
    const std::uint16_t port = served.server->port();
    for (const char *target : {"/", "/api/v1/entries"}) {
        const std::string tag = httpHeader(served.get(target), "ETag");
        ASSERT_EQ(tag.size(), 19u) << target;
        const std::string again = httpRequest(port, "GET", target, "127.0.0.1", "If-None-Match: \"x\", " + tag + "\r\n");
        EXPECT_EQ(httpStatus(again), 304) << target;
        EXPECT_EQ(httpBody(again), "") << target;
        EXPECT_EQ(httpHeader(again, "ETag"), tag) << target;
        EXPECT_EQ(httpStatus(httpRequest(port, "GET", target, "127.0.0.1", "If-None-Match: \"x\"\r\n")), 200);
    }
    const std::string tag = httpHeader(served.get("/api/v1/entries"), "ETag");
    pending.status = Ok;
    check(served.registry, pending, host, CheckOutcome::Result::Ok, 1000);
    const std::string changed = httpRequest(port, "GET", "/api/v1/entries", "127.0.0.1", "If-None-Match: " + tag + "\r\n");
    EXPECT_EQ(httpStatus(changed), 200);
    EXPECT_NE(httpHeader(changed, "ETag"), tag);
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

namespace vigilon::metrics {
namespace {

// A quiet entry: vigilon_entry_quiet 1, "quiet": true beside its state in
// the API, "Quiet" on the status page, and not counted among the failing.
TEST_F(EntriesApi, aQuietEntryIsShownQuietAndNotCountedFailing)
{
    const auto quietLine = [&](const MonitorPort &entry, int value) {
        return "vigilon_entry_quiet{entry=\"" + entry.name + "\",host=\"example.test\",port=\"" +
               std::to_string(entry.port) + "\",kind=\"" + kindLabel(entry.protocol) + "\",id=\"" +
               std::to_string(entry.id) + "\"} " + std::to_string(value) + "\n";
    };
    std::string metrics = httpBody(served.get("/metrics"));
    EXPECT_NE(metrics.find(quietLine(ok, 0)), std::string::npos) << metrics;
    failed.quiet = true;
    served.registry.quietChanged(failed, host, true, 0);
    metrics = httpBody(served.get("/metrics"));
    EXPECT_NE(metrics.find("# TYPE vigilon_entry_quiet gauge\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find(quietLine(ok, 0)), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("port=\"25\",kind=\"tcp\",id=\"2\"} 1\n"), std::string::npos) << metrics;

    const json entries = json::parse(httpBody(served.get("/api/v1/entries"))).at("entries");
    EXPECT_EQ(entries[0].at("quiet"), false);
    EXPECT_EQ(entries[1].at("state"), "failed") << "the verdict stays as it is";
    EXPECT_EQ(entries[1].at("quiet"), true);

    const std::string en = httpBody(httpRequest(served.server->port(), "GET", "/", "127.0.0.1", "Accept-Language: en\r\n"));
    EXPECT_NE(en.find(">All systems answer</p>"), std::string::npos) << "a quiet failure is not counted";
    EXPECT_NE(en.find("<li class=\"e st-quiet\""), std::string::npos);
    EXPECT_NE(en.find("<span class=\"state\">Quiet</span>"), std::string::npos);
    const std::string ja = httpBody(httpRequest(served.server->port(), "GET", "/", "127.0.0.1", "Accept-Language: ja\r\n"));
    EXPECT_NE(ja.find("<span class=\"state\">通知停止中</span>"), std::string::npos);

    // It ends: 0 again, counted again.
    served.registry.quietChanged(failed, host, false, 0);
    EXPECT_NE(httpBody(served.get("/metrics")).find("port=\"25\",kind=\"tcp\",id=\"2\"} 0\n"), std::string::npos);
    EXPECT_EQ(json::parse(httpBody(served.get("/api/v1/entries/1"))).at("quiet"), false);
}

} // namespace
} // namespace vigilon::metrics
