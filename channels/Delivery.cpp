// SPDX-License-Identifier: MIT
#include "channels/Delivery.h"

#include "base/ThreadPriority.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <optional>

namespace vigilon::channels {

namespace {

// What the answer of a server keeps of its body.
constexpr std::size_t kAnswerLimit = 4096;

std::size_t keepAnswer(char *data, std::size_t size, std::size_t count, void *user)
{
    auto *answer = static_cast<std::string *>(user);
    const std::size_t bytes = size * count;
    if (answer->size() < kAnswerLimit)
        answer->append(data, std::min(bytes, kAnswerLimit - answer->size()));
    return bytes;
}

void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The library's words with every secret of the channel masked: some of its
// messages quote the URL.
std::string withoutSecrets(std::string text, const std::vector<std::string> &secrets)
{
    for (const std::string &secret : secrets) {
        if (secret.empty())
            continue;
        for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 4))
            text.replace(at, secret.size(), "****");
    }
    return text;
}

DeliveryFailure failureOf(CURL *easy, CURLcode code, const char *error, bool http)
{
    DeliveryFailure failure;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_OK) {
        if (http && (status >= 400 || status < 200)) {
            failure.kind = DeliveryFailure::Status;
            failure.status = status;
        }
        return failure;
    }
    failure.detail = error && *error ? error : curl_easy_strerror(code);
    switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
        failure.kind = DeliveryFailure::Refused;
        break;
    case CURLE_OPERATION_TIMEDOUT:
        failure.kind = DeliveryFailure::Timeout;
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        failure.kind = DeliveryFailure::Certificate;
        break;
    default:
        // A mail server that refused the sender, a recipient, the login or
        // the mail says so with its reply's code.
        if (!http && status >= 400) {
            failure.kind = DeliveryFailure::Status;
            failure.status = status;
        } else {
            failure.kind = DeliveryFailure::Other;
        }
        break;
    }
    return failure;
}

} // namespace

struct Delivery::Channel {
    Target target;
    // Shared with the transfer that sends the head, which reads its message
    // without the lock.
    std::deque<std::shared_ptr<OutboxItem>> queue;
    bool inFlight = false;
    ChannelState state;
};

struct Delivery::Transfer {
    CURL *easy = nullptr;
    curl_slist *headers = nullptr;
    curl_slist *recipients = nullptr;
    std::uint32_t channel = 0;
    // The queued message it sends, which stays its channel's head until it
    // ends, whatever index the channel has by then.
    const OutboxItem *item = nullptr;
    bool http = true;
    // What the library's words must not show: the URL and the password.
    std::vector<std::string> secrets;
    // Never changed once made: read by the library while the transfer runs.
    std::shared_ptr<const Message> message;
    std::size_t sent = 0;
    std::string answer;
    char error[CURL_ERROR_SIZE] = {};
    std::function<void(const DeliveryFailure &, const std::string &)> done;

    ~Transfer()
    {
        if (easy)
            curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
        curl_slist_free_all(recipients);
    }
};

Delivery::Delivery(Outbox *outbox, DeliveryOptions options) : outbox_(outbox), options_(std::move(options))
{
    initialiseOnce();
    multi_ = curl_multi_init();
    thread_ = std::thread([this] { run(); });
}

Delivery::~Delivery()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    curl_multi_wakeup(static_cast<CURLM *>(multi_));
    thread_.join();
    // Messages handed over since the thread last looked still go into the
    // outbox, so that the next start sends them.
    takeIncoming();
    for (auto &transfer : transfers_)
        curl_multi_remove_handle(static_cast<CURLM *>(multi_), transfer->easy);
    transfers_.clear();
    curl_multi_cleanup(static_cast<CURLM *>(multi_));
}

std::int64_t Delivery::now() const
{
    if (options_.now)
        return options_.now();
    return static_cast<std::int64_t>(std::time(nullptr));
}

