// SPDX-License-Identifier: MIT
#pragma once

#include "app/ChannelStatus.h"
#include "app/Notifications.h"
#include "base/CheckObserver.h"
#include "base/EventLoop.h"
#include "channels/Delivery.h"
#include "store/ChannelSettings.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace vigilon {

class Clock;
namespace reg {
class Registry;
}

// The message channels while the program runs: what a round's declared
// failures and recoveries send to each, the reminders while an entry stays
// failed, and how each channel is doing. Everything but the sending runs on
// the event loop's thread; the sending runs on the delivery's own thread,
// and its outbox lies in the history file.
class ChannelService final : public CheckObserver {
public:
    ~ChannelService() override;
    ChannelService(const ChannelService &) = delete;
    ChannelService &operator=(const ChannelService &) = delete;

    struct Options {
        // The file that keeps undelivered messages; empty: none outlive the
        // program.
        std::string outboxPath;
        channels::DeliveryOptions delivery;
        // How often reminders and the channels' trouble are looked at.
        unsigned lookMs = 15000;
    };
    // Null when the store has no channel: nothing is started then.
    static std::unique_ptr<ChannelService> start(EventLoop &loop, const Clock &clock, reg::Registry &registry,
                                                 Options options);
    // The same, made even without a channel, for channels the user adds
    // while the program runs: no thread runs until one is there.
    static std::unique_ptr<ChannelService> create(EventLoop &loop, const Clock &clock, reg::Registry &registry,
                                                  Options options);

    // The channels as configured, by index (an empty URL is a removed
    // channel whose index stays taken). They hold the secrets: for the
    // dialog's rules, never to be shown.
    const std::vector<ChannelSetting> &settings() const { return settings_; }
    // Channels the user has configured (and the store holds now): messages
    // waiting for a channel whose URL changed are dropped, the others keep
    // theirs.
    void reconfigure(std::vector<ChannelSetting> settings);
    // A test message to a channel as given (one being edited, perhaps not
    // stored yet), off the loop; done runs on the loop with the outcome and
    // the server's answer (see Delivery::sendTestTo), unless the service
    // has gone by then.
    using TestDone = std::function<void(const channels::DeliveryFailure &failure, const std::string &answer)>;
    void sendTest(const ChannelSetting &setting, TestDone done);
    // Told on the loop whenever a channel's state changed (a message
    // delivered or failed).
    void setStatusChanged(std::function<void()> changed) { statusChanged_ = std::move(changed); }

    // A round's declared failures and recoveries (as the desktop
    // notification shows them): one message to each channel that takes any
    // of them.
    void roundChanged(const std::vector<StatusChange> &changes, const PortList &ports);
    // Told once per channel whose messages have failed for an hour, in the
    // interface's language.
    void setTroubleNotice(std::function<void(const std::string &text)> notice) { notice_ = std::move(notice); }

    // How each channel is doing, by index.
    std::vector<ChannelStatus> views() const;
    // Sending stops; what waits stays in the outbox for the next start.
    void stop();

    void checkDone(const CheckOutcome &outcome) override;
    void outageBegan(const MonitorPort &entry, const std::string &host, std::int64_t unixMillis,
                     const FailureReason &reason, bool alertRan) override;
    void outageEnded(const MonitorPort &entry, const std::string &host, std::int64_t unixMillis) override;
    void monitoringStopped(std::int64_t unixMillis) override;
    void entryForgotten(const MonitorPort &entry, std::int64_t unixMillis) override;
    // No reminder goes out for a quiet entry.
    void quietChanged(const MonitorPort &entry, const std::string &host, bool quiet, std::int64_t unixMillis) override;

private:
    ChannelService(EventLoop &loop, const Clock &clock, std::vector<ChannelSetting> settings, Options options);
    // An entry's outage as the messages tell it.
    struct Outage {
        // Shared with the messages being made of it on the delivery's
        // thread; take() writes a copy of its own while one holds it.
        std::shared_ptr<channels::ChannelEvent> event;
        std::optional<std::vector<std::uint32_t>> channels;
        // Seconds since 1970; ended when it answers again.
        std::int64_t start = 0;
        std::int64_t ended = 0;
        // When a round last told every channel that takes the entry; 0 for
        // never.
        std::int64_t toldAll = 0;
        // Reminders since, by channel.
        std::map<std::uint32_t, std::int64_t> told;
    };
    // One entry in a message: its event as last taken and what the message
    // says of it. The message is made from these on the delivery's thread.
    struct Said {
        std::shared_ptr<const channels::ChannelEvent> event;
        channels::EventKind kind = channels::EventKind::Down;
        std::int64_t start = 0;
        std::int64_t seconds = 0;
    };
    using Round = std::shared_ptr<const std::vector<Said>>;
    // The message for channel c of the entries picked from round (all of
    // them when picks is empty), to be made on the delivery's thread.
    channels::Delivery::Composed composed(std::size_t c, Round round, std::vector<std::uint32_t> picks,
                                          std::int64_t at, Language language) const;
    void take(Outage &outage, const MonitorPort &entry, const std::string &host);
    // Outages that ended are forgotten once their round is told, or with
    // no channel to tell it.
    void forgetEnded();
    // The delivery's thread and the look timer, once a channel is there.
    void startDelivery();
    std::vector<channels::Delivery::Target> targets();
    void look();
    std::int64_t now() const;

    EventLoop &loop_;
    const Clock &clock_;
    std::vector<ChannelSetting> settings_;
    std::vector<channels::ChannelAddress> addresses_;
    Options options_;
    // By entry id: a round looks up every entry that changed.
    std::unordered_map<std::uint32_t, Outage> outages_;
    // Entries whose outage ended since the last round, for the round to
    // forget.
    std::vector<std::uint32_t> ended_;
    // The entries that are quiet now, by id.
    std::set<std::uint32_t> quiet_;
    // Channels whose trouble has been told since their last success.
    std::map<std::uint32_t, bool> troubleTold_;
    std::function<void(const std::string &)> notice_;
    std::function<void()> statusChanged_;
    std::unique_ptr<channels::Outbox> outbox_;
    std::unique_ptr<channels::Delivery> delivery_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace vigilon
