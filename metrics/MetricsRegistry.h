// SPDX-License-Identifier: MIT
#pragma once

#include "base/CheckObserver.h"
#include "base/Utf8.h"
#include "metrics/MetricsBody.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace vigilon::metrics {

// The upper bounds, in seconds, of the response-time histogram's buckets;
// +Inf follows them.
constexpr std::array<double, 11> kResponseBuckets{0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};

// The stable label value of a failure's kind, such as "timeout" or
// "name_not_found".
const char *reasonLabel(FailureKind kind);
// The label value of a check kind: "tcp", "udp", "icmp", "http", "https",
// "tls", "push", "dns".
const char *kindLabel(std::uint32_t protocol);

struct EntriesView;
struct FiguresTable;

// What the metrics know of one entry.
struct EntryMetrics {
    // What names the entry in the output; shared, so that a snapshot copies
    // no text.
    struct Labels {
        // What they were made of, as the entry had it.
        std::string name, host;
        std::uint32_t port = 0, protocol = 0;
        // DNS: the name and record type asked ("example.com MX"); empty for
        // other kinds.
        std::string query;
        // The entry's stable id, which the API and the badges show; empty
        // where it has none (the API then makes one of kind, host and port).
        std::string stableId;
        // As the text format writes them, made valid UTF-8 and escaped once:
        // entry="…",host="…",port="…",kind="…",id="…". The id is the
        // entry's, which no other entry has while the program runs: entries
        // whose names differ only in bytes that are not UTF-8, or that are
        // the same in every setting, still make series of their own.
        std::string text;
    };
    std::shared_ptr<const Labels> labels;
    bool up = true;
    bool answered = false; // lastResponseSeconds holds a value
    double lastResponseSeconds = 0;
    // Non-cumulative counts per bucket; the last one is +Inf.
    std::array<std::uint64_t, kResponseBuckets.size() + 1> buckets{};
    double responseSum = 0;
    std::uint64_t checks = 0;
    // By FailureKind; a fixed array, so that a snapshot copies no node.
    std::array<std::uint64_t, static_cast<std::size_t>(FailureKind::ReportedDown) + 1> failures{};
    bool certKnown = false;
    std::int64_t certExpiresAt = 0; // seconds since 1970
    // The registry's round when the entry was last checked; 0 never.
    std::uint64_t round = 0;
    // The entry's state as its last outcome left it (Idle: no verdict yet),
    // why its last check failed (None once one answered), when that check
    // was, in milliseconds since 1970 UTC, the certificate's whole days left
    // (with certKnown), and its row in the list of entries, which is its
    // index in the store.
    PortStatus status = Idle;
    FailureReason reason;
    std::int64_t checkedAtMillis = 0;
    std::int32_t certDaysLeft = 0;
    std::size_t row = 0;
    // In a quiet period: checked as ever, but alerting no one.
    bool quiet = false;
};

// The metrics as one scrape sees them.
struct MetricsSnapshot {
    std::vector<EntryMetrics> entries; // ascending by entry id
    bool monitoring = false;
    // MetricsRegistry::published() when it was taken.
    std::uint64_t published = 0;
    // Room kept from one snapshot to the next, so that the copy made under
    // the lock neither allocates nor touches fresh memory.
    std::vector<std::pair<std::uint32_t, EntryMetrics>> copied;
    std::vector<std::size_t> order;
};

// What the text holds beyond the entries' state and counts.
struct RenderOptions {
    // The response-time histogram: 14 of an entry's series, most of the
    // text. Fleets that only look at vigilon_entry_up do without it.
    bool histogram = true;
};

// Renders a snapshot in the Prometheus text format (version 0.0.4).
std::string renderMetrics(const MetricsSnapshot &snapshot, const std::string &version,
                          const RenderOptions &options = {});
// The same text handed to sink in pieces of about a hundred kilobytes, in
// order, never held whole.
void renderMetrics(const MetricsSnapshot &snapshot, const std::string &version, const RenderOptions &options,
                   const PieceSink &sink);