void Delivery::setChannels(std::vector<Target> targets)
{
    {
        std::lock_guard lock(mutex_);
        std::map<std::uint32_t, std::unique_ptr<Channel>> kept;
        for (Target &target : targets) {
            std::unique_ptr<Channel> channel;
            // A channel keeps its queue and state while its URL stays.
            for (auto &[index, old] : channels_)
                if (old && !channel && old->target.key == target.key)
                    channel = std::move(old);
            if (!channel)
                channel = std::make_unique<Channel>();
            const std::uint32_t index = target.index;
            channel->target = std::move(target);
            for (const auto &item : channel->queue)
                item->channel = index;
            kept[index] = std::move(channel);
        }
        // A channel that went takes its waiting messages with it; one in
        // flight finishes unseen.
        for (auto &[index, old] : channels_)
            if (old)
                for (const auto &item : old->queue)
                    forgotten_.push_back(item->id);
        channels_ = std::move(kept);
        configured_ = true;
        busy_ = true;
    }
    curl_multi_wakeup(static_cast<CURLM *>(multi_));
}

void Delivery::send(std::uint32_t channel, Message message)
{
    {
        std::lock_guard lock(mutex_);
        incoming_.emplace_back(channel, [message = std::move(message)]() mutable { return std::move(message); });
        busy_ = true;
    }
    curl_multi_wakeup(static_cast<CURLM *>(multi_));
}

void Delivery::sendComposed(std::uint32_t channel, std::function<Message()> compose)
{
    {
        std::lock_guard lock(mutex_);
        incoming_.emplace_back(channel, std::move(compose));
        busy_ = true;
    }
    curl_multi_wakeup(static_cast<CURLM *>(multi_));
}

void Delivery::sendComposed(std::vector<Composed> batch)
{
    if (batch.empty())
        return;
    {
        std::lock_guard lock(mutex_);
        if (incoming_.empty())
            incoming_ = std::move(batch);
        else
            std::move(batch.begin(), batch.end(), std::back_inserter(incoming_));
        busy_ = true;
    }
    curl_multi_wakeup(static_cast<CURLM *>(multi_));
}

void Delivery::sendTest(std::uint32_t channel, Message message,
                        std::function<void(const DeliveryFailure &, const std::string &)> done)
{
    {
        std::lock_guard lock(mutex_);
        tests_.push_back({channel, std::nullopt, std::move(message), std::move(done)});
        busy_ = true;
    }
    curl_multi_wakeup(static_cast<CURLM *>(multi_));
}

void Delivery::sendTestTo(ChannelAddress address, Message message,
                          std::function<void(const DeliveryFailure &, const std::string &)> done)
{
    {
        std::lock_guard lock(mutex_);
        tests_.push_back({0, std::move(address), std::move(message), std::move(done)});
        busy_ = true;
    }
    curl_multi_wakeup(static_cast<CURLM *>(multi_));
}

std::map<std::uint32_t, ChannelState> Delivery::states() const
{
    std::lock_guard lock(mutex_);
    std::map<std::uint32_t, ChannelState> states;
    for (const auto &[index, channel] : channels_) {
        states[index] = channel->state;
        states[index].waiting = channel->queue.size();
    }
    return states;
}

void Delivery::setChanged(std::function<void()> changed)
{
    std::lock_guard lock(mutex_);
    changed_ = std::move(changed);
}

bool Delivery::waitIdle(long timeoutMs)
{
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !busy_; });
}

void Delivery::updateBusy()
{
    bool busy = !incoming_.empty() || !tests_.empty() || !transfers_.empty() || !forgotten_.empty();
    for (const auto &[index, channel] : channels_)
        busy = busy || !channel->queue.empty();
    busy_ = busy;
    if (!busy_)
        idle_.notify_all();
}

