// SPDX-License-Identifier: MIT
#include "app/MetricsSetup.h"

#include "base/Prompter.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "base/EventLoop.h"
#include "base/SecureRandom.h"
#include "store/Registry.h"
#include "store/Secret.h"
#include "store/Settings.h"
#include "history/History.h"
#include "metrics/EntriesApi.h"
#include "metrics/MetricsRegistry.h"
#include "metrics/MetricsServer.h"

#include <chrono>
#include <cstdio>
#include <future>
#include <mutex>
#include <unordered_map>

namespace vigilon {

namespace {

struct StoredMetrics {
    std::string address;
    bool histogram = true;
    std::string password;
    bool unreadablePassword = false;
};

StoredMetrics storedMetrics(reg::Registry &registry)
{
    StoredMetrics stored;
    registry.readTransact([&] {
        std::unique_ptr<reg::Key> key = registry.openKey(kProgramKey, reg::KeyQueryValue);
        reg::Value value;
        if (key && key->queryValue(kMetricsAddressValue, value) == reg::Status::Ok &&
            value.data.size() <= kMaxStringBytes)
            stored.address = reg::stringFromValue(value);
        std::uint32_t histogram = 1;
        if (key && key->queryValue(kMetricsHistogramValue, value) == reg::Status::Ok &&
            value.type == reg::RegDword && reg::dwordFromValue(value, histogram))
            stored.histogram = histogram != 0;
        if (key && key->queryValue(kMetricsPasswordValue, value) == reg::Status::Ok &&
            value.data.size() <= 4 * kMaxStringBytes && !secret::reveal(reg::stringFromValue(value), stored.password)) {
            // Never served open for want of a password that is there.
            stored.password.clear();
            stored.unreadablePassword = true;
        }
        return reg::Status::Ok;
    });
    return stored;
}

void tell(Prompter &prompter, const std::string &text)
{
    std::fprintf(stderr, "vigilon: %s\n", text.c_str());
    std::fflush(stderr);
    prompter.notice(text, std::string(), mb::IconExclamation);
}

// How long a request waits for the history's answer, and how often the
// uptime figures are made again while the entries are asked for.
constexpr auto kHistoryWait = std::chrono::seconds(3);
constexpr auto kFiguresEvery = std::chrono::seconds(60);

// Runs fn on the history's worker and waits for its answer, a while at
// most; nothing when the history has no file open, is closed, or is late.
// The server's thread waits here, never the event loop.
template <class T>
std::optional<T> askHistory(history::History &history, std::function<T(history::HistoryFile &)> fn)
{
    auto promise = std::make_shared<std::promise<std::optional<T>>>();
    std::future<std::optional<T>> future = promise->get_future();
    history.read([promise, fn = std::move(fn)](history::HistoryFile *file) {
        promise->set_value(file ? std::optional<T>(fn(*file)) : std::nullopt);
    });
    if (future.wait_for(kHistoryWait) != std::future_status::ready)
        return std::nullopt;
    try {
        return future.get();
    } catch (const std::future_error &) {
        return std::nullopt; // dropped: the history closed
    }
}

// Whether the server answers only this machine.
bool loopbackOnly(const std::string &address)
{
    return address.rfind("127.", 0) == 0 || address == "::1";
}

} // namespace

// The entries' heartbeat tokens, which the server's thread looks up, and
// where calls go. Emptied when the service stops: a call then finds none.
struct MetricsService::PushDesk {
    std::mutex mutex;
    std::unordered_map<std::string, std::uint32_t> tokens;
    EventLoop *loop = nullptr;
    PushReceiver receiver;

