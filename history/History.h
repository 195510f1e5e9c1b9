// SPDX-License-Identifier: MIT
#pragma once

#include "base/CheckObserver.h"
#include "base/HistoryReader.h"
#include "base/EventLoop.h"
#include "history/HistoryFile.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace vigilon::history {

// The kept history of the checks: fed by the engine and asked by the frame
// on the event loop, written and read on a thread of its own. The loop only
// appends to a queue; the worker writes what gathered in one transaction a
// second (sooner when much gathered), so no write ever holds the loop up.
// Answers are posted back to the loop, never after the history is gone.
class History final : public CheckObserver, public HistoryReader {
public:
    // Trouble with the file, said once a run.
    enum class Trouble {
        // It was damaged, moved aside, and a fresh file started.
        Damaged,
        // It cannot be used: monitoring goes on without history.
        Unavailable,
    };
    struct Options {
        std::string path;
        // The time pruning and the uptimes' windows go by; the system's
        // clock when unset. Records carry their own times.
        std::function<std::int64_t()> nowMillis;
        // Told on the event loop; the English line is on standard error.
        std::function<void(Trouble, const std::string &path)> trouble;
        std::size_t batchRecords = 4096;
        std::chrono::milliseconds batchEvery{1000};
        std::chrono::milliseconds pruneEvery{3600 * 1000};
    };
    // kept: the file is opened at once; otherwise nothing is recorded until
    // setKept(true).
    History(EventLoop &loop, Options options, bool kept);
    // Writes what is still queued and closes the file.
    ~History() override;
    History(const History &) = delete;
    History &operator=(const History &) = delete;

    // Off: what is queued is written and the file closed; answers come
    // back empty. On: the file is opened again.
    void setKept(bool on);
    bool kept() const { return kept_; }
    // Waits until the worker has done everything asked before the call.
    void sync();
    // Writes what is queued, closes the file and ends the worker; nothing
    // is recorded after it. Safe to call more than once.
    void close();

    // Any thread: runs fn on the worker, after what was queued before,
    // with the file (null while none is open). For readers off the loop,
    // such as the web server; fn answers them itself and keeps nothing of
    // the file. Nothing runs once the history is closed: fn is dropped.
    void read(std::function<void(HistoryFile *file)> fn);
    // The time the uptimes go by.
    std::int64_t nowMillis() const { return now(); }

    // CheckObserver, on the loop.
    void checkDone(const CheckOutcome &outcome) override;
    void outageBegan(const MonitorPort &entry, const std::string &host, std::int64_t unixMillis,
                     const FailureReason &reason, bool alertRan) override;
    void outageEnded(const MonitorPort &entry, const std::string &host, std::int64_t unixMillis) override;
    void monitoringStopped(std::int64_t unixMillis) override;
    void entryForgotten(const MonitorPort &entry, std::int64_t unixMillis) override;
    // Its checks from now on are kept, but left out of its uptimes.
    void quietChanged(const MonitorPort &entry, const std::string &host, bool quiet, std::int64_t unixMillis) override;

    // HistoryReader, on the loop.
    void uptimeOf(const SeriesKey &key, std::size_t outageLimit, std::function<void(UptimeView)> done) override;
    void outagesOf(const SeriesKey &key, std::size_t limit,
                   std::function<void(std::vector<OutageView>)> done) override;
    void dayUptimes(std::function<void(std::vector<std::pair<SeriesKey, double>>)> done) override;

private:
    struct Op {
        enum class Kind : std::uint8_t { Check, OutageBegan, OutageEnded, Task, QuietBegan, QuietEnded } kind = Kind::Check;
        // OutageBegan: the alert ran; OutageEnded: unobserved; Check: made
        // while the entry was quiet.
        bool flag = false;
        SeriesKey key;     // empty name with OutageEnded: every open outage
        RawCheck check;    // the check; its time and reason for the outages
        std::function<void()> task;
    };
    // Checks and answered checks of one hour, for the last day's uptime.
    struct HourCount {
        std::int64_t hour = -1;
        std::uint32_t count = 0, answered = 0;
    };
    static constexpr std::size_t kHours = 25;

    void push(Op op, bool urgent = false);
    // Hands an answer to done on the loop, unless the history is gone by
    // then.
    template <class T>
    std::function<void(T)> answerOnLoop(std::function<void(T)> done)
    {
        return [this, alive = token_, done = std::move(done)](T answer) {
            loop_.post([alive, done, answer = std::move(answer)]() mutable {
                if (!alive.expired())
                    done(std::move(answer));
            });
        };
    }
    void task(std::function<void()> fn) { push(Op{Op::Kind::Task, false, {}, {}, std::move(fn)}, true); }
    void run();
    void process(std::vector<Op> &ops);
    void openFile();
    void closeFile();
    void say(Trouble trouble, const std::string &line);
    std::int64_t now() const;
    double dayUptime(const std::array<HourCount, kHours> &counts, std::int64_t nowHour) const;

    EventLoop &loop_;
    Options options_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // What the answers carry to the loop: expired once the history is gone.
    const std::weak_ptr<bool> token_ = alive_;

    // The loop's side.
    bool kept_ = false;
    bool closed_ = false;
    // The series of each entry with an outage under way, by entry id.
    std::unordered_map<std::uint32_t, SeriesKey> open_;
    // The series of each quiet entry, by entry id.
    std::unordered_map<std::uint32_t, SeriesKey> quiet_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Op> queue_;
    bool urgent_ = false;
    bool stop_ = false;
    std::size_t dropped_ = 0;

    // The worker's side.
    HistoryFile file_;
    bool said_ = false;
    bool writeFailed_ = false;
    std::int64_t rolledBefore_ = 0;
    std::chrono::steady_clock::time_point lastPrune_;
    std::unordered_map<std::int64_t, std::array<HourCount, kHours>> hours_;
    std::thread worker_;
};

} // namespace vigilon::history
