// SPDX-License-Identifier: MIT
#pragma once

#include "base/Language.h"
#include "channels/ChannelAddress.h"
#include "channels/ChannelMessage.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vigilon::channels {

// Why a message was not delivered.
struct DeliveryFailure {
    enum Kind {
        None,
        // Nobody listens, or the name does not resolve.
        Refused,
        // No (whole) answer in time.
        Timeout,
        // The server answered with an error status (HTTP 4xx/5xx, or an
        // SMTP reply that refused the mail).
        Status,
        // The server's certificate was not trusted.
        Certificate,
        // Anything else; detail says what.
        Other,
        // The channel's URL is not one to send to.
        Invalid,
    };
    Kind kind = None;
    long status = 0;
    // The client library's words (English).
    std::string detail;
};

// The reason in language, for the Channels dialog and the tray.
std::string failureText(const DeliveryFailure &failure, Language language);

// A message waiting for delivery, as the outbox keeps it.
struct OutboxItem {
    std::int64_t id = 0;
    std::uint32_t channel = 0;
    // Names the channel's URL without holding it (see channelKey()).
    std::string channelKey;
    // Seconds since 1970 UTC.
    std::int64_t created = 0;
    std::int64_t nextAttempt = 0;
    std::uint32_t attempts = 0;
    Message message;
};

// Where waiting messages outlive the program. Called on the delivery
// thread only.
class Outbox {
public:
    virtual ~Outbox() = default;
    // Keeps item; its id is set. False when it could not be kept.
    virtual bool add(OutboxItem &item) = 0;
    virtual void update(const OutboxItem &item) = 0;
    virtual void remove(std::int64_t id) = 0;
    // Everything kept, oldest first.
    virtual std::vector<OutboxItem> load() = 0;
};

// A channel's URL as a key: a one-way digest, so that the outbox can tell
// which channel a message was for without keeping the secret.
std::string channelKey(const std::string &url);

// How a channel is doing, for the front ends.
struct ChannelState {
    // Seconds since 1970 UTC; 0 for never.
    std::int64_t lastSuccess = 0;
    std::int64_t lastFailure = 0;
    DeliveryFailure lastError;
    // When the failures since the last success began; 0 when none.
    std::int64_t failingSince = 0;
    std::size_t waiting = 0;
    // Messages given up on after the retries ran out.
    std::size_t dropped = 0;
};

struct DeliveryOptions {
    // Milliseconds.
    long connectTimeout = 10000;
    long totalTimeout = 30000;
    // The waits between tries: the first, doubled after each, up to the
    // longest; tries end once a message is older than giveUpAfter.
    std::int64_t firstRetry = 30;
    std::int64_t longestRetry = 1800;
    std::int64_t giveUpAfter = 24 * 3600;
    // Seconds since 1970 UTC.
    std::function<std::int64_t()> now;
};

// Sends channel messages on a thread of its own with the client library:
// every channel's transfer runs beside the others', a channel's messages go
// one after another in the order given, and one that fails is tried again
// with growing waits until it is a day old. Nothing here waits on the
// caller's thread but for a short lock.
class Delivery {
public:
    // outbox may be null (nothing outlives the program); it is read once
    // the channels are first set.
    Delivery(Outbox *outbox, DeliveryOptions options = {});
    ~Delivery();
    Delivery(const Delivery &) = delete;
    Delivery &operator=(const Delivery &) = delete;

    struct Target {
        std::uint32_t index = 0;
        ChannelAddress address;
        std::string key;
    };
    // The channels now configured. Waiting messages of a channel that is
    // gone (its URL changed) are dropped.
    void setChannels(std::vector<Target> targets);
    // Queues a message for a channel.
    void send(std::uint32_t channel, Message message);
    // The same for a message that compose makes on the delivery's thread:
    // a long one (a round of thousands of changes) is not made on the
    // caller's.
    void sendComposed(std::uint32_t channel, std::function<Message()> compose);
    // Several such messages at once (a round's, one per channel), in order,
    // for one wake of the delivery's thread.
    using Composed = std::pair<std::uint32_t, std::function<Message()>>;
    void sendComposed(std::vector<Composed> batch);
    // Sends a test message now, outside the queue, and tells done (on the
    // delivery thread) the outcome and the server's answer.
    void sendTest(std::uint32_t channel, Message message,
                  std::function<void(const DeliveryFailure &, const std::string &answer)> done);
    // The same to an address that need not be among the channels (one being
    // edited). The answer is the server's status code, then a blank and the
    // start of its body where it sent one.
    void sendTestTo(ChannelAddress address, Message message,
                    std::function<void(const DeliveryFailure &, const std::string &answer)> done);
    // The states by channel index.
    std::map<std::uint32_t, ChannelState> states() const;
    // Told on the delivery thread whenever a channel's state changed.
    void setChanged(std::function<void()> changed);
    // Waits until nothing is queued or in flight, or timeoutMs passed
    // (for a program that ends and for tests). True when idle.
    bool waitIdle(long timeoutMs);

private:
    struct Transfer;
    struct Channel;
    void run();
    // Takes in what was queued and loads the outbox once; under no lock.
    void takeIncoming();
    // Starts the transfers that are due; the wait until the next one is
    // due, in milliseconds.
    long startDue();
    std::unique_ptr<Transfer> makeTransfer(const ChannelAddress &address, std::shared_ptr<const Message> message);
    void finished(Transfer &transfer, int code);
    // The channel whose head is item, which one of its transfers sends;
    // under the lock.
    Channel *sending(const OutboxItem *item) const;
    void updateBusy();
    std::int64_t now() const;

    Outbox *outbox_;
    DeliveryOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable idle_;
    std::map<std::uint32_t, std::unique_ptr<Channel>> channels_;
    std::vector<Composed> incoming_;
    // Kept messages of channels that went, for the outbox to forget.
    std::vector<std::int64_t> forgotten_;
    struct Test {
        std::uint32_t channel;
        // Set for a test to an address of its own.
        std::optional<ChannelAddress> address;
        Message message;
        std::function<void(const DeliveryFailure &, const std::string &)> done;
    };
    std::vector<Test> tests_;
    std::vector<std::unique_ptr<Transfer>> transfers_;
    std::function<void()> changed_;
    bool configured_ = false;
    bool loaded_ = false;
    bool stop_ = false;
    bool busy_ = false;
    void *multi_ = nullptr;
    std::thread thread_;
};

} // namespace vigilon::channels