    // The server's thread.
    static bool call(const std::shared_ptr<PushDesk> &desk, const std::string &token, bool up,
                     const std::string &message)
    {
        std::lock_guard lock(desk->mutex);
        const auto found = desk->tokens.find(token);
        if (found == desk->tokens.end() || !desk->loop)
            return false;
        const std::uint32_t id = found->second;
        std::weak_ptr<PushDesk> weak = desk;
        desk->loop->post([weak, id, up, message] {
            const std::shared_ptr<PushDesk> alive = weak.lock();
            if (!alive)
                return;
            PushReceiver receiver;
            {
                std::lock_guard lock(alive->mutex);
                receiver = alive->receiver;
            }
            if (receiver)
                receiver(id, up, message);
        });
        return true;
    }
};

// The uptime figures handed from the history's worker to the page. The page
// is let go when the service stops; a refresh under way then finds none.
struct MetricsService::FiguresFeed {
    std::mutex mutex;
    metrics::MetricsPage *page = nullptr;
    history::History *history = nullptr;
    bool asking = false;
    bool askedOnce = false;
    std::chrono::steady_clock::time_point askedAt;

    // Any thread: asks for fresh figures unless some were asked for lately.
    static void refresh(const std::shared_ptr<FiguresFeed> &feed)
    {
        history::History *history = nullptr;
        {
            std::lock_guard lock(feed->mutex);
            const auto now = std::chrono::steady_clock::now();
            if (!feed->page || !feed->history || feed->asking || (feed->askedOnce && now - feed->askedAt < kFiguresEvery))
                return;
            feed->asking = true;
            feed->askedOnce = true;
            feed->askedAt = now;
            history = feed->history;
        }
        const std::int64_t now = history->nowMillis();
        history->read([feed, now](history::HistoryFile *file) {
            std::shared_ptr<metrics::FiguresTable> table;
            if (file) {
                table = std::make_shared<metrics::FiguresTable>();
                table->madeMillis = now;
                for (auto &[key, figures] : file->figures(now))
                    table->entries.emplace(std::move(key), std::move(figures));
            }
            std::lock_guard lock(feed->mutex);
            feed->asking = false;
            if (feed->page)
                feed->page->setFigures(std::move(table));
        });
    }
};

MetricsService::MetricsService() = default;
MetricsService::~MetricsService()
{
    stop();
}

std::unique_ptr<MetricsService> MetricsService::start(const CommandLine &commandLine, reg::Registry &registry,
                                                      Prompter &prompter, history::History *history)
{
    const StoredMetrics stored = storedMetrics(registry);
    const std::string text = commandLine.metricsGiven ? commandLine.metricsAddress : stored.address;
    if (text.empty())
        return nullptr;
    const std::optional<metrics::Endpoint> endpoint = metrics::parseEndpoint(text);
    if (!endpoint) {
        tell(prompter, formatText(loadString(sid::MetricsAddressInvalid), {escapeControls(text)}));
        return nullptr;
    }
    std::unique_ptr<MetricsService> service(new MetricsService);
    service->metrics_ = std::make_unique<metrics::MetricsRegistry>();
    const metrics::MetricsRegistry *kept = service->metrics_.get();
    std::string error;
    bool inUse = false;
    metrics::RenderOptions options;
    options.histogram = commandLine.metricsHistogramGiven ? commandLine.metricsHistogram : stored.histogram;
    service->page_ = std::make_unique<metrics::MetricsPage>(*kept, VIGILON_VERSION, options);
    // Scrapes are answered one at a time on the server's thread, the only
    // one that asks the page.
    metrics::MetricsPage *page = service->page_.get();
    auto feed = std::make_shared<FiguresFeed>();
    feed->page = page;
    feed->history = history;
    service->feed_ = feed;
    metrics::Sources sources;
    sources.metrics = [page] { return page->current(); };
    sources.entries = [page, feed] {
        FiguresFeed::refresh(feed);
        return page->entries();
    };
    sources.language = currentLanguage();
    sources.password = stored.password;
    if (stored.unreadablePassword) {
        // Kept shut rather than open: a secret nobody knows.
        sources.password = makePushToken();
        std::fprintf(stderr, "vigilon: the stored \"%s\" cannot be read on this machine: the status page, the API "
                             "and the badges refuse every request until it is set again\n",
                     kMetricsPasswordValue);
    }
    auto desk = std::make_shared<PushDesk>();
    service->desk_ = desk;
    sources.push = [desk](const std::string &token, bool up, const std::string &message) {
        return PushDesk::call(desk, token, up, message);
    };
    if (history) {
        sources.nowMillis = [history] { return history->nowMillis(); };
        sources.series = [history](const SeriesKey &key, std::int64_t from, std::int64_t to) {
            const std::int64_t now = history->nowMillis();
            return askHistory<metrics::SeriesAnswer>(*history, [key, from, to, now](history::HistoryFile &file) {
                using Resolution = history::HistoryFile::Resolution;
                const Resolution resolution = history::HistoryFile::resolutionFor(from, to, now);
                metrics::SeriesAnswer answer;
                answer.resolution = resolution == Resolution::Raw      ? "raw"
                                    : resolution == Resolution::Minute ? "minute"
                                                                       : "hour";
                if (const std::int64_t series = file.findSeries(key))
                    answer.points = file.points(series, from, to, resolution);
                return answer;
            });
        };
        sources.outages = [history](const SeriesKey &key, std::int64_t from, std::int64_t to) {
            return askHistory<std::vector<OutageView>>(*history, [key, from, to](history::HistoryFile &file) {
                const std::int64_t series = file.findSeries(key);
                return series ? file.outagesBetween(series, from, to, metrics::kMaxOutages) : std::vector<OutageView>();
            });
        };
        // At once, so that the first look at the page has them.
        FiguresFeed::refresh(feed);
    }
    service->server_ = metrics::startServer(*endpoint, std::move(sources), error, &inUse);
    if (!service->server_) {
        tell(prompter, inUse ? formatText(loadString(sid::MetricsPortInUse), {text})
                             : formatText(loadString(sid::MetricsNotServed), {text, error}));
        return nullptr;
    }
    const std::string port = std::to_string(service->server_->port());
    service->address_ = endpoint->address.find(':') != std::string::npos ? "[" + endpoint->address + "]:" + port
                                                                          : endpoint->address + ":" + port;
    if (commandLine.verbose)
        std::fprintf(stderr, "vigilon: metrics at %s port %s\n", endpoint->address.c_str(), port.c_str());
    if (!loopbackOnly(endpoint->address) && stored.password.empty() && !stored.unreadablePassword)
        std::fprintf(stderr, "vigilon: %s\n",
                     formatText(loadString(sid::MetricsOpenWithoutPassword), {service->address_}).c_str());
    return service;
}

void MetricsService::receivePushes(EventLoop &loop, PushReceiver onLoop)
{
    if (!desk_)
        return;
    std::lock_guard lock(desk_->mutex);
    desk_->loop = &loop;
    desk_->receiver = std::move(onLoop);
}

void MetricsService::entriesChanged(const PortList &ports, const std::string &targetHost)
{
    if (metrics_)
        metrics_->entriesKnown(ports, targetHost);
    if (!desk_)
        return;
    std::unordered_map<std::string, std::uint32_t> tokens;
    for (const auto &entry : ports) {
        if (entry->protocol == Push && isPushToken(entry->pushToken))
            tokens.emplace(entry->pushToken, entry->id);
    }
    std::lock_guard lock(desk_->mutex);
    desk_->tokens = std::move(tokens);
}

CheckObserver &MetricsService::observer()
{
    return *metrics_;
}

void MetricsService::stop()
{
    server_.reset();
    if (desk_) {
        std::lock_guard lock(desk_->mutex);
        desk_->tokens.clear();
        desk_->loop = nullptr;
        desk_->receiver = nullptr;
    }
    if (feed_) {
        std::lock_guard lock(feed_->mutex);
        feed_->page = nullptr;
        feed_->history = nullptr;
    }
}

} // namespace vigilon
