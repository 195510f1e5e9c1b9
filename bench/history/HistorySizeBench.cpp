// SPDX-License-Identifier: MIT
// Writes synthetic history through the history's own writer at accelerated
// time (the worker's clock follows the generated checks), then tells what
// the file holds per table and what a year at 1,000 entries comes to.
//
//   bench_history_size [ENTRIES [HOURS [INTERVAL_SECONDS [FILE]]]]
//
// Defaults: 100 entries, 50 hours, 10 s. The raw table is at its steady
// size once HOURS passes 48 (below, it is scaled up to 48 hours);
// per-minute summaries are scaled from HOURS to 30 days and hourly ones
// from the whole days written to a year, and everything from ENTRIES to
// 1,000.
#include "base/MonitorPort.h"
#include "base/PollEventLoop.h"
#include "history/History.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <random>
#include <string>

using namespace vigilon;
using namespace vigilon::history;

namespace {

// The first column of each row of a query, by the second.
std::map<std::string, double> query(const std::string &path, const char *sql)
{
    std::map<std::string, double> values;
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.c_str(), &db) == SQLITE_OK) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK) {
            while (sqlite3_step(stmt) == SQLITE_ROW)
                values[reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))] = sqlite3_column_double(stmt, 1);
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return values;
}

} // namespace

