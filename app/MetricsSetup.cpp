// SPDX-License-Identifier: MIT
#include "app/MetricsSetup.h"

#include "base/Prompter.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "store/Registry.h"
#include "store/Settings.h"
#include "metrics/MetricsRegistry.h"
#include "metrics/MetricsServer.h"

#include <cstdio>

namespace vigilon {

namespace {

struct StoredMetrics {
    std::string address;
    bool histogram = true;
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

} // namespace

MetricsService::MetricsService() = default;
MetricsService::~MetricsService()
{
    stop();
}

std::unique_ptr<MetricsService> MetricsService::start(const CommandLine &commandLine, reg::Registry &registry,
                                                      Prompter &prompter)
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
    service->server_ = metrics::startServer(
        *endpoint, metrics::Sources{[page] { return page->current(); }, [page] { return page->entries(); }}, error,
        &inUse);
    if (!service->server_) {
        tell(prompter, inUse ? formatText(loadString(sid::MetricsPortInUse), {text})
                             : formatText(loadString(sid::MetricsNotServed), {text, error}));
        return nullptr;
    }
    if (commandLine.verbose)
        std::fprintf(stderr, "vigilon: metrics at %s port %u\n", endpoint->address.c_str(),
                     unsigned(service->server_->port()));
    return service;
}

CheckObserver &MetricsService::observer()
{
    return *metrics_;
}

void MetricsService::stop()
{
    server_.reset();
}

} // namespace vigilon