std::unique_ptr<Delivery::Transfer> Delivery::makeTransfer(const ChannelAddress &address,
                                                           std::shared_ptr<const Message> message)
{
    auto transfer = std::make_unique<Transfer>();
    transfer->message = std::move(message);
    transfer->http = address.kind != ChannelKind::Email;
    transfer->secrets = {address.url, address.password};
    transfer->easy = curl_easy_init();
    if (!transfer->easy)
        return nullptr;
    CURL *easy = transfer->easy;
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->error);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, options_.connectTimeout);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, options_.totalTimeout);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,smtp,smtps");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    // The trust file and folders the HTTPS check takes: SSL_CERT_FILE and
    // SSL_CERT_DIR where set, else the library's own.
    if (const char *file = std::getenv("SSL_CERT_FILE"); file && *file)
        curl_easy_setopt(easy, CURLOPT_CAINFO, file);
    if (const char *folder = std::getenv("SSL_CERT_DIR"); folder && *folder)
        curl_easy_setopt(easy, CURLOPT_CAPATH, folder);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &keepAnswer);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer->answer);
    curl_easy_setopt(easy, CURLOPT_URL, address.url.c_str());
    if (address.kind == ChannelKind::Email) {
        curl_easy_setopt(easy, CURLOPT_MAIL_FROM, ("<" + address.from + ">").c_str());
        for (const std::string &one : address.to)
            transfer->recipients = curl_slist_append(transfer->recipients, ("<" + one + ">").c_str());
        curl_easy_setopt(easy, CURLOPT_MAIL_RCPT, transfer->recipients);
        curl_easy_setopt(easy, CURLOPT_USE_SSL,
                         address.tls == SmtpTls::None ? static_cast<long>(CURLUSESSL_NONE)
                                                      : static_cast<long>(CURLUSESSL_ALL));
        if (!address.user.empty()) {
            curl_easy_setopt(easy, CURLOPT_USERNAME, address.user.c_str());
            curl_easy_setopt(easy, CURLOPT_PASSWORD, address.password.c_str());
        }
        curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION,
                         +[](char *buffer, std::size_t size, std::size_t count, void *user) -> std::size_t {
                             auto *self = static_cast<Transfer *>(user);
                             const std::string &body = self->message->body;
                             const std::size_t bytes = std::min(size * count, body.size() - self->sent);
                             std::copy_n(body.data() + self->sent, bytes, buffer);
                             self->sent += bytes;
                             return bytes;
                         });
        curl_easy_setopt(easy, CURLOPT_READDATA, transfer.get());
        curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(transfer->message->body.size()));
        return transfer;
    }
    for (const std::string &header : transfer->message->headers)
        transfer->headers = curl_slist_append(transfer->headers, header.c_str());
    for (const std::string &header : address.headers) {
        transfer->headers = curl_slist_append(transfer->headers, header.c_str());
        transfer->secrets.push_back(header.substr(header.find(':') + 1));
    }
    // The body goes at once, without waiting for a go-ahead.
    transfer->headers = curl_slist_append(transfer->headers, "Expect:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(transfer->message->body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, transfer->message->body.data());
    return transfer;
}

void Delivery::takeIncoming()
{
    std::vector<Composed> incoming;
    std::vector<std::int64_t> forgotten;
    bool load = false;
    {
        std::lock_guard lock(mutex_);
        if (!configured_)
            return;
        incoming.swap(incoming_);
        forgotten.swap(forgotten_);
        load = !loaded_;
        loaded_ = true;
    }
    std::vector<OutboxItem> kept;
    if (load && outbox_)
        kept = outbox_->load();
    for (const std::int64_t id : forgotten)
        if (outbox_)
            outbox_->remove(id);
    const std::int64_t at = now();
    std::vector<OutboxItem> fresh;
    for (auto &[channel, compose] : incoming) {
        OutboxItem item;
        item.channel = channel;
        item.created = at;
        item.nextAttempt = at;
        item.message = compose();
        fresh.push_back(std::move(item));
    }
    {
        // The keys of the channels the fresh messages are for.
        std::lock_guard lock(mutex_);
        for (OutboxItem &item : fresh) {
            const auto it = channels_.find(item.channel);
            item.channelKey = it == channels_.end() ? std::string() : it->second->target.key;
        }
    }
    for (OutboxItem &item : fresh)
        if (outbox_ && !item.channelKey.empty() && !outbox_->add(item))
            item.id = 0;
    std::vector<std::int64_t> stale;
    {
        std::lock_guard lock(mutex_);
        // Kept messages go to the channel with their URL, before anything
        // new; those of channels that are gone are dropped.
        for (OutboxItem &item : kept) {
            Channel *owner = nullptr;
            for (auto &[index, channel] : channels_)
                if (channel->target.key == item.channelKey) {
                    owner = channel.get();
                    item.channel = index;
                }
            // Tried at once after a start: what failed may work now.
            item.nextAttempt = std::min(item.nextAttempt, at);
            if (owner)
                owner->queue.push_back(std::make_shared<OutboxItem>(std::move(item)));
            else
                stale.push_back(item.id);
        }
        for (OutboxItem &item : fresh) {
            const auto it = channels_.find(item.channel);
            if (it != channels_.end() && !item.channelKey.empty())
                it->second->queue.push_back(std::make_shared<OutboxItem>(std::move(item)));
        }
    }
    for (const std::int64_t id : stale)
        outbox_->remove(id);
}

