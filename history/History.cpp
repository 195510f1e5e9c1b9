// SPDX-License-Identifier: MIT
#include "history/History.h"

#include "base/MonitorPort.h"
#include "base/ThreadPriority.h"

#include <cstdio>
#include <future>
#include <map>

namespace vigilon::history {

namespace {

// Checks beyond this many queued (a worker far behind) are not kept.
constexpr std::size_t kMaxQueued = 1 << 20;

} // namespace

History::History(EventLoop &loop, Options options, bool kept)
    : loop_(loop)
    , options_(std::move(options))
    , kept_(kept)
{
    queue_.reserve(1024);
    worker_ = std::thread([this] { run(); });
    if (kept)
        task([this] { openFile(); });
}

History::~History()
{
    alive_.reset();
    close();
}

void History::close()
{
    if (closed_)
        return;
    closed_ = true;
    kept_ = false;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    if (worker_.joinable())
        worker_.join();
}

void History::setKept(bool on)
{
    if (closed_ || on == kept_)
        return;
    kept_ = on;
    if (on) {
        task([this] { openFile(); });
    } else {
        open_.clear();
        quiet_.clear();
        task([this] { closeFile(); });
    }
}

void History::sync()
{
    if (closed_)
        return;
    std::promise<void> done;
    task([&done] { done.set_value(); });
    done.get_future().wait();
}

void History::read(std::function<void(HistoryFile *)> fn)
{
    {
        std::lock_guard lock(mutex_);
        if (stop_)
            return;
    }
    task([this, fn = std::move(fn)] { fn(file_.isOpen() ? &file_ : nullptr); });
}

std::int64_t History::now() const
{
    if (options_.nowMillis)
        return options_.nowMillis();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void History::push(Op op, bool urgent)
{
    bool wake = urgent;
    {
        std::lock_guard lock(mutex_);
        if (queue_.size() >= kMaxQueued && !urgent) {
            ++dropped_;
            return;
        }
        queue_.push_back(std::move(op));
        urgent_ = urgent_ || urgent;
        wake = wake || queue_.size() >= options_.batchRecords;
    }
    if (wake)
        wake_.notify_one();
}

void History::checkDone(const CheckOutcome &outcome)
{
    if (!kept_ || !outcome.entry || !outcome.host)
        return;
    Op op;
    op.key = {outcome.entry->name, *outcome.host, outcome.entry->port, outcome.entry->protocol};
    op.check.millis = outcome.unixMillis;
    op.check.result = static_cast<std::uint8_t>(outcome.result);
    op.check.micros = outcome.micros;
    op.check.reason = outcome.reason;
    op.flag = outcome.entry->quiet;
    push(std::move(op));
}

void History::quietChanged(const MonitorPort &entry, const std::string &host, bool quiet, std::int64_t unixMillis)
{
    if (!kept_)
        return;
    Op op;
    op.kind = quiet ? Op::Kind::QuietBegan : Op::Kind::QuietEnded;
    op.key = {entry.name, host, entry.port, entry.protocol};
    op.check.millis = unixMillis;
    if (quiet)
        quiet_[entry.id] = op.key;
    else
        quiet_.erase(entry.id);
    push(std::move(op));
}

void History::outageBegan(const MonitorPort &entry, const std::string &host, std::int64_t unixMillis,
                          const FailureReason &reason, bool alertRan)
{
    if (!kept_)
        return;
    Op op;
    op.kind = Op::Kind::OutageBegan;
    op.flag = alertRan;
    op.key = {entry.name, host, entry.port, entry.protocol};
    op.check.millis = unixMillis;
    op.check.reason = reason;
    open_[entry.id] = op.key;
    push(std::move(op));
}

void History::outageEnded(const MonitorPort &entry, const std::string &host, std::int64_t unixMillis)
{
    if (!kept_)
        return;
    open_.erase(entry.id);
    Op op;
    op.kind = Op::Kind::OutageEnded;
    op.key = {entry.name, host, entry.port, entry.protocol};
    op.check.millis = unixMillis;
    push(std::move(op));
}

void History::monitoringStopped(std::int64_t unixMillis)
{
    if (!kept_)
        return;
    open_.clear();
    Op op;
    op.kind = Op::Kind::OutageEnded;
    op.flag = true;
    op.check.millis = unixMillis;
    push(std::move(op));
    // Quiet spans end with monitoring: the next start finds them afresh.
    if (!quiet_.empty()) {
        quiet_.clear();
        Op quiet;
        quiet.kind = Op::Kind::QuietEnded;
        quiet.check.millis = unixMillis;
        push(std::move(quiet));
    }
}

void History::entryForgotten(const MonitorPort &entry, std::int64_t unixMillis)
{
    if (const auto quiet = quiet_.find(entry.id); kept_ && quiet != quiet_.end()) {
        Op op;
        op.kind = Op::Kind::QuietEnded;
        op.key = std::move(quiet->second);
        op.check.millis = unixMillis;
        quiet_.erase(quiet);
        push(std::move(op));
    }
    const auto found = open_.find(entry.id);
    if (!kept_ || found == open_.end())
        return;
    Op op;
    op.kind = Op::Kind::OutageEnded;
    op.flag = true;
    op.key = std::move(found->second);
    op.check.millis = unixMillis;
    open_.erase(found);
    push(std::move(op));
}

void History::uptimeOf(const SeriesKey &key, std::size_t outageLimit, std::function<void(UptimeView)> done)
{
    auto reply = answerOnLoop(std::move(done));
    if (closed_) {
        reply({});
        return;
    }
    task([this, key, outageLimit, reply = std::move(reply)]() mutable {
        UptimeView view;
        if (const std::int64_t series = file_.isOpen() ? file_.findSeries(key) : 0) {
            const std::int64_t at = now();
            if (const auto found = hours_.find(series); found != hours_.end())
                view.day = dayUptime(found->second, at / kHourMillis);
            view.week = file_.uptimeSince(series, at - 7 * kDayMillis);
            view.month = file_.uptimeSince(series, at - 30 * kDayMillis);
            view.lastOutages = file_.outages(series, outageLimit);
        }
        reply(std::move(view));
    });
}

void History::outagesOf(const SeriesKey &key, std::size_t limit, std::function<void(std::vector<OutageView>)> done)
{
    auto reply = answerOnLoop(std::move(done));
    if (closed_) {
        reply({});
        return;
    }
    task([this, key, limit, reply = std::move(reply)] {
        const std::int64_t series = file_.isOpen() ? file_.findSeries(key) : 0;
        reply(series ? file_.outages(series, limit) : std::vector<OutageView>());
    });
}

void History::dayUptimes(std::function<void(std::vector<std::pair<SeriesKey, double>>)> done)
{
    using List = std::vector<std::pair<SeriesKey, double>>;
    auto reply = answerOnLoop(std::move(done));
    if (closed_) {
        reply({});
        return;
    }
    task([this, reply = std::move(reply)] {
        List list;
        if (file_.isOpen()) {
            const std::int64_t nowHour = now() / kHourMillis;
            const auto &keys = file_.series();
            list.reserve(hours_.size());
            for (const auto &[series, counts] : hours_) {
                const double uptime = dayUptime(counts, nowHour);
                const auto key = keys.find(series);
                if (uptime >= 0 && key != keys.end())
                    list.emplace_back(key->second, uptime);
            }
        }
        reply(std::move(list));
    });
}

double History::dayUptime(const std::array<HourCount, kHours> &counts, std::int64_t nowHour) const
{
    std::uint64_t count = 0, answered = 0;
    for (const HourCount &c : counts) {
        if (c.hour > nowHour - 24 && c.hour <= nowHour) {
            count += c.count;
            answered += c.answered;
        }
    }
    return count ? double(answered) / double(count) : -1.0;
}

void History::run()
{
    lowerThisThreadsPriority();
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, options_.batchEvery,
                       [this] { return stop_ || urgent_ || queue_.size() >= options_.batchRecords; });
        std::vector<Op> ops;
        ops.reserve(queue_.capacity());
        ops.swap(queue_);
        urgent_ = false;
        const bool stopping = stop_;
        const std::size_t dropped = std::exchange(dropped_, 0);
        lock.unlock();
        if (dropped)
            std::fprintf(stderr, "vigilon: the history falls behind; %zu checks were not kept\n", dropped);
        process(ops);
        if (file_.isOpen() && std::chrono::steady_clock::now() - lastPrune_ >= options_.pruneEvery) {
            lastPrune_ = std::chrono::steady_clock::now();
            if (file_.begin()) {
                file_.prune(now());
                file_.commit();
            }
        }
        lock.lock();
        if (stopping && queue_.empty())
            break;
    }
    lock.unlock();
    closeFile();
}