int main(int argc, char **argv)
{
    const int entries = argc > 1 ? std::atoi(argv[1]) : 100;
    const int hours = argc > 2 ? std::atoi(argv[2]) : 50;
    const int interval = argc > 3 ? std::atoi(argv[3]) : 10;
    const std::string path =
        argc > 4 ? argv[4] : (std::filesystem::temp_directory_path() / "vigilon-history-bench.db").string();
    for (const char *suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(path + suffix);

    const std::int64_t start = 20000 * kBlockHours * kHourMillis;
    std::atomic<std::int64_t> now{start};
    PollEventLoop loop;
    History::Options options;
    options.path = path;
    options.nowMillis = [&now] { return now.load(); };
    // Pruned once, at the end: the worker prunes by the wall clock.
    options.pruneEvery = std::chrono::hours(24 * 365);
    auto history = std::make_unique<History>(loop, std::move(options), true);

    std::mt19937_64 random(29);
    std::vector<std::unique_ptr<MonitorPort>> ports;
    std::vector<double> base;
    for (int i = 0; i < entries; ++i) {
        auto port = std::make_unique<MonitorPort>();
        port->id = static_cast<std::uint32_t>(i + 1);
        port->port = static_cast<std::uint32_t>(1000 + i);
        port->name = "TCP " + std::to_string(port->port);
        ports.push_back(std::move(port));
        // Answers from 200 µs (the same network) to 80 ms (far away).
        base.push_back(200.0 * std::pow(400.0, std::uniform_real_distribution<>(0, 1)(random)));
    }
    const std::string host = "192.0.2.10";
    std::lognormal_distribution<> jitter(0.0, 0.25);
    std::bernoulli_distribution fails(0.005);

    double pushNanos = 0;
    std::uint64_t pushes = 0;
    const auto began = std::chrono::steady_clock::now();
    const std::clock_t cpuBegan = std::clock();
    const std::int64_t rounds = std::int64_t(hours) * 3600 / interval;
    for (std::int64_t round = 0; round < rounds; ++round) {
        now = start + round * interval * 1000;
        const auto pushing = std::chrono::steady_clock::now();
        for (int i = 0; i < entries; ++i) {
            CheckOutcome outcome;
            outcome.entry = ports[i].get();
            outcome.host = &host;
            outcome.unixMillis = now + i * 7;
            if (fails(random)) {
                outcome.result = CheckOutcome::Result::Failed;
                outcome.micros = 3000000;
                outcome.reason = FailureReason::of(FailureKind::TimedOut);
            } else {
                outcome.micros = static_cast<std::uint64_t>(base[i] * jitter(random));
            }
            history->checkDone(outcome);
        }
        pushNanos += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - pushing).count();
        pushes += static_cast<std::uint64_t>(entries);
        // A transaction a round, as the worker writes once a second when
        // the interval is a second or longer.
        history->sync();
    }
    history.reset();
    {
        // The last hour summarised too, as the next hour's first write would.
        HistoryFile file;
        std::string said;
        if (file.open(path, said) == HistoryFile::Opened::Ok && file.begin()) {
            file.prune(start + std::int64_t(hours) * kHourMillis);
            file.commit();
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const double cpuMicros = double(std::clock() - cpuBegan) * 1e6 / CLOCKS_PER_SEC;

    // Pages per table (and its index), and the packed data they hold: the
    // raw checks (their rows per hour, and the batches of the hour under
    // way), the per-minute summaries (the hour's summary with them) and the
    // hourly ones (a row per day once it is over).
    const auto bytes = query(path, "SELECT name, sum(pgsize) FROM dbstat GROUP BY name");
    const auto data = query(path, "SELECT 'raw', (SELECT coalesce(sum(length(data)), 0) FROM raw_closed) + "
                                  "(SELECT coalesce(sum(length(data)), 0) FROM batches) UNION ALL "
                                  "SELECT 'minutes', coalesce(sum(length(minutes) + length(hourly)), 0) "
                                  "FROM summaries UNION ALL "
                                  "SELECT 'hours', coalesce(sum(length(data)), 0) FROM hour_days UNION ALL "
                                  "SELECT 'days', count(DISTINCT id >> 32) FROM hour_days");
    const auto of = [&](std::initializer_list<const char *> names) {
        double sum = 0;
        for (const char *name : names)
            for (const auto &[table, size] : bytes)
                if (table == name || table.rfind(std::string("sqlite_autoindex_") + name + "_", 0) == 0)
                    sum += size;
        return sum;
    };
    const double scale = 1000.0 / entries;
    const double rawPages = of({"raw_closed", "batches"});
    const double minutePages = of({"summaries"});
    // Fewer hours than the 48 kept: the raw tier is scaled up to them.
    const double raw = rawPages * scale * std::max(1.0, 48.0 / hours);
    const double minutes = minutePages * scale * (30.0 * 24 / hours);
    // A few days of hourly summaries fill a few pages: their rows are taken
    // at the pages per byte of the per-minute rows, written the same way.
    const double perByte = data.at("minutes") > 0 ? minutePages / data.at("minutes") : 1.0;
    const double days = std::max(data.at("days"), 1.0);
    const double hourly = data.at("hours") * perByte * scale * (365.0 / days);
    double rest = 0;
    for (const auto &[table, size] : bytes)
        rest += size;
    rest = (rest - rawPages - minutePages - of({"hour_days"})) * scale;
    const double mb = 1024.0 * 1024.0;
    std::printf("%d entries, %d hours at %d s: %.0f checks in %.1f s; a check costs the loop %.0f ns, the program "
                "%.1f µs of CPU (generating it included): %.2f %% of a core at 5,000 entries every 10 s\n",
                entries, hours, interval, double(pushes), seconds, pushNanos / double(pushes),
                cpuMicros / double(pushes), cpuMicros / double(pushes) * 500 / 1e6 * 100);
    std::printf("file %s: %.1f MB (raw %.1f MB, minutes %.1f MB, hours %.2f MB)\n", path.c_str(),
                std::filesystem::file_size(path) / mb, rawPages / mb, minutePages / mb, of({"hour_days"}) / mb);
    std::printf("packed bytes: %.2f a raw check kept, %.2f a minute's summary (its hour's included), %.2f an "
                "hour's in its day's row; pages/data %.2f (raw), %.2f (minutes)\n",
                data.at("raw") / (double(entries) * std::min(hours, 48) * 3600 / interval),
                data.at("minutes") / (double(entries) * hours * 60), data.at("hours") / (double(entries) * days * 24),
                rawPages / std::max(data.at("raw"), 1.0), perByte);
    std::printf("1,000 entries kept a year: raw 48 h %.1f MB + minutes 30 d %.1f MB + hours 1 y %.1f MB + rest %.1f MB"
                " = %.1f MB\n",
                raw / mb, minutes / mb, hourly / mb, rest / mb, (raw + minutes + hourly + rest) / mb);
    return 0;
}
