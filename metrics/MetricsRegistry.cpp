// SPDX-License-Identifier: MIT
#include "metrics/MetricsRegistry.h"

#include "metrics/EntriesApi.h"

#include <algorithm>
#include <charconv>
#include <string_view>

namespace vigilon::metrics {

const char *reasonLabel(FailureKind kind)
{
    switch (kind) {
    case FailureKind::None:
        return "none";
    case FailureKind::TimedOut:
        return "timeout";
    case FailureKind::Refused:
        return "refused";
    case FailureKind::Reset:
        return "reset";
    case FailureKind::Unreachable:
        return "unreachable";
    case FailureKind::NameNotFound:
        return "name_not_found";
    case FailureKind::LookupTimedOut:
        return "lookup_timeout";
    case FailureKind::ClosedBeforeReply:
        return "closed_before_reply";
    case FailureKind::LocalShortage:
        return "local_shortage";
    case FailureKind::CertExpired:
        return "cert_expired";
    case FailureKind::CertNotYetValid:
        return "cert_not_yet_valid";
    case FailureKind::CertUntrusted:
        return "cert_untrusted";
    case FailureKind::NameMismatch:
        return "name_mismatch";
    case FailureKind::TlsHandshakeFailed:
        return "tls_handshake_failed";
    case FailureKind::HttpStatus:
        return "http_status";
    case FailureKind::NotPermitted:
        return "not_permitted";
    case FailureKind::UnexpectedReply:
        return "unexpected_reply";
    case FailureKind::ContentRule:
        return "content_rule";
    case FailureKind::BodyTooLarge:
        return "body_too_large";
    case FailureKind::Redirect:
        return "redirect";
    case FailureKind::DnsNxDomain:
        return "dns_nxdomain";
    case FailureKind::DnsServFail:
        return "dns_servfail";
    case FailureKind::DnsRefused:
        return "dns_refused";
    case FailureKind::DnsNoAnswer:
        return "dns_no_answer";
    case FailureKind::DnsAnswerDiffers:
        return "dns_answer_differs";
    case FailureKind::NoHeartbeat:
        return "no_heartbeat";
    case FailureKind::ReportedDown:
        return "reported_down";
    }
    return "other";
}

const char *kindLabel(std::uint32_t protocol)
{
    switch (protocol) {
    case GenericUdp:
        return "udp";
    case Ping:
        return "icmp";
    case Http:
        return "http";
    case Https:
        return "https";
    case Tls:
        return "tls";
    case Dns:
        return "dns";
    case Push:
        return "push";
    default:
        return "tcp"; // what any other stored kind is checked as
    }
}

namespace {

void appendLabelValue(std::string &out, const std::string &value)
{
    for (const char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
}

void appendNumber(std::string &out, double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendNumber(std::string &out, std::uint64_t value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendNumber(std::string &out, std::int64_t value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void family(std::string &out, const char *name, const char *type, const char *help)
{
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

// name{entry="…",host="…",port="…",kind="…",id="…"[,extra]} value
template <typename Number>
void sample(std::string &out, const char *name, const char *suffix, const EntryMetrics::Labels &labels,
            std::string_view extra, Number value)
{
    out += name;
    out += suffix;
    out += '{';
    out += labels.text;
    out += extra;
    out += "} ";
    appendNumber(out, value);
    out += '\n';
}

// The size of the pieces a text written for a sink is handed on in: small
// enough to stay in the core's cache until the sink has taken it.
constexpr std::size_t kPiece = 128 * 1024;

// Hands what is written so far to the sink once it makes a piece.
void handOn(std::string &out, const PieceSink *sink)
{
    if (sink && out.size() >= kPiece) {
        (*sink)(out);
        out.clear();
    }
}

// The response-time histogram of every entry.
void renderHistogram(std::string &out, const PieceSink *sink, const std::vector<const EntryMetrics *> &entries)
{
    family(out, "vigilon_entry_response_seconds", "histogram", "The response times of the entry's answers.");
    std::array<std::string, kResponseBuckets.size() + 1> le;
    for (std::size_t b = 0; b < le.size(); ++b) {
        le[b] = ",le=\"";
        if (b < kResponseBuckets.size())
            appendNumber(le[b], kResponseBuckets[b]);
        else
            le[b] += "+Inf";
        le[b] += '"';
    }
    for (const EntryMetrics *e : entries) {
        std::uint64_t cumulative = 0;
        for (std::size_t b = 0; b < e->buckets.size(); ++b) {
            cumulative += e->buckets[b];
            sample(out, "vigilon_entry_response_seconds", "_bucket", *e->labels, le[b], cumulative);
        }
        sample(out, "vigilon_entry_response_seconds", "_sum", *e->labels, {}, e->responseSum);
        sample(out, "vigilon_entry_response_seconds", "_count", *e->labels, {}, cumulative);
        handOn(out, sink);
    }
}

// Hands the rest of the text to the sink, if any.
void finish(std::string &out, const PieceSink *sink)
{
    if (sink && !out.empty()) {
        (*sink)(out);
        out.clear();
    }
}

// The text of the snapshot, written into out; with a sink, handed on to it
// piece by piece as it is written, out left empty.
void render(const MetricsSnapshot &snapshot, const std::string &version, const RenderOptions &options,
            std::string &out, const PieceSink *sink)
{
    // Every entry's labels differ by its id, so no two entries make one
    // series (which Prometheus would refuse with the whole scrape).
    // Entries known but never checked have no series yet.
    std::vector<const EntryMetrics *> entries;
    entries.reserve(snapshot.entries.size());
    for (const EntryMetrics &entry : snapshot.entries) {
        if (entry.checks > 0)
            entries.push_back(&entry);
    }

    out.reserve(sink ? kPiece + 4096 : 1024 + entries.size() * (options.histogram ? 2200 : 500));
    family(out, "vigilon_build_info", "gauge", "The version of this Vigilon, in the label version; always 1.");
    out += "vigilon_build_info{version=\"";
    appendLabelValue(out, validUtf8(version));
    out += "\"} 1\n";
    family(out, "vigilon_monitoring", "gauge", "1 while monitoring runs, 0 while it is stopped.");
    out += snapshot.monitoring ? "vigilon_monitoring 1\n" : "vigilon_monitoring 0\n";
    if (entries.empty()) {
        finish(out, sink);
        return;
    }

    family(out, "vigilon_entry_up", "gauge", "1 while the entry answers, 0 once it is declared failed.");
    for (const EntryMetrics *e : entries) {
        sample(out, "vigilon_entry_up", "", *e->labels, {}, std::uint64_t(e->up ? 1 : 0));
        handOn(out, sink);
    }

    family(out, "vigilon_entry_quiet", "gauge",
           "1 while the entry is in a quiet period (checked, but alerting no one), else 0.");
    for (const EntryMetrics *e : entries) {
        sample(out, "vigilon_entry_quiet", "", *e->labels, {}, std::uint64_t(e->quiet ? 1 : 0));
        handOn(out, sink);
    }

    family(out, "vigilon_entry_checks_total", "counter", "Checks of the entry made by the polling rounds.");
    for (const EntryMetrics *e : entries) {
        sample(out, "vigilon_entry_checks_total", "", *e->labels, {}, e->checks);
        handOn(out, sink);
    }

    family(out, "vigilon_entry_failures_total", "counter", "Failed checks of the entry, by reason.");
    for (const EntryMetrics *e : entries) {
        for (std::size_t kind = 1; kind < e->failures.size(); ++kind) {
            if (e->failures[kind])
                sample(out, "vigilon_entry_failures_total", "", *e->labels,
                       std::string(",reason=\"") + reasonLabel(static_cast<FailureKind>(kind)) + '"', e->failures[kind]);
        }
        handOn(out, sink);
    }

    family(out, "vigilon_entry_last_response_seconds", "gauge", "The response time of the entry's last answer.");
    for (const EntryMetrics *e : entries) {
        if (e->answered)
            sample(out, "vigilon_entry_last_response_seconds", "", *e->labels, {}, e->lastResponseSeconds);
        handOn(out, sink);
    }

    if (options.histogram)
        renderHistogram(out, sink, entries);

    bool anyCert = false;
    for (const EntryMetrics *e : entries)
        anyCert = anyCert || e->certKnown;
    if (anyCert) {
        family(out, "vigilon_entry_cert_expiry_timestamp_seconds", "gauge",
               "When the certificate the server showed at the last handshake expires, in seconds since 1970.");
        for (const EntryMetrics *e : entries) {
            if (e->certKnown)
                sample(out, "vigilon_entry_cert_expiry_timestamp_seconds", "", *e->labels, {}, e->certExpiresAt);
            handOn(out, sink);
        }
    }
    finish(out, sink);
}

} // namespace

std::string renderMetrics(const MetricsSnapshot &snapshot, const std::string &version, const RenderOptions &options)
{
    std::string out;
    render(snapshot, version, options, out, nullptr);
    return out;
}

void renderMetrics(const MetricsSnapshot &snapshot, const std::string &version, const RenderOptions &options,
                   const PieceSink &sink)
{
    std::string out;
    render(snapshot, version, options, out, &sink);
}

EntryMetrics &MetricsRegistry::slot(const MonitorPort &entry, const std::string &host)
{
    EntryMetrics &e = entries_[entry.id];
    // New, or changed without being forgotten first: the labels are made
    // again; otherwise they stay shared with the snapshots.
    const std::string query = entry.protocol == Dns ? entry.dnsName + " " + entry.dnsType : std::string();
    if (e.labels && e.labels->port == entry.port && e.labels->protocol == entry.protocol &&
        e.labels->host == host && e.labels->name == entry.name && e.labels->query == query &&
        e.labels->stableId == entry.stableId)
        return e;
    if (e.labels)
        e = EntryMetrics{};
    auto labels = std::make_shared<EntryMetrics::Labels>();
    labels->name = entry.name;
    labels->host = host;
    labels->port = entry.port;
    labels->protocol = entry.protocol;
    labels->query = query;
    labels->stableId = entry.stableId;
    labels->text = "entry=\"";
    appendLabelValue(labels->text, validUtf8(entry.name));
    labels->text += "\",host=\"";
    appendLabelValue(labels->text, validUtf8(host));
    labels->text += "\",port=\"" + std::to_string(entry.port) + "\",kind=\"" + kindLabel(entry.protocol) +
                    "\",id=\"" + std::to_string(entry.id) + '"';
    e.labels = std::move(labels);
    return e;
}

void MetricsRegistry::nextRound()
{
    expected_ = checkedInRound_;
    checkedInRound_ = 0;
    ++round_;
    ++published_;
}

void MetricsRegistry::checkDone(const CheckOutcome &outcome)
{
    const MonitorPort &entry = *outcome.entry;
    const double seconds = static_cast<double>(outcome.micros) / 1e6;
    const auto bucket = static_cast<std::size_t>(
        std::lower_bound(kResponseBuckets.begin(), kResponseBuckets.end(), seconds) - kResponseBuckets.begin());
    const std::lock_guard lock(mutex_);
    monitoring_ = true;
    EntryMetrics &e = slot(entry, *outcome.host);
    const bool fresh = e.checks == 0;
    // Its second check in this round: the next one has begun, and the
    // entries left out of the one that ended are not waited for again.
    if (e.round == round_)
        nextRound();
    // Checked in the last round: the round waits for it. New, or back after
    // a round without it: it joins, and the round waits for it from the next.
    const bool member = e.round + 1 == round_;
    if (!member)
        ++expected_;
    e.round = round_;
    ++checkedInRound_;
    ++e.checks;
    e.up = entry.status != Failed;
    if (outcome.failed()) {
        const auto kind = static_cast<std::size_t>(outcome.reason.kind);
        ++e.failures[kind < e.failures.size() ? kind : static_cast<std::size_t>(FailureKind::TimedOut)];
    } else if (entry.protocol != Push) {
        // A heartbeat's call has no response time.
        e.answered = true;
        e.lastResponseSeconds = seconds;
        ++e.buckets[bucket];
        e.responseSum += seconds;
    }
    e.certKnown = usesTls(entry.protocol) && entry.certDaysKnown;
    e.certExpiresAt = entry.certExpiresAt;
    e.certDaysLeft = entry.certDaysLeft;
    e.status = entry.status;
    e.reason = outcome.failed() ? outcome.reason : FailureReason{};
    e.checkedAtMillis = outcome.unixMillis;
    e.row = entry.rowHint;
    e.quiet = entry.quiet;
    if (member && checkedInRound_ >= expected_)
        nextRound();
    else if (fresh)
        ++published_; // a new entry shows at once
}

// The outcome told before has the entry's state already; should an outage
// come otherwise, the change shows at once.
void MetricsRegistry::outageBegan(const MonitorPort &entry, const std::string &, std::int64_t,
                                  const FailureReason &reason, bool)
{
    const std::lock_guard lock(mutex_);
    const auto found = entries_.find(entry.id);
    if (found == entries_.end())
        return;
    EntryMetrics &e = found->second;
    if (e.up || e.status != Failed || !(e.reason == reason))
        ++published_;
    e.up = false;
    e.status = Failed;
    e.reason = reason;
}

void MetricsRegistry::outageEnded(const MonitorPort &entry, const std::string &, std::int64_t)
{
    const std::lock_guard lock(mutex_);
    const auto found = entries_.find(entry.id);
    if (found == entries_.end())
        return;
    EntryMetrics &e = found->second;
    const PortStatus status = e.status == Failed ? (entry.status == Failed ? Ok : entry.status) : e.status;
    if (!e.up || e.status != status)
        ++published_;
    e.up = true;
    e.status = status;
}

void MetricsRegistry::monitoringStopped(std::int64_t)
{
    const std::lock_guard lock(mutex_);
    monitoring_ = false;
    ++published_;
    // The first round after a start is told by its end, when the next one
    // begins: every entry joins it.
    ++round_;
    checkedInRound_ = 0;
    expected_ = 0;
}

void MetricsRegistry::entryForgotten(const MonitorPort &entry, std::int64_t)
{
    const std::lock_guard lock(mutex_);
    const auto found = entries_.find(entry.id);
    if (found == entries_.end())
        return;
    const std::uint64_t round = found->second.round;
    if (round == round_ && checkedInRound_ > 0)
        --checkedInRound_;
    if (round + 1 >= round_ && expected_ > 0)
        --expected_;
    entries_.erase(found);
    ++published_;
}

void MetricsRegistry::entriesKnown(const PortList &ports, const std::string &targetHost)
{
    const std::lock_guard lock(mutex_);
    std::unordered_map<std::uint32_t, EntryMetrics> kept;
    kept.reserve(ports.size());
    for (std::size_t row = 0; row + 1 < ports.size(); ++row) {
        const MonitorPort &entry = *ports[row];
        EntryMetrics &e = slot(entry, checkedHost(entry, targetHost));
        e.row = row;
        kept.emplace(entry.id, std::move(e));
    }
    // An entry deleted while its check was under way leaves the round too.
    for (const auto &[id, e] : entries_) {
        if (kept.count(id) == 0 && e.round == round_ && checkedInRound_ > 0)
            --checkedInRound_;
    }
    entries_ = std::move(kept);
    ++published_;
}

void MetricsRegistry::quietChanged(const MonitorPort &entry, const std::string &, bool quiet, std::int64_t)
{
    const std::lock_guard lock(mutex_);
    const auto found = entries_.find(entry.id);
    if (found == entries_.end() || found->second.quiet == quiet)
        return;
    found->second.quiet = quiet;
    ++published_;
}

void MetricsRegistry::snapshot(MetricsSnapshot &into) const
{
    // The numbers are copied under the lock into room the last snapshot
    // left; the rest is done off it.
    {
        const std::lock_guard lock(mutex_);
        into.monitoring = monitoring_;
        into.published = published_;
        into.copied.assign(entries_.begin(), entries_.end());
    }
    into.order.resize(into.copied.size());
    for (std::size_t i = 0; i < into.order.size(); ++i)
        into.order[i] = i;
    // By id, the order the entries were made in.
    std::sort(into.order.begin(), into.order.end(),
              [&](std::size_t a, std::size_t b) { return into.copied[a].first < into.copied[b].first; });
    into.entries.resize(into.copied.size());
    for (std::size_t i = 0; i < into.order.size(); ++i)
        into.entries[i] = std::move(into.copied[into.order[i]].second);
}

MetricsSnapshot MetricsRegistry::snapshot() const
{
    MetricsSnapshot copy;
    snapshot(copy);
    return copy;
}

std::uint64_t MetricsRegistry::published() const
{
    const std::lock_guard lock(mutex_);
    return published_;
}

MetricsPage::MetricsPage(const MetricsRegistry &registry, std::string version, RenderOptions options)
    : registry_(registry)
    , version_(std::move(version))
    , options_(options)
{
}

void MetricsPage::refresh()
{
    if (taken_ && registry_.published() == takenAt_)
        return;
    // What was made of the last snapshot goes. A page still being sent
    // keeps the snapshot it renders from; the new one then has room of its
    // own.
    kept_.reset();
    keptEntries_.reset();
    if (room_.use_count() > 1)
        room_ = std::make_shared<MetricsSnapshot>();
    registry_.snapshot(*room_);
    taken_ = true;
    takenAt_ = room_->published;
}

std::shared_ptr<const MetricsBody> MetricsPage::current()
{
    refresh();
    if (!kept_) {
        std::shared_ptr<const MetricsSnapshot> snapshot = room_;
        const std::size_t textSize = 1024 + snapshot->entries.size() * (options_.histogram ? 2200 : 500);
        kept_ = std::make_shared<const MetricsBody>(
            [snapshot, version = version_, options = options_, renders = renders_](const PieceSink &sink) {
                ++*renders;
                renderMetrics(*snapshot, version, options, sink);
            },
            textSize, textSize / 16);
    }
    return kept_;
}

std::shared_ptr<const EntriesView> MetricsPage::entries()
{
    refresh();
    std::shared_ptr<const FiguresTable> figures;
    {
        std::lock_guard lock(figuresMutex_);
        figures = figures_;
    }
    if (!keptEntries_ || figures != keptFigures_) {
        keptFigures_ = std::move(figures);
        keptEntries_ = std::make_shared<const EntriesView>(renderEntries(*room_, keptFigures_.get()));
    }
    return keptEntries_;
}

void MetricsPage::setFigures(std::shared_ptr<const FiguresTable> figures)
{
    std::lock_guard lock(figuresMutex_);
    figures_ = std::move(figures);
}

std::uint64_t MetricsPage::renders() const
{
    return *renders_;
}

} // namespace vigilon::metrics
