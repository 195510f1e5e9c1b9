// SPDX-License-Identifier: MIT
// The metrics endpoint as the program sets it up from its command line and
// its store, scraped over loopback: the histogram is there unless the
// switch, or else the stored value, leaves it out.
#include "app/MetricsSetup.h"
#include "base/CheckObserver.h"
#include "metrics/MetricsServer.h"
#include "store/MemoryRegistry.h"
#include "store/Settings.h"
#include "tests/support/FakePrompter.h"
#include "tests/support/HttpClient.h"

#include <gtest/gtest.h>

namespace vigilon {
namespace {

// A port of loopback that was free a moment ago: the one a server on port
// 0 got.
std::uint16_t freePort()
{
    std::string error;
    const auto server = metrics::startServer(metrics::Endpoint{"127.0.0.1", 0},
                                             [] { return std::make_shared<const metrics::MetricsBody>(""); }, error);
    return server ? server->port() : 0;
}

// What a scrape of the program's metrics (or another of its paths) gets
// after one check, started with arguments over a store that holds "Metrics
// Histogram" (-1: none).
std::string scrapeAfterOneCheck(std::vector<const char *> arguments, long storedHistogram,
                                const std::string &path = "/metrics")
{
    reg::MemoryRegistry registry;
    const std::uint16_t port = freePort();
    const std::unique_ptr<reg::Key> key = registry.createKey(kProgramKey);
    key->setValue(kMetricsAddressValue, reg::RegSz, reg::stringBytes("127.0.0.1:" + std::to_string(port)));
    if (storedHistogram >= 0)
        key->setValue(kMetricsHistogramValue, reg::RegDword, reg::dwordBytes(std::uint32_t(storedHistogram)));
    arguments.insert(arguments.begin(), "vigilon");
    test::FakePrompter prompter;
    const std::unique_ptr<MetricsService> service =
        MetricsService::start(parseArguments(int(arguments.size()), arguments.data()), registry, prompter);
    if (!service)
        return "(not served)";
    MonitorPort entry;
    entry.id = 1;
    entry.name = "web";
    entry.port = 80;
    entry.status = Ok;
    const std::string host = "127.0.0.1";
    CheckOutcome outcome;
    outcome.entry = &entry;
    outcome.host = &host;
    outcome.micros = 1500;
    service->observer().checkDone(outcome);
    return test::httpBody(test::httpRequest(port, "GET", path));
}

bool hasHistogram(const std::string &text)
{
    return text.find("vigilon_entry_response_seconds_bucket{entry=\"web\"") != std::string::npos;
}

TEST(MetricsSetup, theSwitchOrElseTheStoreLeavesTheHistogramOut)
{
    // Missing, 1 or any number but 0: served; 0: left out.
    const std::string missing = scrapeAfterOneCheck({}, -1);
    EXPECT_TRUE(hasHistogram(missing)) << missing;
    EXPECT_NE(missing.find("vigilon_entry_up{entry=\"web\""), std::string::npos) << missing;
    EXPECT_TRUE(hasHistogram(scrapeAfterOneCheck({}, 1)));
    EXPECT_TRUE(hasHistogram(scrapeAfterOneCheck({}, 7)));
    const std::string stored = scrapeAfterOneCheck({}, 0);
    EXPECT_FALSE(hasHistogram(stored)) << stored;
    EXPECT_NE(stored.find("vigilon_entry_up{entry=\"web\""), std::string::npos) << stored;
    // The switch goes before the store either way.
    EXPECT_TRUE(hasHistogram(scrapeAfterOneCheck({"--metrics-histogram=on"}, 0)));
    EXPECT_FALSE(hasHistogram(scrapeAfterOneCheck({"--metrics-histogram=off"}, -1)));
}

// The entries' documents and badges come from the program's server, made
// from what the checks told its metrics.
TEST(MetricsSetup, servesTheEntriesBesideTheMetrics)
{
    const std::string entries = scrapeAfterOneCheck({}, -1, "/api/v1/entries");
    EXPECT_NE(entries.find("\"name\":\"web\""), std::string::npos) << entries;
    EXPECT_NE(entries.find("\"state\":\"ok\""), std::string::npos) << entries;
    const std::string badge = scrapeAfterOneCheck({}, -1, "/badge/0/status.svg");
    EXPECT_NE(badge.find(">web</text>"), std::string::npos) << badge;
}

} // namespace
} // namespace vigilon
