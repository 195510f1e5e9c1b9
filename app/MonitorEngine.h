// SPDX-License-Identifier: MIT
#pragma once

#include "base/CheckObserver.h"
#include "app/DialogFace.h"
#include "app/Notifications.h"
#include "base/ProbeFactory.h"
#include "base/Clock.h"
#include "base/EventLoop.h"
#include "base/MonitorPort.h"
#include "base/ProbeHost.h"
#include "app/platform/Launcher.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <list>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace vigilon {

namespace timers {
// The timers the engine sets on the loop, under itself.
enum EngineTimer : unsigned {
    // The polling round's: its period is intervalSeconds * 1000 ms.
    Poll = 1,
    // The next heartbeat entry's silence is due.
    PushWatch = 2,
};
} // namespace timers

class MonitorEngine;
class CheckSlot;

// A started check. The probe goes before its slot.
struct PendingProbe {
    int kind = TcpProbeKind;
    std::unique_ptr<CheckSlot> slot;
    std::unique_ptr<SocketCheck> probe;
};
using ProbeList = std::list<PendingProbe>;

// The host a started check reports to: it tells the engine which check, of
// which round, is reporting.
class CheckSlot final : public ProbeHost {
public:
    CheckSlot(MonitorEngine &engine, bool testRound) : engine_(engine), testRound_(testRound) {}
    ~CheckSlot() override;
    CheckSlot(const CheckSlot &) = delete;
    CheckSlot &operator=(const CheckSlot &) = delete;
    void reportResult(ProbeResult result, MonitorPort &entry) override;
    EventLoop &eventLoop() override;
    const Clock &clock() const override;
    bool testRound() const { return testRound_; }
    // Whether this check has reported at least once.
    bool reported = false;
    // Counted among the checks whose first report the engine awaits.
    bool awaited = false;
    // When the check was started (monotonic).
    std::uint64_t startMicros = 0;
    // The check reporting here; it goes before its slot.
    const SocketCheck *check = nullptr;
    // The polling round that started it; 0 for a port test.
    unsigned round = 0;
    // Its record, and whether that is among the checks under way.
    ProbeList::iterator self;
    bool listed = false;

private:
    MonitorEngine &engine_;
    bool testRound_;
};

// What the engine needs of the program.
struct EngineContext {
    EventLoop *loop = nullptr;
    const Clock *clock = nullptr;
    ProbeFactory *probes = nullptr;
    // The target host, which every entry without a host of its own checks;
    // owned by the frame.
    const std::string *targetHost = nullptr;
    // One line per finished check on standard error.
    bool verbose = false;
    // Runs an alert command (see FrameContext).
    std::function<int(const std::string &command)> runCommand;
    // host: the host the failed entry checks, for "%TARGET%".
    std::function<int(const std::string &command, const std::string &host, const platform::Environment &environment)>
        runAlert;
    // Told of every outcome of a polling round and of every outage; owned by
    // the program, and outliving the engine.
    std::vector<CheckObserver *> observers;
};

// What the engine shows through the frame.
class EngineListener {
public:
    virtual ~EngineListener() = default;
    // The image of a row alone.
    virtual void setRowImage(int row, int image) = 0;
    // The whole row of an entry.
    virtual void updateRow(const MonitorPort &entry) = 0;
    // The tray's icon (0: the tip alone).
    virtual void showTrayIcon(unsigned icon) = 0;
    // A sample for the entry's graph (0 for a declared failure) and the
    // line its graph shows: why it failed, the days its certificate has
    // left, or nothing.
    virtual void responseSample(std::uint32_t entryId, std::uint32_t valueMs, const std::string &line) = 0;
    // The polling timer ticked; its round follows unless rounds are held.
    virtual void pollTick() = 0;
    // The number of entries a round left out changed.
    virtual void shortageChanged(std::size_t unchecked, bool firstTime) = 0;
    // Entries were declared failed or answer again: all of a round's
    // changes at once, when its last check has reported (or the next round
    // begins).
    virtual void statusChanged(const std::vector<StatusChange> &changes) = 0;
};