long Delivery::startDue()
{
    // What is due is picked under the lock; the transfers are made without
    // it, for the caller's thread takes it too and a message may be large.
    struct Start {
        std::uint32_t channel = 0;
        const OutboxItem *item = nullptr;
        ChannelAddress address;
        std::shared_ptr<const Message> message;
        // A test's.
        bool test = false;
        std::function<void(const DeliveryFailure &, const std::string &)> done;
    };
    std::vector<Start> due;
    std::vector<std::pair<Test, std::string>> refused;
    const std::int64_t at = now();
    std::int64_t wait = 1;
    {
        std::vector<Test> tests;
        std::lock_guard lock(mutex_);
        tests.swap(tests_);
        for (auto &[index, channel] : channels_) {
            if (channel->inFlight || channel->queue.empty())
                continue;
            const std::shared_ptr<OutboxItem> &head = channel->queue.front();
            if (head->nextAttempt > at) {
                wait = std::min(wait, head->nextAttempt - at);
                continue;
            }
            if (channel->target.address.kind == ChannelKind::Invalid) {
                // Nothing can ever be sent to it.
                channel->state.lastFailure = at;
                channel->state.lastError = {DeliveryFailure::Invalid, 0, channel->target.address.error};
                if (!channel->state.failingSince)
                    channel->state.failingSince = at;
                channel->state.dropped += channel->queue.size();
                for (const auto &item : channel->queue)
                    forgotten_.push_back(item->id);
                channel->queue.clear();
                continue;
            }
            channel->inFlight = true;
            due.push_back({index, head.get(), channel->target.address,
                           std::shared_ptr<const Message>(head, &head->message), false, {}});
        }
        for (Test &test : tests) {
            const auto it = channels_.find(test.channel);
            const ChannelAddress *address = test.address               ? &*test.address
                                            : it != channels_.end() ? &it->second->target.address
                                                                    : nullptr;
            if (!address || address->kind == ChannelKind::Invalid) {
                std::string why = address ? address->error : std::string();
                refused.emplace_back(std::move(test), std::move(why));
                continue;
            }
            due.push_back({test.channel, nullptr, *address, std::make_shared<const Message>(std::move(test.message)), true,
                           std::move(test.done)});
        }
    }
    std::vector<const OutboxItem *> notStarted;
    for (Start &start : due) {
        std::unique_ptr<Transfer> transfer = makeTransfer(start.address, std::move(start.message));
        if (!transfer) {
            // The library could not make a transfer now: a test says so, a
            // queued message waits for the next pass.
            if (start.test && start.done)
                start.done({DeliveryFailure::Other, 0, "cannot start a transfer"}, {});
            else if (!start.test)
                notStarted.push_back(start.item);
            continue;
        }
        transfer->channel = start.channel;
        transfer->item = start.item;
        transfer->done = std::move(start.done);
        curl_multi_add_handle(static_cast<CURLM *>(multi_), transfer->easy);
        transfers_.push_back(std::move(transfer));
    }
    if (!notStarted.empty()) {
        std::lock_guard lock(mutex_);
        for (const OutboxItem *item : notStarted)
            if (Channel *channel = sending(item))
                channel->inFlight = false;
    }
    for (auto &[test, why] : refused)
        test.done({DeliveryFailure::Invalid, 0, why}, {});
    return static_cast<long>(std::clamp<std::int64_t>(wait, 0, 1) * 1000);
}

