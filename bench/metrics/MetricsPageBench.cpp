// SPDX-License-Identifier: MIT
// The metrics page at ENTRIES TCP entries (default 5,000) after a few
// rounds of checks: the time to take its snapshot, to render it straight
// into its compressed form (what a scraper asking for gzip has made), to
// render its whole text, and to scrape it over loopback once it is kept, with and without the
// histogram; its size plain and on the wire gzip-compressed; the entries'
// JSON document made from the same snapshot. Medians of
// RUNS (default 9). CPU time of this process, so that other work on the
// machine counts little.
//
//   bench_metrics_page [ENTRIES [RUNS]]
#include "metrics/EntriesApi.h"
#include "metrics/MetricsRegistry.h"
#include "metrics/MetricsServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

using namespace vigilon;
using namespace vigilon::metrics;

namespace {

double cpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// One scrape, as Prometheus makes it (gzip asked for, or not): the bytes
// read, head included.
std::size_t scrape(std::uint16_t port, bool gzip)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const std::string request = std::string("GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n") +
                                (gzip ? "Accept-Encoding: gzip\r\n" : "") + "\r\n";
    std::size_t total = 0;
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
        char buffer[65536];
        for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;)
            total += std::size_t(got);
    }
    close(fd);
    return total;
}

} // namespace

int main(int argc, char **argv)
{
    const std::size_t entries = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 5000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;

    MetricsRegistry registry;
    std::vector<MonitorPort> ports(entries);
    const std::string host = "127.0.0.1";
    // Names as shipped_bench gives them; a few failures, answers of a few
    // hundred microseconds to a few milliseconds.
    for (std::size_t i = 0; i < entries; ++i) {
        MonitorPort &entry = ports[i];
        entry.id = std::uint32_t(i + 1);
        entry.port = std::uint32_t(40000 + i % 50);
        entry.protocol = GenericTcp;
        entry.name = "TCP " + std::to_string(entry.port) + " #" + std::to_string(i);
        entry.status = Ok;
    }
    const auto round = [&](unsigned r) {
        for (std::size_t i = 0; i < entries; ++i) {
            const MonitorPort &entry = ports[i];
            CheckOutcome outcome;
            outcome.entry = &entry;
            outcome.host = &host;
            outcome.micros = 150 + (i * 7919 + r * 104729) % 4000;
            if ((i + r) % 97 == 0) {
                outcome.result = CheckOutcome::Result::Retry;
                outcome.reason = FailureReason::of(FailureKind::Refused);
            }
            registry.checkDone(outcome);
        }
    };
    for (unsigned r = 0; r < 3; ++r)
        round(r);
    // What the registry costs the loop: taking note of a round's outcomes.
    std::vector<double> noting;
    for (int run = 0; run < runs; ++run) {
        const double begin = cpuMs();
        round(unsigned(run + 100));
        noting.push_back(cpuMs() - begin);
    }

    std::printf("%zu entries, medians of %d runs, CPU of this process\n\n", entries, runs);
    std::printf("%-10s | %11s %9s %9s %9s | %10s %10s | %9s %9s\n", "histogram", "snapshot ms", "gzip ms",
                "per entry", "text ms", "plain KiB", "gzip KiB", "scrape ms", "(gzip)");
    for (const bool histogram : {true, false}) {
        RenderOptions options;
        options.histogram = histogram;
        std::vector<double> snapshot, compress, render, plainScrape, gzipScrape;
        std::size_t plainBytes = 0, gzipBytes = 0;
        MetricsPage page(registry, "1.0", options);
        std::string error;
        const auto server = startServer(Endpoint{"127.0.0.1", 0}, [&page] { return page.current(); }, error);
        if (!server) {
            std::fprintf(stderr, "bench_metrics_page: %s\n", error.c_str());
            return 1;
        }
        for (int run = 0; run < runs; ++run) {
            // A round ends: the next scrape takes a snapshot; one asking
            // for gzip renders it into its compressed form, one that does
            // not renders the text.
            round(unsigned(run + 3));
            double begin = cpuMs();
            const auto body = page.current();
            snapshot.push_back(cpuMs() - begin);
            begin = cpuMs();
            gzipBytes = body->gzip().size();
            compress.push_back(cpuMs() - begin);
            begin = cpuMs();
            plainBytes = body->text().size();
            render.push_back(cpuMs() - begin);
            // Scrapes of the kept page: this process serves and reads them.
            begin = cpuMs();
            scrape(server->port(), false);
            plainScrape.push_back(cpuMs() - begin);
            begin = cpuMs();
            scrape(server->port(), true);
            gzipScrape.push_back(cpuMs() - begin);
        }
        std::printf("%-10s | %11.2f %9.2f %7.2f us %9.2f | %10.0f %10.0f | %9.2f %9.2f\n", histogram ? "on" : "off",
                    median(snapshot), median(compress),
                    (median(snapshot) + median(compress)) * 1000.0 / double(entries), median(render),
                    double(plainBytes) / 1024.0, double(gzipBytes) / 1024.0, median(plainScrape),
                    median(gzipScrape));
    }
    // The entries' document: made once per round from the snapshot, on the
    // server's thread.
    {
        MetricsPage page(registry, "1.0");
        std::vector<double> document;
        std::size_t bytes = 0;
        for (int run = 0; run < runs; ++run) {
            round(unsigned(run + 200));
            const double begin = cpuMs();
            const auto view = page.entries();
            document.push_back(cpuMs() - begin);
            bytes = view->document.size();
        }
        std::printf("\nThe entries' JSON document (/api/v1/entries): %.2f ms per round (snapshot and JSON), %.2f us "
                    "per entry, %.0f KiB.\n",
                    median(document), median(document) * 1000.0 / double(entries), double(bytes) / 1024.0);
    }
    std::printf("\nTaking note of a round's outcomes (on the loop, the check's own work left out): %.2f ms, %.2f us "
                "per check.\n",
                median(noting), median(noting) * 1000.0 / double(entries));
    std::printf("\nsnapshot: once per round, on the first scrape; gzip: the text rendered piece by piece into its\n"
                "compressed form, once per round when a scraper asks for gzip; per entry: both, per entry and round;\n"
                "text: the whole text rendered, once per round when a scraper asks for it plain; scrape: one scrape\n"
                "of the kept page on loopback, server and client together (both in this process).\n");
    return 0;
}