// The monitoring engine: the rounds of checks over the frame's entries, what
// each outcome does to its entry (the retry rule, errors, alerts, samples),
// and the polling timer. Everything runs on the event loop's thread. Nothing
// the engine does waits, and no stretch of it is long: a round starts its
// checks in slices between which the loop serves other events, every check
// reports later through the loop, and what the outcomes change in the list
// and the tray is shown once per pass of the loop. A nested loop (a question
// the user is asked) may still run timers and check results meanwhile; a
// check is therefore never destroyed from inside a call, only later from the
// loop.
class MonitorEngine final {
public:
    MonitorEngine(const EngineContext &context, PortList &ports, EngineListener &listener);
    ~MonitorEngine();
    MonitorEngine(const MonitorEngine &) = delete;
    MonitorEngine &operator=(const MonitorEngine &) = delete;

    bool running() const { return running_; }
    std::uint32_t startTime() const { return startTime_; }
    // Monitoring starts: every entry idle, a first round, the polling timer.
    void start();
    void stop();
    // While held, a tick of the polling timer runs no round.
    void holdRounds(bool hold) { roundGuard_ = hold; }

    // Starts a round of checks and returns at once. A Regular round is the
    // polling round; a Test round is a port test whose result goes to the
    // callback given to startTestRound().
    void runRound(RoundKind kind);
    bool startTestRound(std::function<void(TestResult)> done);
    const std::vector<TestFailure> &testFailures() const { return testRound_.failures; }
    // A started check reports its outcome.
    void reportResult(CheckSlot &slot, ProbeResult result, MonitorPort &entry);
    void resetEntriesToIdle();
    // The worst status among the entries, which the tray's icon shows.
    enum class WorstStatus {
        Fine,
        Warning,
        Failed,
    };
    // Counts the entries afresh and shows their worst status on the tray.
    WorstStatus refreshTrayState();

    // Active entries whose check this system could not start in the last
    // polling round (out of descriptors or buffers); 0 when all started.
    // The next round begins with the first of them, so that every entry
    // takes its turn.
    std::size_t uncheckedEntries() const { return unchecked_; }
    // The last polling round left entries out and made no check at all:
    // nothing is monitored, and the entries do not take turns.
    bool nothingChecked() const { return nothingChecked_; }
    std::uint32_t intervalSeconds() const { return intervalSeconds_; }
    std::uint32_t retryLimit() const { return retryLimit_; }
    void setIntervalSeconds(std::uint32_t seconds) { intervalSeconds_ = seconds; }
    void setRetryLimit(std::uint32_t limit) { retryLimit_ = limit; }
    // An entry's interval and retry limit: its own, else the global ones.
    std::uint32_t intervalOf(const MonitorPort &entry) const { return entryIntervalSeconds(entry, intervalSeconds_); }
    std::uint32_t retryLimitOf(const MonitorPort &entry) const { return entryRetryLimit(entry, retryLimit_); }
    // Whether some active entry has an interval of its own: the polling
    // timer then ticks every second, and each tick's round checks the
    // entries that are due (see dueNow()).
    bool ownIntervals() const { return ownIntervals_; }
    // Where an entry with an interval of its own falls within it, in
    // seconds: a stable spread by its id, so that many such entries do not
    // fall due at once. 0 for an entry on the global interval, whose checks
    // stay together.
    std::uint32_t phaseOf(const MonitorPort &entry) const;

    // An entry is about to be deleted: its checks under way forget it.
    void forgetEntry(MonitorPort &entry);
    // Shows the entry's row with the next pass's changes.
    void showRowLater(MonitorPort &entry) { markRow(entry, -1); }
    // An entry's settings are about to change: what observes the checks
    // forgets it as it was.
    void entrySettingsChanging(const MonitorPort &entry);
    // The program ends: the polling timer stops and every check under way
    // is dropped (destroyed from the loop).
    void discardChecks();