void History::process(std::vector<Op> &ops)
{
    bool inTransaction = false;
    std::map<std::int64_t, std::vector<RawCheck>> checks;
    std::int64_t newestHour = 0;
    bool ok = true;
    const auto writeChecks = [&] {
        for (auto &[series, list] : checks)
            ok = file_.appendChecks(series, list) && ok;
        checks.clear();
    };
    const auto finish = [&] {
        if (!inTransaction)
            return;
        writeChecks();
        // A new hour has begun in what was written: the hours before it
        // are summarised.
        if (newestHour > rolledBefore_) {
            ok = file_.rollUp(newestHour) && ok;
            rolledBefore_ = newestHour;
        }
        ok = file_.commit() && ok;
        inTransaction = false;
        if (!ok && !writeFailed_) {
            writeFailed_ = true;
            std::fprintf(stderr, "vigilon: the history file %s could not be written; what came in meanwhile is "
                                 "not kept\n",
                         file_.path().c_str());
        }
    };
    for (Op &op : ops) {
        if (op.kind == Op::Kind::Task) {
            finish();
            op.task();
            continue;
        }
        if (!file_.isOpen())
            continue;
        if (!inTransaction)
            inTransaction = file_.begin();
        if (!inTransaction) {
            ok = false;
            continue;
        }
        if (op.kind == Op::Kind::OutageEnded && op.key.name.empty()) {
            ok = file_.outageEnded(0, op.check.millis, op.flag) && ok;
            continue;
        }
        if (op.kind == Op::Kind::QuietEnded && op.key.name.empty()) {
            writeChecks();
            ok = file_.quietEnded(0, op.check.millis) && ok;
            continue;
        }
        const std::int64_t series = file_.seriesId(op.key);
        if (!series) {
            ok = false;
            continue;
        }
        switch (op.kind) {
        case Op::Kind::Check: {
            checks[series].push_back(op.check);
            const std::int64_t hour = op.check.millis / kHourMillis;
            newestHour = std::max(newestHour, hour);
            HourCount &count = hours_[series][static_cast<std::size_t>(hour) % kHours];
            if (count.hour < hour)
                count = {hour, 0, 0};
            // Quiet time is left out of the uptimes.
            if (count.hour == hour && !op.flag) {
                ++count.count;
                count.answered += op.check.answered() ? 1 : 0;
            }
            break;
        }
        case Op::Kind::OutageBegan:
            writeChecks();
            ok = file_.outageBegan(series, op.check.millis, op.check.reason, op.flag) && ok;
            break;
        case Op::Kind::OutageEnded:
            writeChecks();
            ok = file_.outageEnded(series, op.check.millis, op.flag) && ok;
            break;
        case Op::Kind::QuietBegan:
            writeChecks();
            ok = file_.quietBegan(series, op.check.millis) && ok;
            break;
        case Op::Kind::QuietEnded:
            writeChecks();
            ok = file_.quietEnded(series, op.check.millis) && ok;
            break;
        case Op::Kind::Task:
            break;
        }
    }
    finish();
}

