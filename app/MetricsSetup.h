// SPDX-License-Identifier: MIT
#pragma once

#include "base/CommandLine.h"
#include "base/MonitorPort.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vigilon {

class CheckObserver;
class EventLoop;
class Prompter;
namespace reg {
class Registry;
}
namespace history {
class History;
}
namespace metrics {
class MetricsPage;
class MetricsRegistry;
class Server;
} // namespace metrics

// The stored "Metrics Address" in the program's key: where to serve the
// metrics; empty or missing, nowhere.
constexpr const char *kMetricsAddressValue = "Metrics Address";
// The stored "Metrics Histogram" beside it, a DWORD: 0 leaves the
// response-time histogram out of the metrics; missing or any other number,
// it is served.
constexpr const char *kMetricsHistogramValue = "Metrics Histogram";
// The stored "Metrics Password" beside it, a secret (REG_SZ; protected for
// this machine on Windows, where a clear value written by hand is read
// too): when set, the status page, the API and the badges ask for it.
constexpr const char *kMetricsPasswordValue = "Metrics Password";

// The metrics endpoint while the program runs: the metrics kept from the
// checks and the server that hands them to scrapers.
class MetricsService {
public:
    ~MetricsService();
    // Serves the metrics where "--metrics" says, or else the stored value;
    // with the histogram unless "--metrics-histogram=off" (or, without that
    // switch, the stored value) leaves it out.
    // With a history, the entries show their uptimes from it, and the
    // series and outages are answered from it; it outlives the server.
    // Null when neither asks for them, or when they cannot be served there:
    // then a notice and a line on standard error say why, and the program
    // goes on without them.
    static std::unique_ptr<MetricsService> start(const CommandLine &commandLine, reg::Registry &registry,
                                                 Prompter &prompter, history::History *history = nullptr);
    // To be told of the checks; lives as long as this object.
    CheckObserver &observer();
    // Ends the server and joins its thread; the metrics stay until the end.
    void stop();

    // Where heartbeat calls go: onLoop runs on loop's thread with the
    // entry's id, for calls with a token the entries had when last told.
    using PushReceiver = std::function<void(std::uint32_t entryId, bool up, const std::string &message)>;
    void receivePushes(EventLoop &loop, PushReceiver onLoop);
    // The entries as they are now (the event loop's thread): their tokens,
    // and the entries the API lists before their first check.
    void entriesChanged(const PortList &ports, const std::string &targetHost);
    // Where the server listens ("ADDR:PORT", brackets around IPv6).
    const std::string &address() const { return address_; }

private:
    MetricsService();
    struct PushDesk;
    std::shared_ptr<PushDesk> desk_;
    std::string address_;
    std::unique_ptr<metrics::MetricsRegistry> metrics_;
    std::unique_ptr<metrics::MetricsPage> page_;
    struct FiguresFeed;
    std::shared_ptr<FiguresFeed> feed_;
    std::unique_ptr<metrics::Server> server_;
};

} // namespace vigilon