    // A heartbeat entry's job called: up, a success; otherwise a failure
    // with its message as the reason, declared at once (the job knows).
    // Either goes the way a check's outcome goes, with no response time.
    // Ignored while monitoring is stopped, and for entries inactive or of
    // another kind.
    void pushReceived(MonitorPort &entry, bool up, const std::string &message);
    // The entries were added, changed or deleted: heartbeat entries are
    // watched (or no longer) for silence.
    void entriesChanged() { armPushWatch(); }
    // Quiet periods. A quiet entry is checked, and its outcomes told to the
    // observers, as ever; but a failure runs no alert command and neither
    // failures nor recoveries are said to the listener (no notification, no
    // channel message). One still failed when its quiet period ends is
    // announced then, once, as a declared failure is.
    // Sets the entry's quiet period set by hand (MonitorPort::quietUntil)
    // and shows what it changes at once.
    void setQuietUntil(MonitorPort &entry, std::int64_t until);
    // Looks at every entry's quiet periods at now (seconds since 1970); done
    // at the start of every polling round.
    void updateQuiet(std::int64_t now);

    EventLoop &eventLoop() { return *context_.loop; }
    const Clock &clock() const { return *context_.clock; }

private:
    friend class FrameTestPeer;
    // The entries a round has yet to start checks for.
    struct Issue {
        bool active = false;
        // A slice is posted.
        bool posted = false;
        // Changes when the issue ends or starts afresh.
        unsigned generation = 0;
        // In the round's order; an entry deleted meanwhile is null.
        std::vector<MonitorPort *> order;
        std::size_t next = 0;
        std::size_t unchecked = 0;
        std::size_t firstUnchecked = 0;
        // Checks the round made (started, or that reported at once).
        std::size_t checked = 0;
    };
    // A change of a row, shown with the next flush: image -1 is the whole row.
    struct RowChange {
        MonitorPort *entry;
        int image;
    };

    // begun: when the loop's pass began, which the slice's time counts from.
    void issueSlice(RoundKind kind, std::uint64_t begun);
    void postSlice(RoundKind kind);
    void endIssue(Issue &issue);
    void applyResult(CheckSlot &slot, ProbeResult result, MonitorPort &entry);
    // Shows what changed since the last pass and destroys finished checks,
    // these within the time left of a slice begun at begun (0: now).
    void flush(std::uint64_t begun = 0);
    void scheduleFlush();
    // Finished checks that have reported leave the checks under way.
    void settleReports();
    // The checks go, destroyed from the loop; they reach no entry meanwhile.
    void retire(ProbeList &probes);
    // The check's first report is no longer awaited.
    void unawait(CheckSlot &slot);
    void tearDownOneStale();
    void finishTestRound();
    // Looks whether the machine was suspended since the last look; if so,
    // every check under way is discarded and the polling timer, if armed,
    // waits one more full interval. True when a suspend was seen.
    bool noticeResume();
    void onPollTimer();
    // Entries with intervals of their own: whether one is active, whether an
    // entry is due at now, and when it is due next after now (on its grid
    // of instants: the schedule's start, plus its phase, plus whole
    // intervals).
    bool anyOwnInterval() const;
    bool dueNow(const MonitorPort &entry, std::uint64_t now) const;
    void scheduleNext(MonitorPort &entry, std::uint64_t now) const;
    // Every entry's next check, and the schedule itself, move by micros.
    void delaySchedule(std::uint64_t micros);
    void showShortage(std::size_t unchecked, bool nothingChecked);
    void armPollTimer();
    void setRowImage(int row, int image) { listener_.setRowImage(row, image); }
    void markRow(MonitorPort &entry, int image);
    void updateRow(MonitorPort &entry) { markRow(entry, -1); }
    // The counts of failed and warned entries follow each outcome; anything
    // else that changes the list has them counted afresh.
    void countStatus(PortStatus before, PortStatus after);
    WorstStatus showWorstStatus();
    // Shared success and failure handling; a port test's outcomes go into
    // its result.
    void handleSuccess(MonitorPort &entry, RoundKind kind);
    // ranMicros: how long the check ran until it failed. declareAtOnce:
    // the retry rule tolerates nothing.
    void handleFailure(MonitorPort &entry, RoundKind kind, const FailureReason &reason, std::uint64_t ranMicros = 0,
                       bool declareAtOnce = false);
    // How long a heartbeat entry may stay silent before it fails.
    std::uint64_t pushWindowMicros(const MonitorPort &entry) const;
    // Gives every active heartbeat entry a time its silence is due (none
    // while stopped) and sets the timer for the first of them.
    void armPushWatch();
    void onPushWatch();
    void runAlert(const MonitorPort &entry);
    // Tells the observers of an outcome of a polling round.
    void observeCheck(const MonitorPort &entry, CheckOutcome::Result result, std::uint64_t micros,
                      const FailureReason &reason = {});
    void observeStop();
    // Whether the entry is quiet at now; local: now in local time.
    static bool quietAt(const MonitorPort &entry, std::int64_t now, const std::tm &local);
    // The entry's quiet state is now quiet: tells the observers, shows it,
    // and announces a failure that lasts past a quiet period.
    void quietBecomes(MonitorPort &entry, bool quiet, std::int64_t now);
    // Hands the changes gathered so far to the listener.
    void sayStatusChanges();
    // A check of the current polling round has its outcome (or has none).
    void roundCheckEnded(const CheckSlot &slot);
    void logStatus(const MonitorPort &entry, PortStatus before) const;
    // reason: the fifth field of a failed check's line.
    void logCheck(const MonitorPort &entry, const char *outcome, std::uint64_t micros,
                  const FailureReason &reason = {}) const;