Delivery::Channel *Delivery::sending(const OutboxItem *item) const
{
    for (const auto &[index, channel] : channels_)
        if (!channel->queue.empty() && channel->queue.front().get() == item)
            return channel.get();
    return nullptr;
}

void Delivery::finished(Transfer &transfer, int code)
{
    DeliveryFailure failure = failureOf(transfer.easy, static_cast<CURLcode>(code), transfer.error, transfer.http);
    failure.detail = withoutSecrets(std::move(failure.detail), transfer.secrets);
    if (transfer.done) {
        long status = 0;
        curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
        std::string answer = status ? std::to_string(status) : std::string();
        if (!transfer.answer.empty())
            answer += (answer.empty() ? "" : " ") + withoutSecrets(transfer.answer, transfer.secrets);
        transfer.done(failure, answer);
        return;
    }
    const std::int64_t at = now();
    std::shared_ptr<OutboxItem> update;
    std::int64_t removed = 0;
    // The message of the item to update: read without the lock, as the
    // transfer reads it.
    std::shared_ptr<const OutboxItem> kept;
    std::function<void()> changed;
    {
        std::lock_guard lock(mutex_);
        changed = changed_;
        Channel *found = sending(transfer.item);
        if (!found)
            return; // the channel went meanwhile
        Channel &channel = *found;
        channel.inFlight = false;
        OutboxItem &head = *channel.queue.front();
        if (failure.kind == DeliveryFailure::None) {
            channel.state.lastSuccess = at;
            channel.state.failingSince = 0;
            removed = head.id;
            channel.queue.pop_front();
        } else {
            channel.state.lastFailure = at;
            channel.state.lastError = failure;
            if (!channel.state.failingSince)
                channel.state.failingSince = at;
            ++head.attempts;
            if (at - head.created >= options_.giveUpAfter) {
                ++channel.state.dropped;
                removed = head.id;
                channel.queue.pop_front();
            } else {
                std::int64_t delay = options_.firstRetry;
                for (std::uint32_t n = 1; n < head.attempts && delay < options_.longestRetry; ++n)
                    delay *= 2;
                head.nextAttempt = at + std::min(delay, options_.longestRetry);
                // A copy, for the outbox is written without the lock.
                update = std::make_shared<OutboxItem>();
                update->id = head.id;
                update->channel = head.channel;
                update->channelKey = head.channelKey;
                update->created = head.created;
                update->nextAttempt = head.nextAttempt;
                update->attempts = head.attempts;
                kept = channel.queue.front();
            }
        }
    }
    if (outbox_ && removed)
        outbox_->remove(removed);
    if (outbox_ && update && update->id) {
        update->message = kept->message;
        outbox_->update(*update);
    }
    if (changed)
        changed();
}

void Delivery::run()
{
    // Making a long message and sending it yield to the program's loop.
    lowerThisThreadsPriority();
    auto *multi = static_cast<CURLM *>(multi_);
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stop_)
                return;
        }
        takeIncoming();
        const long wait = startDue();
        int running = 0;
        curl_multi_perform(multi, &running);
        while (CURLMsg *done = curl_multi_info_read(multi, &running)) {
            if (done->msg != CURLMSG_DONE)
                continue;
            CURL *easy = done->easy_handle;
            const CURLcode code = done->data.result;
            curl_multi_remove_handle(multi, easy);
            const auto it = std::find_if(transfers_.begin(), transfers_.end(),
                                         [easy](const auto &transfer) { return transfer->easy == easy; });
            if (it == transfers_.end())
                continue;
            std::unique_ptr<Transfer> transfer = std::move(*it);
            transfers_.erase(it);
            finished(*transfer, code);
        }
        {
            std::lock_guard lock(mutex_);
            updateBusy();
        }
        curl_multi_poll(multi, nullptr, 0, static_cast<int>(wait), nullptr);
    }
}

} // namespace vigilon::channels
