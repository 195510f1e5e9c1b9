// SPDX-License-Identifier: MIT
// The metrics as the checks leave them, in the text Prometheus reads, checked
// by Prometheus' own promtool; the endpoint's address and its answers.
#include "metrics/MetricsRegistry.h"
#include "metrics/MetricsServer.h"
#include "tests/metrics/CheckedEntry.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vigilon::metrics {
namespace {

bool has(const std::string &text, const std::string &line)
{
    return text.find(line + "\n") != std::string::npos;
}

// promtool's verdict on a text: empty when it takes it, else what it said.
std::string promtoolProblems(const std::string &text)
{
    test::ChildProcess promtool({"promtool", "check", "metrics"}, {}, true);
    promtool.finishInput(text);
    const int status = promtool.waitForExit(30000);
    return status == 0 ? std::string()
                       : "status " + std::to_string(status) + ": " + promtool.standardOutput() + promtool.output();
}

TEST(MetricsText, followsTheOutcomesAndPassesPromtool)
{
    MetricsRegistry registry;
    Checked web(1, "web \"front\"\\\nend", 443, Https);
    Checked db(2, "データベース", 5432, GenericTcp);
    Checked gone(3, "gone", 22, GenericTcp);
    Checked bad(4, std::string("caf\xE9", 4), 7, GenericUdp);
    // Answers of 3 ms, 40 ms and 40 ms (into the 0.005, 0.05 and 0.05
    // buckets), and a certificate.
    web.entry.certDaysKnown = true;
    web.entry.certExpiresAt = 1900000000;
    web.check(registry, Ok, 3000);
    web.check(registry, Ok, 40000);
    web.check(registry, Warning, 40000);
    // One tolerated refusal, then declared failed on a timeout.
    db.check(registry, Ok, 1000);
    db.check(registry, Ok, 1000, FailureKind::Refused);
    db.check(registry, Failed, 2000000, FailureKind::TimedOut);
    gone.check(registry, Ok, 500);
    bad.check(registry, Ok, 500);
    bad.check(registry, Ok, 500);
    registry.entryForgotten(gone.entry, 0);

    const std::string text = renderMetrics(registry.snapshot(), "1.62");
    const std::string webLabels = R"(entry="web \"front\"\\\nend",host="127.0.0.1",port="443",kind="https",id="1")";
    const std::string dbLabels = R"(entry="データベース",host="127.0.0.1",port="5432",kind="tcp",id="2")";
    for (const std::string &line : std::vector<std::string>{
             R"(vigilon_build_info{version="1.62"} 1)", "vigilon_monitoring 1", "# TYPE vigilon_entry_up gauge",
             "vigilon_entry_up{" + webLabels + "} 1", "vigilon_entry_up{" + dbLabels + "} 0",
             "vigilon_entry_checks_total{" + webLabels + "} 3", "vigilon_entry_checks_total{" + dbLabels + "} 3",
             "vigilon_entry_failures_total{" + dbLabels + R"(,reason="refused"} 1)",
             "vigilon_entry_failures_total{" + dbLabels + R"(,reason="timeout"} 1)",
             // The last answer's time; failures leave it and the histogram
             // alone.
             "vigilon_entry_last_response_seconds{" + webLabels + "} 0.04",
             "vigilon_entry_last_response_seconds{" + dbLabels + "} 0.001",
             // Cumulative buckets.
             "vigilon_entry_response_seconds_bucket{" + webLabels + R"(,le="0.005"} 1)",
             "vigilon_entry_response_seconds_bucket{" + webLabels + R"(,le="0.025"} 1)",
             "vigilon_entry_response_seconds_bucket{" + webLabels + R"(,le="0.05"} 3)",
             "vigilon_entry_response_seconds_bucket{" + webLabels + R"(,le="+Inf"} 3)",
             "vigilon_entry_response_seconds_count{" + webLabels + "} 3",
             "vigilon_entry_response_seconds_sum{" + webLabels + "} 0.083",
             "vigilon_entry_response_seconds_count{" + dbLabels + "} 1",
             "vigilon_entry_cert_expiry_timestamp_seconds{" + webLabels + "} 1900000000"})
        EXPECT_TRUE(has(text, line)) << line << "\n" << text;
    EXPECT_EQ(text.find("vigilon_entry_failures_total{" + webLabels), std::string::npos) << text;
    EXPECT_EQ(text.find("vigilon_entry_cert_expiry_timestamp_seconds{" + dbLabels), std::string::npos) << text;
    // Forgotten: gone from every family. A name not in UTF-8 keeps its
    // readable part.
    EXPECT_EQ(text.find("entry=\"gone\""), std::string::npos) << text;
    const std::string badLabels = "entry=\"caf\xEF\xBF\xBD\",host=\"127.0.0.1\",port=\"7\",kind=\"udp\"";
    EXPECT_TRUE(has(text, "vigilon_entry_checks_total{" + badLabels + ",id=\"4\"} 2")) << text;
    // Without the histogram, exactly the lines of its family go.
    std::string withoutHistogram;
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        const std::string line = text.substr(at, end + 1 - at);
        if (line.rfind("vigilon_entry_response_seconds", 0) != 0 &&
            line.find(" vigilon_entry_response_seconds ") == std::string::npos)
            withoutHistogram += line;
    }
    const std::string lean = renderMetrics(registry.snapshot(), "1.62", RenderOptions{false});
    EXPECT_EQ(lean, withoutHistogram);
    EXPECT_LT(lean.size() * 2, text.size());

    // Stopped. Entries alike in every other label, one answering and one
    // failed, each keep their series: names that differ only in bytes that
    // are not UTF-8, and true twins.
    Checked bad2(6, std::string("caf\xE8", 4), 7, GenericUdp);
    bad2.check(registry, Failed, 3000000, FailureKind::TimedOut);
    Checked twin(5, web.entry.name, 443, Https);
    twin.check(registry, Failed, 3000000, FailureKind::Refused);
    registry.monitoringStopped(0);
    const std::string stopped = renderMetrics(registry.snapshot(), "1.62");
    EXPECT_TRUE(has(stopped, "vigilon_monitoring 0")) << stopped;
    EXPECT_TRUE(has(stopped, "vigilon_entry_checks_total{" + webLabels + "} 3")) << stopped;
    EXPECT_TRUE(has(stopped, "vigilon_entry_up{" + webLabels + "} 1")) << stopped;
    const std::string twinLabels = webLabels.substr(0, webLabels.size() - 2) + "5\"";
    EXPECT_TRUE(has(stopped, "vigilon_entry_up{" + twinLabels + "} 0")) << stopped;
    EXPECT_TRUE(has(stopped, "vigilon_entry_up{" + badLabels + ",id=\"4\"} 1")) << stopped;
    EXPECT_TRUE(has(stopped, "vigilon_entry_up{" + badLabels + ",id=\"6\"} 0")) << stopped;

    if (!std::filesystem::exists("/usr/bin/promtool"))
        GTEST_SKIP() << "promtool is missing (Debian package prometheus): the format was not checked by it";
    EXPECT_EQ(promtoolProblems(text), "") << text;
    EXPECT_EQ(promtoolProblems(lean), "") << lean;
    EXPECT_EQ(promtoolProblems(stopped), "") << stopped;
    EXPECT_EQ(promtoolProblems(renderMetrics(MetricsRegistry().snapshot(), "1.62")), "");
    // The check itself tells a broken text.
    EXPECT_NE(promtoolProblems(text + "vigilon_entry_up{entry=\"x\" 1\n"), "");
}

