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

std::string storedAddress(reg::Registry &registry)
{
    std::string text;
    registry.readTransact([&] {
        std::unique_ptr<reg::Key> key = registry.openKey(kProgramKey, reg::KeyQueryValue);
        reg::Value value;
        if (key && key->queryValue(kMetricsAddressValue, value) == reg::Status::Ok &&
            value.data.size() <= kMaxStringBytes)
            text = reg::stringFromValue(value);
        return reg::Status::Ok;
    });
    return text;
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
    const std::string text = commandLine.metricsGiven ? commandLine.metricsAddress : storedAddress(registry);
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
    // Scrapes are answered one at a time on the server's thread, which
    // keeps the snapshot's room from one to the next.
    auto room = std::make_shared<metrics::MetricsSnapshot>();
    service->server_ = metrics::startServer(
        *endpoint,
        [kept, room] {
            kept->snapshot(*room);
            return metrics::renderMetrics(*room, VIGILON_VERSION);
        },
        error, &inUse);
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
