// SPDX-License-Identifier: MIT
#include "app/ChannelService.h"

#include "base/Clock.h"
#include "base/Language.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "history/Outbox.h"
#include "metrics/MetricsRegistry.h"

#include <cstdio>
#include <unordered_map>

namespace vigilon {

namespace {

constexpr unsigned kLookTimer = 1;
// A channel failing this long is told on the desktop, once.
constexpr std::int64_t kTroubleSeconds = 3600;

// The delivery's outbox in the history file, opened by the delivery's
// thread when it first needs it.
class HistoryOutbox final : public channels::Outbox {
public:
    explicit HistoryOutbox(std::string path) : path_(std::move(path)) {}

    bool add(channels::OutboxItem &item) override
    {
        if (!ready())
            return false;
        history::OutboxRecord record = toRecord(item);
        if (!file_.add(record))
            return false;
        item.id = record.id;
        return true;
    }
    void update(const channels::OutboxItem &item) override
    {
        if (ready())
            file_.update(toRecord(item));
    }
    void remove(std::int64_t id) override
    {
        if (ready())
            file_.remove(id);
    }
    std::vector<channels::OutboxItem> load() override
    {
        std::vector<channels::OutboxItem> items;
        if (!ready())
            return items;
        for (history::OutboxRecord &record : file_.load()) {
            channels::OutboxItem item;
            item.id = record.id;
            item.channel = record.channel;
            item.channelKey = std::move(record.channelKey);
            item.created = record.created;
            item.nextAttempt = record.nextAttempt;
            item.attempts = record.attempts;
            for (std::size_t at = 0; at < record.headers.size();) {
                const std::size_t end = record.headers.find('\n', at);
                item.message.headers.push_back(record.headers.substr(at, end - at));
                at = end == std::string::npos ? record.headers.size() : end + 1;
            }
            item.message.body = std::move(record.body);
            items.push_back(std::move(item));
        }
        return items;
    }

private:
    bool ready()
    {
        if (!file_.isOpen() && !tried_) {
            tried_ = true;
            std::string why;
            if (!file_.open(path_, why))
                std::fprintf(stderr, "%s: channel messages that cannot be delivered now are kept only while the "
                                     "program runs: %s\n",
                             reg::programName(), escapeControls(why).c_str());
        }
        return file_.isOpen();
    }
    static history::OutboxRecord toRecord(const channels::OutboxItem &item)
    {
        history::OutboxRecord record;
        record.id = item.id;
        record.channel = item.channel;
        record.channelKey = item.channelKey;
        record.created = item.created;
        record.nextAttempt = item.nextAttempt;
        record.attempts = item.attempts;
        for (const std::string &header : item.message.headers)
            record.headers += header + "\n";
        record.body = item.message.body;
        return record;
    }