TEST(MetricsEndpoint, readsAddressesAndAnswersOnlyItsTwoPages)
{
    const auto endpoint = [](const std::string &text) {
        const std::optional<Endpoint> e = parseEndpoint(text);
        return e ? e->address + " " + std::to_string(e->port) : std::string("none");
    };
    EXPECT_EQ(endpoint("9464"), "127.0.0.1 9464");
    EXPECT_EQ(endpoint("0.0.0.0:9100"), "0.0.0.0 9100");
    EXPECT_EQ(endpoint("[::1]:9464"), "::1 9464");
    EXPECT_EQ(endpoint("[::]:65535"), ":: 65535");
    EXPECT_EQ(endpoint("192.0.2.255:1"), "192.0.2.255 1");
    for (const char *wrong : {"", "0", "65536", "x", "::1:9464", "[::1]9464", "[::1]:", "host.example:9464",
                              "127.0.0.1:", "127.0.0.1:-1", "127.0.0.1:94 64", ":9464"})
        EXPECT_EQ(endpoint(wrong), "none") << wrong;
    // Only four decimal numbers make an IPv4 address: the short, octal and
    // hexadecimal forms the system's parser takes would listen elsewhere
    // than they seem to ("0" on every network, "017.0.0.1" on 15.0.0.1).
    for (const char *wrong : {"0:9468", "127.1:9468", "0x7f.0.0.1:9468", "0x7f.1:9468", "017.0.0.1:9468",
                              "127.0.0.01:9468", "2130706433:9468", "127.0.0.256:9468", "1.2.3.4.5:9468",
                              "127.0.0.1.:9468", " 127.0.0.1:9468", "[127.0.0.1]:9468", "[fe80::1%1]:9468",
                              "[::1:9468", "[0:9468]:1"})
        EXPECT_EQ(endpoint(wrong), "none") << wrong;
    // The server takes only these forms as well.
    std::string error;
    EXPECT_FALSE(startServer(Endpoint{"127.1", 0}, [] { return std::make_shared<const MetricsBody>(""); }, error));
    EXPECT_FALSE(error.empty());

    int renders = 0;
    const MetricsSource render = [&renders] {
        ++renders;
        return std::make_shared<const MetricsBody>("m 1\n");
    };
    EXPECT_EQ(answer("GET", "/metrics", "", render).content(), "m 1\n");
    EXPECT_EQ(answer("GET", "/metrics?x=1", "", render).contentType, "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_NE(answer("HEAD", "/", "", render).content().find("href=\"/metrics\""), std::string::npos);
    EXPECT_EQ(answer("GET", "/metricsx", "", render).status, 404);
    EXPECT_EQ(answer("GET", "/../metrics", "", render).status, 404);
    const Reply post = answer("POST", "/metrics", "", render);
    EXPECT_EQ(post.status, 405);
    EXPECT_TRUE(post.allowHeader);
    EXPECT_EQ(answer("DELETE", "/", "gzip", render).status, 405);
    EXPECT_EQ(renders, 2);
}

} // namespace
} // namespace vigilon::metrics
