// SPDX-License-Identifier: MIT
// The status page at ENTRIES TCP entries (default 5,000), each with 90 days
// of uptimes: the time to make it, to serve it over loopback (wall clock,
// from the request to the last byte), and, when Chromium and chromedriver
// are there, to show it in a headless browser (from the navigation's start
// to the load event, the script run) and the cost of one of its updates.
// Medians of RUNS (default 7). Measured, never asserted.
//
//   bench_status_page [ENTRIES [RUNS]]
#include "metrics/EntriesApi.h"
#include "metrics/MetricsRegistry.h"
#include "metrics/MetricsServer.h"
#include "metrics/StatusPage.h"
#include "tests/support/WebDriver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace vigilon;
using namespace vigilon::metrics;

namespace {

double wallMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    const std::size_t entries = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 5000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;

    MetricsRegistry registry;
    std::vector<MonitorPort> ports(entries);
    const std::string host = "127.0.0.1";
    auto figures = std::make_shared<FiguresTable>();
    figures->madeMillis = 1796789256250;
    for (std::size_t i = 0; i < entries; ++i) {
        MonitorPort &entry = ports[i];
        entry.id = std::uint32_t(i + 1);
        entry.rowHint = i;
        entry.port = std::uint32_t(40000 + i);
        entry.protocol = GenericTcp;
        entry.name = "TCP " + std::to_string(entry.port) + " #" + std::to_string(i);
        entry.status = i % 97 == 0 ? Failed : Ok;
        CheckOutcome outcome;
        outcome.entry = &entry;
        outcome.host = &host;
        outcome.unixMillis = figures->madeMillis;
        outcome.micros = 150 + (i * 7919) % 4000;
        if (entry.status == Failed) {
            outcome.result = CheckOutcome::Result::Failed;
            outcome.reason = FailureReason::of(FailureKind::Refused);
        }
        registry.checkDone(outcome);
        UptimeFigures f;
        f.day = 1;
        f.week = 0.999;
        f.month = 0.998;
        for (std::size_t d = 0; d < kFigureDays; ++d)
            f.days.push_back((i + d) % 31 == 0 ? 0.97 : (i + d) % 53 == 0 ? -1 : 1.0);
        figures->entries[SeriesKey{entry.name, host, entry.port, GenericTcp}] = f;
    }
    MetricsPage page(registry, "1.0");
    page.setFigures(figures);

    std::vector<double> make;
    std::size_t bytes = 0, documentBytes = 0;
    for (int run = 0; run < runs; ++run) {
        const double begin = wallMs();
        const auto view = page.entries();
        const std::string html = statusPage(*view, Language::English);
        make.push_back(wallMs() - begin);
        bytes = html.size();
        documentBytes = view->document.size();
    }
    std::string error;
    const auto server = startServer(Endpoint{"127.0.0.1", 0},
                                    Sources{[&page] { return page.current(); }, [&page] { return page.entries(); }},
                                    error);
    if (!server) {
        std::fprintf(stderr, "bench_status_page: %s\n", error.c_str());
        return 1;
    }
    std::vector<double> served;
    for (int run = 0; run < runs; ++run) {
        const double begin = wallMs();
        const std::string response = test::httpRequest(server->port(), "GET", "/");
        served.push_back(wallMs() - begin);
        if (test::httpStatus(response) != 200)
            std::fprintf(stderr, "bench_status_page: status %d\n", test::httpStatus(response));
    }
    std::printf("%zu entries, medians of %d runs, wall clock\n\n", entries, runs);
    std::printf("page made (entries' document and HTML): %.1f ms; served over loopback: %.1f ms; %.0f KiB\n",
                median(make), median(served), double(bytes) / 1024.0);
    std::printf("entries' JSON document the page polls: %.0f KiB\n", double(documentBytes) / 1024.0);

    if (const std::string missing = test::Browser::missing(); !missing.empty()) {
        std::printf("\nno browser: %s\n", missing.c_str());
        return 0;
    }
    const std::string profile = std::filesystem::temp_directory_path() / ("bench-status-page-" + std::to_string(getpid()));
    std::vector<double> shown, update;
    {
        test::Browser browser({profile, 1200, 900, "en"});
        if (!browser.ready()) {
            std::fprintf(stderr, "bench_status_page: %s\n", browser.error().c_str());
            return 1;
        }
        const std::string url = "http://127.0.0.1:" + std::to_string(server->port()) + "/";
        for (int run = 0; run < runs; ++run) {
            browser.open(url);
            const nlohmann::json t = browser.run(
                "var n = performance.getEntriesByType('navigation')[0]; return [n.loadEventEnd, "
                "document.querySelectorAll('#entries > li').length]");
            shown.push_back(t[0].get<double>());
            // One update as the page's poll makes it: the document fetched,
            // parsed and every entry set.
            const nlohmann::json u = browser.run(
                "var t0 = performance.now();"
                "return fetch('api/v1/entries').then(function (r) { return r.json(); }).then(function () {"
                "return performance.now() - t0; })");
            if (u.is_number())
                update.push_back(u.get<double>());
        }
    }
    std::filesystem::remove_all(profile);
    std::printf("shown in headless Chromium (navigation start to load event): %.0f ms\n", median(shown));
    if (!update.empty())
        std::printf("one poll's fetch and parse of the entries' document: %.0f ms\n", median(update));
    return 0;
}