    friend class CheckSlot;
    EngineContext context_;
    PortList &ports_;
    EngineListener &listener_;
    // Started checks that have not reported yet (before the lists, whose
    // slots count it down as they go).
    std::size_t awaited_ = 0;
    // Checks under way (and timed-out ones, which may still report late).
    ProbeList pendingProbes_;
    // Finished checks of earlier rounds, closed as the round's new ones open.
    ProbeList staleProbes_;
    // Checks to destroy from the loop.
    ProbeList retiredProbes_;
    // Checks that reported since the last flush.
    std::vector<CheckSlot *> reportedSlots_;
    std::vector<RowChange> rowChanges_;
    bool trayDirty_ = false;
    bool flushPosted_ = false;
    // Reports on the stack.
    int reportDepth_ = 0;
    int failedCount_ = 0;
    int warningCount_ = 0;
    bool countsValid_ = false;
    // The regular round's and the port test's.
    Issue issues_[2];
    struct TestRound {
        bool running = false;
        // Its checks are being started; reports from inside a start do not
        // end it yet.
        bool starting = false;
        int outstanding = 0;
        TestResult result = TestResult::Ok;
        std::vector<TestFailure> failures;
        std::function<void(TestResult)> done;
    };
    TestRound testRound_;
    // Posted work checks this before it touches the engine.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Failures declared and recoveries since they were last said, the
    // number of the current polling round and its checks still to report.
    std::vector<StatusChange> statusChanges_;
    unsigned pollRound_ = 0;
    std::size_t roundOutstanding_ = 0;
    // A check that spans a suspend of the machine says nothing about the
    // target.
    SuspendWatch suspendWatch_;
    std::uint32_t intervalSeconds_ = 5;
    std::uint32_t retryLimit_ = 1;
    std::uint32_t startTime_ = 0;
    bool running_ = false;
    bool roundGuard_ = false;
    // Where the next polling round begins, and how many entries the last
    // one left out for want of local resources (said once per run).
    std::size_t roundStart_ = 0;
    std::size_t unchecked_ = 0;
    bool nothingChecked_ = false;
    bool shortageShown_ = false;
    // Some active entry has its own interval, and the instant the schedule
    // of due checks counts from (monotonic).
    bool ownIntervals_ = false;
    std::uint64_t scheduleStartMicros_ = 0;
    // Entries whose port outside 1..65535 has been said on standard error.
    std::set<std::uint32_t> portOutOfRangeSaid_;
    // The local date and time of the second the last check's line was
    // written in: a round writes thousands of lines within a few seconds.
    mutable std::time_t stampSecond_ = -1;
    mutable char stamp_[32] = {};
};

} // namespace vigilon