    std::string path_;
    bool tried_ = false;
    history::OutboxFile file_;
};

} // namespace

std::unique_ptr<ChannelService> ChannelService::start(EventLoop &loop, const Clock &clock, reg::Registry &registry,
                                                      Options options)
{
    auto service = create(loop, clock, registry, std::move(options));
    return service->settings_.empty() ? nullptr : std::move(service);
}

std::unique_ptr<ChannelService> ChannelService::create(EventLoop &loop, const Clock &clock, reg::Registry &registry,
                                                       Options options)
{
    reg::Status status = reg::Status::Ok;
    LoadedChannels loaded = loadChannels(registry, &status);
    // A URL written in clear where this system keeps it protected is
    // protected now.
    if (loaded.clearStored)
        saveChannels(registry, loaded.channels);
    return std::unique_ptr<ChannelService>(
        new ChannelService(loop, clock, std::move(loaded.channels), std::move(options)));
}

ChannelService::ChannelService(EventLoop &loop, const Clock &clock, std::vector<ChannelSetting> settings,
                               Options options)
    : loop_(loop), clock_(clock), settings_(std::move(settings)), options_(std::move(options))
{
    // The channels' times and the service's come from one clock.
    if (!options_.delivery.now)
        options_.delivery.now = [&clock] { return clock.nowMillis() / 1000; };
    std::vector<channels::Delivery::Target> made = targets();
    if (!made.empty()) {
        startDelivery();
        delivery_->setChannels(std::move(made));
    }
}

std::vector<channels::Delivery::Target> ChannelService::targets()
{
    addresses_.clear();
    std::vector<channels::Delivery::Target> targets;
    for (std::size_t c = 0; c < settings_.size(); ++c) {
        addresses_.push_back(channels::parseChannelAddress(settings_[c].url));
        channels::addChannelHeaders(addresses_.back(), settings_[c].headers);
        if (!settings_[c].url.empty() && addresses_.back().kind == channels::ChannelKind::Invalid)
            std::fprintf(stderr, "%s: channel #%zu (%s) is not used: %s\n", reg::programName(), c,
                         escapeControls(channels::maskedChannelUrl(settings_[c].url)).c_str(),
                         addresses_.back().error.c_str());
        if (!settings_[c].url.empty())
            targets.push_back(
                {static_cast<std::uint32_t>(c), addresses_.back(), channels::channelKey(settings_[c].url)});
    }
    return targets;
}

void ChannelService::startDelivery()
{
    if (delivery_)
        return;
    if (!options_.outboxPath.empty())
        outbox_ = std::make_unique<HistoryOutbox>(options_.outboxPath);
    delivery_ = std::make_unique<channels::Delivery>(outbox_.get(), options_.delivery);
    // The delivery's thread tells of a change; the loop's thread reads it.
    delivery_->setChanged([&loop = loop_, alive = std::weak_ptr<bool>(alive_), this] {
        loop.post([alive, this] {
            if (const auto live = alive.lock(); live && *live && statusChanged_)
                statusChanged_();
        });
    });
    loop_.setTimer(this, kLookTimer, options_.lookMs, [this] { look(); });
}

void ChannelService::reconfigure(std::vector<ChannelSetting> settings)
{
    settings_ = std::move(settings);
    std::vector<channels::Delivery::Target> made = targets();
    troubleTold_.clear();
    if (made.empty() && !delivery_)
        return;
    startDelivery();
    delivery_->setChannels(std::move(made));
    if (statusChanged_)
        statusChanged_();
}

void ChannelService::sendTest(const ChannelSetting &setting, TestDone done)
{
    if (!*alive_)
        return;
    channels::ChannelAddress address = channels::parseChannelAddress(setting.url);
    channels::addChannelHeaders(address, setting.headers);
    if (address.kind == channels::ChannelKind::Invalid) {
        // Nothing to send: said at once, from the loop all the same.
        loop_.post([alive = std::weak_ptr<bool>(alive_), done = std::move(done), why = address.error] {
            if (const auto live = alive.lock(); live && *live)
                done({channels::DeliveryFailure::Invalid, 0, why}, {});
        });
        return;
    }
    startDelivery();
    channels::Message message = channels::composeTestMessage(address, now(), currentLanguage());
    delivery_->sendTestTo(std::move(address), std::move(message),
                          [&loop = loop_, alive = std::weak_ptr<bool>(alive_),
                           done = std::move(done)](const channels::DeliveryFailure &failure, const std::string &answer) {
                              loop.post([alive, done, failure, answer] {
                                  if (const auto live = alive.lock(); live && *live)
                                      done(failure, answer);
                              });
                          });
}

ChannelService::~ChannelService()
{
    stop();
}

void ChannelService::stop()
{
    *alive_ = false;
    loop_.killTimers(this);
    // Joins the thread; what was not delivered stays in the outbox.
    delivery_.reset();
}

std::int64_t ChannelService::now() const
{
    return clock_.nowMillis() / 1000;
}

void ChannelService::take(Outage &outage, const MonitorPort &entry, const std::string &host)
{
    channels::ChannelEvent &event = outage.event;
    event.name = entry.name;
    event.host = host;
    event.port = entry.port;
    event.kind = metrics::kindLabel(entry.protocol);
    event.errorCount = entry.errorCount;
    event.certDays = usesTls(entry.protocol) && entry.certDaysKnown ? std::optional<std::int32_t>(entry.certDaysLeft)
                                                                    : std::nullopt;
    if (entry.lastReason.kind != FailureKind::None) {
        event.reason = reasonText(entry.lastReason);
        event.reasonShown = reasonTextShown(entry.lastReason);
    }
    outage.channels = entry.channels;
}

void ChannelService::checkDone(const CheckOutcome &outcome)
{
    const auto it = outages_.find(outcome.entry->id);
    if (it != outages_.end() && !it->second.ended && outcome.failed())
        take(it->second, *outcome.entry, *outcome.host);
}

void ChannelService::outageBegan(const MonitorPort &entry, const std::string &host, std::int64_t unixMillis,
                                 const FailureReason &, bool)
{
    Outage outage;
    outage.start = unixMillis / 1000;
    take(outage, entry, host);
    outages_[entry.id] = std::move(outage);
}

void ChannelService::outageEnded(const MonitorPort &entry, const std::string &, std::int64_t unixMillis)
{
    if (const auto it = outages_.find(entry.id); it != outages_.end())
        it->second.ended = std::max<std::int64_t>(unixMillis / 1000, it->second.start);
}

void ChannelService::monitoringStopped(std::int64_t)
{
    outages_.clear();
    quiet_.clear();
}

void ChannelService::quietChanged(const MonitorPort &entry, const std::string &, bool quiet, std::int64_t)
{
    if (quiet)
        quiet_.insert(entry.id);
    else
        quiet_.erase(entry.id);
}

void ChannelService::entryForgotten(const MonitorPort &entry, std::int64_t)
{
    outages_.erase(entry.id);
    quiet_.erase(entry.id);
}

void ChannelService::roundChanged(const std::vector<StatusChange> &changes, const PortList &ports)
{
    if (!delivery_)
        return;
    const std::int64_t at = now();
    std::unordered_map<std::uint32_t, const MonitorPort *> entries;
    for (const auto &entry : ports)
        entries.emplace(entry->id, entry.get());
    struct Told {
        channels::ChannelEvent event;
        std::optional<std::vector<std::uint32_t>> channels;
        Outage *outage;
    };
    std::vector<Told> told;
    for (const StatusChange &change : changes) {
        const auto found = outages_.find(change.entryId);
        Outage *outage = found == outages_.end() ? nullptr : &found->second;
        Told one{{}, std::nullopt, outage};
        if (outage) {
            one.event = outage->event;
            one.channels = outage->channels;
            one.event.outageStart = outage->start;
            one.event.outageSeconds = (outage->ended ? outage->ended : at) - outage->start;
        } else if (const auto entry = entries.find(change.entryId); entry != entries.end()) {
            Outage made;
            take(made, *entry->second, change.host);
            one.event = made.event;
            one.channels = made.channels;
        } else {
            one.event.name = change.name;
            one.event.host = change.host;
        }
        one.event.event = change.failed ? channels::EventKind::Down : channels::EventKind::Up;
        if (!change.failed) {
            one.event.reason.clear();
            one.event.reasonShown.clear();
        }
        told.push_back(std::move(one));
    }
    const Language language = currentLanguage();
    for (std::size_t c = 0; c < settings_.size(); ++c) {
        const auto index = static_cast<std::uint32_t>(c);
        if (settings_[c].url.empty())
            continue;
        std::vector<channels::ChannelEvent> events;
        for (Told &one : told) {
            if (!usesChannel(one.channels, index) ||
                (one.event.event == channels::EventKind::Up && !settings_[c].recovery))
                continue;
            events.push_back(one.event);
            if (one.outage)
                one.outage->told[index] = at;
        }
        if (!events.empty())
            delivery_->sendComposed(index, [address = addresses_[c], events = std::move(events), at, language] {
                return channels::composeMessage(address, events, at, language);
            });
    }
    std::erase_if(outages_, [](const auto &item) { return item.second.ended != 0; });
}

void ChannelService::look()
{
    if (!delivery_)
        return;
    const std::int64_t at = now();
    const Language language = currentLanguage();
    // Reminders: one message per channel for every entry whose reminder is
    // due, while it stays failed.
    for (std::size_t c = 0; c < settings_.size(); ++c) {
        const auto index = static_cast<std::uint32_t>(c);
        const std::int64_t every = std::int64_t(settings_[c].reminderMinutes) * 60;
        if (settings_[c].url.empty() || every == 0)
            continue;
        std::vector<channels::ChannelEvent> events;
        for (auto &[id, outage] : outages_) {
            if (outage.ended || !usesChannel(outage.channels, index) || quiet_.count(id))
                continue;
            const auto last = outage.told.find(index);
            const std::int64_t since = last == outage.told.end() ? outage.start : last->second;
            if (at - since < every)
                continue;
            channels::ChannelEvent event = outage.event;
            event.event = channels::EventKind::StillDown;
            event.outageStart = outage.start;
            event.outageSeconds = at - outage.start;
            events.push_back(std::move(event));
            outage.told[index] = at;
        }
        if (!events.empty())
            delivery_->sendComposed(index, [address = addresses_[c], events = std::move(events), at, language] {
                return channels::composeMessage(address, events, at, language);
            });
    }
    // A channel failing for an hour is told once, until it delivers again.
    for (const auto &[index, state] : delivery_->states()) {
        bool &toldTrouble = troubleTold_[index];
        if (!state.failingSince) {
            toldTrouble = false;
            continue;
        }
        if (toldTrouble || at - state.failingSince < kTroubleSeconds || !notice_)
            continue;
        toldTrouble = true;
        const ChannelSetting &setting = settings_[index];
        const std::string name = setting.name.empty() ? channels::maskedChannelUrl(setting.url) : setting.name;
        notice_(formatText(loadString(sid::ChannelFailingNotice, language),
                           {name, channels::failureText(state.lastError, language)}));
    }
}

std::vector<ChannelStatus> ChannelService::views() const
{
    std::vector<ChannelStatus> views;
    const auto states = delivery_ ? delivery_->states() : std::map<std::uint32_t, channels::ChannelState>{};
    const Language language = currentLanguage();
    for (std::size_t c = 0; c < settings_.size(); ++c) {
        ChannelStatus view;
        view.name = settings_[c].name;
        view.url = channels::maskedChannelUrl(settings_[c].url);
        if (const auto it = states.find(static_cast<std::uint32_t>(c)); it != states.end()) {
            view.lastSuccess = it->second.lastSuccess;
            view.lastFailure = it->second.lastFailure;
            view.error = channels::failureText(it->second.lastError, language);
            view.waiting = it->second.waiting;
            view.failing = it->second.failingSince != 0;
        }
        views.push_back(std::move(view));
    }
    return views;
}

} // namespace vigilon