void History::openFile()
{
    if (file_.isOpen())
        return;
    std::string said;
    const HistoryFile::Opened opened = file_.open(options_.path, said);
    if (opened != HistoryFile::Opened::Ok)
        say(opened == HistoryFile::Opened::Fresh ? Trouble::Damaged : Trouble::Unavailable, said);
    if (!file_.isOpen())
        return;
    writeFailed_ = false;
    const std::int64_t at = now();
    lastPrune_ = std::chrono::steady_clock::now();
    if (file_.begin()) {
        file_.prune(at);
        file_.commit();
    }
    rolledBefore_ = at / kHourMillis;
    hours_.clear();
    file_.hourCounts(at / kHourMillis - static_cast<std::int64_t>(kHours) + 1,
                     [this](std::int64_t series, std::int64_t hour, std::uint32_t count, std::uint32_t answered) {
                         hours_[series][static_cast<std::size_t>(hour) % kHours] = {hour, count, answered};
                     });
}

void History::closeFile()
{
    file_.close();
    hours_.clear();
}

void History::say(Trouble trouble, const std::string &line)
{
    if (said_)
        return;
    said_ = true;
    std::fprintf(stderr, "vigilon: %s\n", line.c_str());
    if (!options_.trouble)
        return;
    loop_.post([alive = token_, tell = options_.trouble, trouble, path = options_.path] {
        if (!alive.expired())
            tell(trouble, path);
    });
}

} // namespace vigilon::history
