// SPDX-License-Identifier: MIT
#include "app/ChannelService.h"

#include "base/Clock.h"
#include "base/Language.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "history/Outbox.h"
#include "metrics/MetricsRegistry.h"

#include <algorithm>
#include <atomic>
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
    // A message still being made reads the event on the delivery's thread:
    // this one is written to a copy. Held by no message, it is the
    // outage's alone; the fence orders the delivery's last read of it
    // before the writes here.
    if (!outage.event)
        outage.event = std::make_shared<channels::ChannelEvent>();
    else if (outage.event.use_count() > 1)
        outage.event = std::make_shared<channels::ChannelEvent>(*outage.event);
    else
        std::atomic_thread_fence(std::memory_order_acquire);
    channels::ChannelEvent &event = *outage.event;
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
    if (const auto it = outages_.find(entry.id); it != outages_.end()) {
        it->second.ended = std::max<std::int64_t>(unixMillis / 1000, it->second.start);
        ended_.push_back(entry.id);
    }
}

void ChannelService::monitoringStopped(std::int64_t)
{
    outages_.clear();
    ended_.clear();
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

channels::Delivery::Composed ChannelService::composed(std::size_t c, Round round, std::vector<std::uint32_t> picks,
                                                      std::int64_t at, Language language) const
{
    return {static_cast<std::uint32_t>(c),
            [address = addresses_[c], round = std::move(round), picks = std::move(picks), at, language] {
                std::vector<channels::ChannelEvent> events;
                events.reserve(picks.empty() ? round->size() : picks.size());
                const auto add = [&](const Said &said) {
                    channels::ChannelEvent &event = events.emplace_back(*said.event);
                    event.event = said.kind;
                    event.outageStart = said.start;
                    event.outageSeconds = said.seconds;
                    if (said.kind == channels::EventKind::Up) {
                        event.reason.clear();
                        event.reasonShown.clear();
                    }
                };
                if (picks.empty())
                    for (const Said &said : *round)
                        add(said);
                else
                    for (const std::uint32_t n : picks)
                        add((*round)[n]);
                return channels::composeMessage(address, events, at, language);
            }};
}

void ChannelService::roundChanged(const std::vector<StatusChange> &changes, const PortList &ports)
{
    if (!delivery_) {
        forgetEnded();
        return;
    }
    // This runs on the loop for every entry that changed: the events are
    // shared with the outages, not copied, and the messages are made on the
    // delivery's thread.
    const std::int64_t at = now();
    std::unordered_map<std::uint32_t, const MonitorPort *> entries;
    auto said = std::make_shared<std::vector<Said>>();
    said->reserve(changes.size());
    // The channels each change is for.
    std::vector<const std::optional<std::vector<std::uint32_t>> *> taking;
    taking.reserve(changes.size());
    static const std::optional<std::vector<std::uint32_t>> everyChannel;
    for (const StatusChange &change : changes) {
        const auto found = outages_.find(change.entryId);
        Outage *outage = found == outages_.end() ? nullptr : &found->second;
        Said &one = said->emplace_back();
        one.kind = change.failed ? channels::EventKind::Down : channels::EventKind::Up;
        if (outage && outage->event) {
            one.event = outage->event;
            one.start = outage->start;
            one.seconds = (outage->ended ? outage->ended : at) - outage->start;
            taking.push_back(&outage->channels);
            // A failure is told to every channel that takes it: its
            // reminders count from now.
            if (change.failed) {
                outage->toldAll = at;
                outage->told.clear();
            }
        } else {
            // An entry whose outage the service was not told of: its event
            // is made here.
            if (entries.empty())
                for (const auto &entry : ports)
                    entries.emplace(entry->id, entry.get());
            if (const auto entry = entries.find(change.entryId); entry != entries.end()) {
                Outage made;
                take(made, *entry->second, change.host);
                one.event = std::move(made.event);
                taking.push_back(&entry->second->channels);
            } else {
                auto event = std::make_shared<channels::ChannelEvent>();
                event->name = change.name;
                event->host = change.host;
                one.event = std::move(event);
                taking.push_back(&everyChannel);
            }
        }
    }
    const Round round = std::move(said);
    const Language language = currentLanguage();
    std::vector<channels::Delivery::Composed> batch;
    for (std::size_t c = 0; c < settings_.size(); ++c) {
        const auto index = static_cast<std::uint32_t>(c);
        if (settings_[c].url.empty())
            continue;
        // Which changes the channel takes: all of them (most often), or a
        // list.
        std::vector<std::uint32_t> picks;
        bool all = true;
        for (std::size_t n = 0; n < round->size(); ++n) {
            const bool takes = usesChannel(*taking[n], index) &&
                               ((*round)[n].kind != channels::EventKind::Up || settings_[c].recovery);
            if (takes && !all)
                picks.push_back(static_cast<std::uint32_t>(n));
            else if (!takes && all) {
                all = false;
                for (std::uint32_t before = 0; before < n; ++before)
                    picks.push_back(before);
            }
        }
        if (all ? !round->empty() : !picks.empty())
            batch.push_back(composed(c, round, std::move(picks), at, language));
    }
    delivery_->sendComposed(std::move(batch));
    forgetEnded();
}

void ChannelService::forgetEnded()
{
    for (const std::uint32_t id : ended_)
        if (const auto it = outages_.find(id); it != outages_.end() && it->second.ended)
            outages_.erase(it);
    ended_.clear();
}

void ChannelService::look()
{
    if (!delivery_)
        return;
    const std::int64_t at = now();
    const Language language = currentLanguage();
    // Reminders: one message per channel for every entry whose reminder is
    // due, while it stays failed.
    std::vector<channels::Delivery::Composed> batch;
    for (std::size_t c = 0; c < settings_.size(); ++c) {
        const auto index = static_cast<std::uint32_t>(c);
        const std::int64_t every = std::int64_t(settings_[c].reminderMinutes) * 60;
        if (settings_[c].url.empty() || every == 0)
            continue;
        std::vector<std::uint32_t> ids;
        for (auto &[id, outage] : outages_) {
            if (outage.ended || !outage.event || !usesChannel(outage.channels, index) || quiet_.count(id))
                continue;
            const auto last = outage.told.find(index);
            const std::int64_t since = last != outage.told.end() ? last->second
                                       : outage.toldAll          ? outage.toldAll
                                                                 : outage.start;
            if (at - since < every)
                continue;
            ids.push_back(id);
            outage.told[index] = at;
        }
        // In the entries' order, as they were added.
        std::sort(ids.begin(), ids.end());
        auto due = std::make_shared<std::vector<Said>>();
        due->reserve(ids.size());
        for (const std::uint32_t id : ids) {
            const Outage &outage = outages_.at(id);
            due->push_back({outage.event, channels::EventKind::StillDown, outage.start, at - outage.start});
        }
        if (!due->empty())
            batch.push_back(composed(c, std::move(due), {}, at, language));
    }
    delivery_->sendComposed(std::move(batch));
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