// The metrics of the checks, kept as the engine tells them (on the event
// loop) and read by the server (on its own thread). The loop holds the lock
// only for one entry's update; a scrape holds it only to copy the numbers.
class MetricsRegistry final : public CheckObserver {
public:
    void checkDone(const CheckOutcome &outcome) override;
    void outageBegan(const MonitorPort &entry, const std::string &host, std::int64_t unixMillis,
                     const FailureReason &reason, bool alertRan) override;
    void outageEnded(const MonitorPort &entry, const std::string &host, std::int64_t unixMillis) override;
    void monitoringStopped(std::int64_t unixMillis) override;
    void entryForgotten(const MonitorPort &entry, std::int64_t unixMillis) override;
    // The entries as they are now (their placeholder last): the API lists
    // each one, those never checked as such; the metrics text shows only
    // entries that have had a check. Entries no longer there go.
    void entriesKnown(const PortList &ports, const std::string &targetHost);
    void quietChanged(const MonitorPort &entry, const std::string &host, bool quiet, std::int64_t unixMillis) override;

    // Any thread. into is reused: pass the same one scrape after scrape.
    void snapshot(MetricsSnapshot &into) const;
    MetricsSnapshot snapshot() const;

    // Any thread. Goes up once a round of checks is over, when an entry is
    // checked for the first time, and when a change comes outside the rounds
    // (monitoring stopped, an entry forgotten): a text rendered at one count
    // holds until the next. The rounds are told from the outcomes: one is
    // over once every entry checked in the round before has had its check,
    // or when an entry has a second one (the next has begun, and whoever was
    // left out is waited for no more). The first round after a start is
    // over when the next one begins.
    std::uint64_t published() const;

private:
    EntryMetrics &slot(const MonitorPort &entry, const std::string &host);
    void nextRound();

    mutable std::mutex mutex_;
    std::unordered_map<std::uint32_t, EntryMetrics> entries_;
    bool monitoring_ = false;
    std::uint64_t published_ = 1;
    // The round under way (EntryMetrics::round of the entries checked in
    // it), how many entries it has checked, and how many it waits for.
    std::uint64_t round_ = 2;
    std::size_t checkedInRound_ = 0;
    std::size_t expected_ = 0;
};

// The metrics page the server sends: made from one snapshot, taken on the
// first scrape after MetricsRegistry::published() has moved, and kept for
// every scrape until the count moves again. The text and its compressed
// form are each rendered once, when a scrape first asks for it; the
// compressed one straight from the pieces of the text. The entries'
// documents and badges are made from the same snapshot.
class MetricsPage {
public:
    MetricsPage(const MetricsRegistry &registry, std::string version, RenderOptions options = {});
    // The server's thread, one request at a time.
    std::shared_ptr<const MetricsBody> current();
    std::shared_ptr<const EntriesView> entries();
    // Any thread: the uptime figures the entries show from now on.
    void setFigures(std::shared_ptr<const FiguresTable> figures);
    // How many times the text was rendered, whether it was kept or only
    // compressed; any thread.
    std::uint64_t renders() const;

private:
    // Takes a new snapshot when the count has moved since the last one;
    // then what was made of the old one goes.
    void refresh();

    const MetricsRegistry &registry_;
    const std::string version_;
    const RenderOptions options_;
    // Reused from one snapshot to the next, unless a page still sent
    // holds it.
    std::shared_ptr<MetricsSnapshot> room_ = std::make_shared<MetricsSnapshot>();
    bool taken_ = false;
    std::uint64_t takenAt_ = 0;
    std::shared_ptr<const MetricsBody> kept_;
    std::shared_ptr<const EntriesView> keptEntries_;
    std::shared_ptr<const FiguresTable> keptFigures_;
    mutable std::mutex figuresMutex_;
    std::shared_ptr<const FiguresTable> figures_;
    // Shared with the pages, which render after the page may have gone.
    std::shared_ptr<std::atomic<std::uint64_t>> renders_ = std::make_shared<std::atomic<std::uint64_t>>(0);
};

} // namespace vigilon::metrics
