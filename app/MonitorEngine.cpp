// SPDX-License-Identifier: MIT
// The monitoring engine: starting and stopping, rounds, and what each
// check's outcome does.
#include "app/MonitorEngine.h"

#include "app/FrameUi.h"
#include "app/MonitorRules.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "app/text/FailureText.h"
#include "probes/DnsAnswer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <utility>

namespace vigilon {

namespace {
// A round starts its checks in slices, between which the loop serves other
// events: at most this many entries, and no longer than kSliceMicros.
constexpr std::size_t kSliceEntries = 256;
constexpr std::uint64_t kSliceMicros = 2000;
// Finished checks destroyed in one pass of the loop at most (and within
// kSliceMicros).
constexpr std::size_t kTeardownBatch = 256;
// With intervals of their own, an entry is due at a tick that comes this
// close before its instant: a timer may fire a little early.
constexpr std::uint64_t kDueToleranceMicros = 500000;
constexpr std::uint64_t kSecondMicros = 1000000;
// The line an entry's graph shows: a quiet entry's says so first.
std::string graphLine(const MonitorPort &entry, const std::string &line)
{
    if (!entry.quiet)
        return line;
    const std::string &quiet = loadString(sid::GraphQuietLine);
    return line.empty() ? quiet : quiet + " \xC2\xB7 " + line;
}
} // namespace

MonitorEngine::MonitorEngine(const EngineContext &context, PortList &ports, EngineListener &listener)
    : context_(context)
    , ports_(ports)
    , listener_(listener)
    , suspendWatch_(context.clock)
{
}

MonitorEngine::~MonitorEngine()
{
    context_.loop->killTimers(this);
}

CheckSlot::~CheckSlot()
{
    if (awaited)
        engine_.unawait(*this);
}

void MonitorEngine::unawait(CheckSlot &slot)
{
    if (!slot.awaited)
        return;
    slot.awaited = false;
    --awaited_;
}

void MonitorEngine::start()
{
    running_ = true;
    startTime_ = context_.clock->nowSeconds();
    roundStart_ = 0;
    unchecked_ = 0;
    nothingChecked_ = false;
    // Entries with intervals of their own are checked in the first round
    // too, and then each at its own pace.
    ownIntervals_ = anyOwnInterval();
    scheduleStartMicros_ = context_.clock->monotonicMicros();
    for (const auto &entry : ports_)
        entry->nextDueMicros = 0;
    resetEntriesToIdle();
    // Heartbeat entries wait a whole window from the start.
    for (const auto &entry : ports_)
        entry->pushDueMicros = 0;
    armPushWatch();
    // Quiet periods are found afresh, and said to the observers, as the
    // first round begins.
    for (const auto &entry : ports_)
        entry->quiet = false;
    runRound(RoundKind::Regular);
    // Calls that came while stopped count as made now.
    for (std::size_t i = 0; running_ && i < ports_.size(); ++i) {
        MonitorPort &entry = *ports_[i];
        if (std::optional<MonitorPort::HeldCall> held = std::exchange(entry.heldCall, std::nullopt))
            pushReceived(entry, held->up, held->message);
    }
    // The round may have let the user stop again from a nested box; a round
    // still starting its checks arms the timer when it is through.
    if (running_ && !issues_[0].active)
        armPollTimer();
}

void MonitorEngine::stop()
{
    if (running_)
        observeStop();
    running_ = false;
    context_.loop->killTimer(this, timers::Poll);
    armPushWatch();
    // The entries not reached yet are not checked.
    endIssue(issues_[0]);
    retire(staleProbes_);
}

void MonitorEngine::discardChecks()
{
    if (running_)
        observeStop();
    context_.loop->killTimer(this, timers::Poll);
    context_.loop->killTimer(this, timers::PushWatch);
    for (Issue &issue : issues_)
        endIssue(issue);
    retire(pendingProbes_);
    retire(staleProbes_);
    rowChanges_.clear();
    statusChanges_.clear();
    trayDirty_ = false;
    testRound_ = TestRound{};
}

void MonitorEngine::entrySettingsChanging(const MonitorPort &entry)
{
    for (CheckObserver *observer : context_.observers)
        observer->entryForgotten(entry, context_.clock->nowMillis());
}

void MonitorEngine::forgetEntry(MonitorPort &entry)
{
    entrySettingsChanging(entry);
    for (auto &record : pendingProbes_) {
        if (record.probe->entry() == &entry) {
            record.probe->detachEntry();
            unawait(*record.slot);
        }
    }
    std::erase_if(rowChanges_, [&entry](const RowChange &change) { return change.entry == &entry; });
    std::erase_if(statusChanges_, [&entry](const StatusChange &change) { return change.entryId == entry.id; });
    for (Issue &issue : issues_)
        std::replace(issue.order.begin(), issue.order.end(), &entry, static_cast<MonitorPort *>(nullptr));
    countsValid_ = false;
}

void MonitorEngine::countStatus(PortStatus before, PortStatus after)
{
    // The tray shows the worst state and the failing entries: a check that
    // leaves its entry's state as it was leaves the tray as it was, and the
    // tray's tip, which looks at every entry, is not made again for it.
    if (before == after)
        return;
    trayDirty_ = true;
    if (!countsValid_)
        return;
    failedCount_ += (after == Failed) - (before == Failed);
    warningCount_ += (after == Warning) - (before == Warning);
}

MonitorEngine::WorstStatus MonitorEngine::showWorstStatus()
{
    if (!countsValid_) {
        failedCount_ = warningCount_ = 0;
        for (const auto &entry : ports_) {
            failedCount_ += entry->status == Failed;
            warningCount_ += entry->status == Warning;
        }
        countsValid_ = true;
    }
    const WorstStatus worst = failedCount_ > 0    ? WorstStatus::Failed
                              : warningCount_ > 0 ? WorstStatus::Warning
                                                  : WorstStatus::Fine;
    listener_.showTrayIcon(worst == WorstStatus::Failed    ? res::IconFailed
                           : worst == WorstStatus::Warning ? res::IconWarning
                                                           : res::IconRunning);
    return worst;
}

MonitorEngine::WorstStatus MonitorEngine::refreshTrayState()
{
    countsValid_ = false;
    return showWorstStatus();
}

void MonitorEngine::resetEntriesToIdle()
{
    flush();
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        MonitorPort &entry = *ports_[i];
        setRowImage(static_cast<int>(i), ImageIdle);
        const PortStatus before = entry.status;
        entry.status = Idle;
        if (before != Idle)
            logStatus(entry, before);
    }
    failedCount_ = warningCount_ = 0;
    countsValid_ = true;
    listener_.showTrayIcon(res::IconRunning);
}

void MonitorEngine::armPollTimer()
{
    unsigned periodMs = static_cast<unsigned>(std::min<std::uint64_t>(
        std::uint64_t(intervalSeconds_) * 1000u, std::uint64_t(0xFFFFFFFFu)));
    if (ownIntervals_) {
        // Ticks at the schedule's whole seconds, so that they do not drift
        // by the time each round takes.
        const std::uint64_t now = context_.clock->monotonicMicros();
        const std::uint64_t since = now > scheduleStartMicros_ ? now - scheduleStartMicros_ : 0;
        periodMs = static_cast<unsigned>(1000u - since / 1000u % 1000u);
    }
    context_.loop->setTimer(this, timers::Poll, periodMs, [this] { onPollTimer(); });
}

void MonitorEngine::onPollTimer()
{
    listener_.pollTick();
    // Every second with intervals of their own; a round started now sets
    // the timer again once its checks are started.
    if (ownIntervals_)
        armPollTimer();
    if (roundGuard_)
        return;
    if (ownIntervals_) {
        const std::uint64_t now = context_.clock->monotonicMicros();
        if (std::none_of(ports_.begin(), ports_.end(),
                         [&](const auto &entry) { return entry->active != 0 && dueNow(*entry, now); }))
            return;
    }
    roundGuard_ = true;
    runRound(RoundKind::Regular);
    roundGuard_ = false;
}

void MonitorEngine::markRow(MonitorPort &entry, int image)
{
    rowChanges_.push_back({&entry, image});
    scheduleFlush();
}

void MonitorEngine::scheduleFlush()
{
    if (flushPosted_)
        return;
    flushPosted_ = true;
    std::weak_ptr<bool> alive = alive_;
    context_.loop->post([this, alive] {
        if (!alive.lock())
            return;
        flushPosted_ = false;
        flush();
    });
}

void MonitorEngine::flush(std::uint64_t begun)
{
    if (begun == 0)
        begun = context_.clock->monotonicMicros();
    settleReports();
    // Standard error, where --verbose has it buffered, goes out once a pass.
    std::fflush(stderr);
    // Rows in the order their changes came; the tray once.
    std::vector<RowChange> changes;
    changes.swap(rowChanges_);
    for (const RowChange &change : changes) {
        if (change.image < 0)
            listener_.updateRow(*change.entry);
        else
            setRowImage(rowOf(ports_, *change.entry), change.image);
    }
    if (trayDirty_) {
        trayDirty_ = false;
        showWorstStatus();
    }
    // The round's changes are said together once its last check is in.
    if (!statusChanges_.empty() && !issues_[0].active && roundOutstanding_ == 0 && !testRound_.running)
        sayStatusChanges();
    // A check is never destroyed while one of its calls may be on the stack;
    // and closing its socket costs the loop about what opening it did, so
    // finished checks wait while a round still starts checks or awaits
    // their results.
    if (reportDepth_ > 0 || issues_[0].active || issues_[1].active || awaited_ > 0)
        return;
    for (std::size_t n = 0; n < kTeardownBatch && !retiredProbes_.empty(); ++n) {
        if (n > 0 && context_.clock->monotonicMicros() - begun >= kSliceMicros)
            break;
        retiredProbes_.pop_front();
    }
    if (!retiredProbes_.empty())
        scheduleFlush();
}

void MonitorEngine::settleReports()
{
    // A check that has reported and finished goes at once; one that timed
    // out may still report a late success, and waits for the next round.
    for (CheckSlot *slot : reportedSlots_) {
        if (!slot->listed || !slot->check || slot->check->done() != CheckProgress::Finished)
            continue;
        slot->listed = false;
        retiredProbes_.splice(retiredProbes_.end(), pendingProbes_, slot->self);
    }
    reportedSlots_.clear();
}

void MonitorEngine::retire(ProbeList &probes)
{
    if (probes.empty())
        return;
    for (auto &record : probes) {
        // Whatever a retired check still does reaches no entry.
        record.probe->detachEntry();
        record.slot->listed = false;
        unawait(*record.slot);
    }
    retiredProbes_.splice(retiredProbes_.end(), probes);
    scheduleFlush();
}

void MonitorEngine::tearDownOneStale()
{
    if (staleProbes_.empty())
        return;
    if (reportDepth_ > 0) {
        retiredProbes_.splice(retiredProbes_.end(), staleProbes_, staleProbes_.begin());
        scheduleFlush();
        return;
    }
    staleProbes_.pop_front();
}

bool MonitorEngine::noticeResume()
{
    if (!suspendWatch_.suspendedSinceLastLook())
        return false;
    std::fprintf(stderr,
                 "vigilon: the machine was suspended for %.1f s; the checks under way are discarded and the next "
                 "round waits one interval\n",
                 static_cast<double>(suspendWatch_.lastSuspendMicros()) / 1e6);
    // Their outcome, success or failure, says nothing about the target:
    // they report nothing more, and their rows show the state they had.
    for (auto &record : pendingProbes_) {
        MonitorPort *entry = record.probe->entry();
        if (!entry)
            continue;
        record.probe->detachEntry();
        unawait(*record.slot);
        if (record.probe->done() == CheckProgress::Running)
            updateRow(*entry);
    }
    // A port test under way ends with what it has.
    if (testRound_.running) {
        endIssue(issues_[1]);
        testRound_.starting = false;
        testRound_.outstanding = 0;
        finishTestRound();
    }
    // The network is often not back in the first seconds after a resume.
    if (running_ && ownIntervals_)
        delaySchedule(std::uint64_t(intervalSeconds_) * kSecondMicros);
    if (running_ && context_.loop->hasTimer(this, timers::Poll))
        armPollTimer();
    return true;
}

bool MonitorEngine::startTestRound(std::function<void(TestResult)> done)
{
    if (testRound_.running)
        return false;
    testRound_.done = std::move(done);
    runRound(RoundKind::Test);
    return true;
}

void MonitorEngine::finishTestRound()
{
    if (!testRound_.running || testRound_.starting || testRound_.outstanding > 0)
        return;
    testRound_.running = false;
    auto done = std::move(testRound_.done);
    testRound_.done = nullptr;
    if (!done)
        return;
    // The answer is shown from the loop, not from inside a check's report.
    const TestResult result = testRound_.result;
    std::weak_ptr<bool> alive = alive_;
    context_.loop->post([alive, done = std::move(done), result] {
        if (alive.lock())
            done(result);
    });
}

void MonitorEngine::runRound(RoundKind kind)
{
    const bool testRound = kind != RoundKind::Regular;
    if (!testRound)
        context_.loop->killTimer(this, timers::Poll);
    const std::uint64_t begun = context_.clock->monotonicMicros();
    flush(begun);
    if (!testRound) {
        // What the last round's late checks changed is said before this
        // round begins.
        if (!statusChanges_.empty() && !testRound_.running)
            sayStatusChanges();
        ++pollRound_;
        roundOutstanding_ = 0;
        updateQuiet(context_.clock->nowSeconds());
    }
    // The finished checks of earlier rounds go as the new ones open; those
    // still under way hold up no teardown from now on.
    for (auto it = pendingProbes_.begin(); it != pendingProbes_.end();) {
        auto next = std::next(it);
        unawait(*it->slot);
        if (it->probe->done() != CheckProgress::Running) {
            it->probe->detachEntry();
            it->slot->listed = false;
            staleProbes_.splice(staleProbes_.end(), pendingProbes_, it);
        }
        it = next;
    }
    // Finished checks whose teardown waited on a check still under way go
    // first, so that each round closes at least as many as it opens.
    staleProbes_.splice(staleProbes_.begin(), retiredProbes_);

    // The first regular round after a resume waits one more interval.
    if (noticeResume() && !testRound) {
        if (running_)
            armPollTimer();
        return;
    }
    if (testRound) {
        testRound_.running = true;
        testRound_.starting = true;
        testRound_.outstanding = 0;
        testRound_.result = TestResult::Ok;
        testRound_.failures.clear();
    }
    context_.probes->beginRound();
    // A polling round begins where the last one ran short, so that every
    // entry is checked in some round when not all can be at once.
    Issue &issue = issues_[testRound ? 1 : 0];
    const std::size_t count = ports_.size();
    const std::size_t first = testRound || roundStart_ >= count ? 0 : roundStart_;
    issue.active = true;
    ++issue.generation;
    issue.order.clear();
    issue.order.reserve(count);
    // With intervals of their own, a polling round has the entries that are
    // due.
    const bool dueOnly = !testRound && ownIntervals_;
    const std::uint64_t now = context_.clock->monotonicMicros();
    for (std::size_t k = 0; k < count; ++k) {
        MonitorPort *entry = ports_[(first + k) % count].get();
        if (!dueOnly || (entry->active != 0 && dueNow(*entry, now)))
            issue.order.push_back(entry);
    }
    issue.next = 0;
    issue.unchecked = 0;
    issue.firstUnchecked = count;
    issue.checked = 0;
    issueSlice(kind, begun);
}

void MonitorEngine::endIssue(Issue &issue)
{
    issue.active = false;
    ++issue.generation;
    issue.order.clear();
    issue.next = 0;
}

void MonitorEngine::issueSlice(RoundKind kind, std::uint64_t begun)
{
    const bool testRound = kind != RoundKind::Regular;
    Issue &issue = issues_[testRound ? 1 : 0];
    if (!issue.active)
        return;
    const unsigned generation = issue.generation;
    const std::uint64_t sliceStart = begun;
    // An entry left out is due again at the next tick.
    const auto leftOut = [&issue](int row, MonitorPort &entry) {
        if (issue.unchecked++ == 0 && row >= 0)
            issue.firstUnchecked = static_cast<std::size_t>(row);
        entry.nextDueMicros = 0;
    };
    for (std::size_t n = 0; issue.next < issue.order.size(); ++n) {
        if (n >= kSliceEntries || (n > 0 && context_.clock->monotonicMicros() - sliceStart >= kSliceMicros)) {
            postSlice(kind);
            return;
        }
        // An old check is closed before a new one opens.
        tearDownOneStale();
        MonitorPort *next = issue.order[issue.next++];
        if (!next || next->active == 0)
            continue;
        MonitorPort &entry = *next;
        // A heartbeat entry makes no check: its job calls in.
        if (entry.protocol == Push)
            continue;
        if (!testRound && ownIntervals_)
            scheduleNext(entry, context_.clock->monotonicMicros());
        if (entry.protocol != Ping && (entry.port == 0 || entry.port > 65535)) {
            // Any other port would be checked under its low 16 bits: the
            // check is not made, and no failure counted.
            if (portOutOfRangeSaid_.insert(entry.id).second)
                std::fprintf(stderr, "vigilon: %s is not checked: its port %u is outside 1..65535\n",
                             entry.name.c_str(), static_cast<unsigned>(entry.port));
            continue;
        }
        // A stored rule that could not be read, or a stored request that
        // cannot be sent, was said at start; the entry waits, idle, until it
        // is corrected.
        if (judgesHttpStatus(entry.protocol) &&
            (!entry.httpStatus.valid() || checkRequest(entry.request) != RequestProblem::None))
            continue;
        // A DNS entry without a name to ask, or with a type that is not one
        // of the list's, waits the same way.
        if (entry.protocol == Dns && (dns::typeCode(entry.dnsType) == 0 || !dns::validName(entry.dnsName)))
            continue;
        const int row = rowOf(ports_, entry);
        setRowImage(row, ImageChecking);

        int probeKind = TcpProbeKind;
        if (entry.protocol == GenericUdp)
            probeKind = UdpProbeKind;
        else if (entry.protocol == Http)
            probeKind = HttpProbeKind;
        else if (entry.protocol == Ping)
            probeKind = PingProbeKind;
        else if (entry.protocol == Https)
            probeKind = HttpsProbeKind;
        else if (entry.protocol == Tls)
            probeKind = TlsProbeKind;
        else if (entry.protocol == Dns)
            probeKind = DnsProbeKind;
        PendingProbe record;
        record.kind = probeKind;
        record.slot = std::make_unique<CheckSlot>(*this, testRound);
        record.probe = context_.probes->makeSocketCheck(probeKind, *record.slot);
        if (!record.probe) {
            // No probe could be made: the check is missing from a regular
            // round and fails a port test.
            if (testRound)
                handleFailure(entry, RoundKind::Test, FailureReason::of(FailureKind::LocalShortage));
            else
                leftOut(row, entry);
            continue;
        }
        CheckSlot &slot = *record.slot;
        slot.check = record.probe.get();
        if (testRound) {
            ++testRound_.outstanding;
        } else {
            slot.round = pollRound_;
            ++roundOutstanding_;
        }
        slot.startMicros = context_.clock->monotonicMicros();
        const bool started = record.probe->start(entry.port, checkedHost(entry, *context_.targetHost), entry);
        const bool localFailure = !started && record.probe->localFailure();
        const FailureReason reason = record.probe->failureReason();
        const bool reported = slot.reported;
        ProbeList &home = started ? pendingProbes_ : retiredProbes_;
        home.push_back(std::move(record));
        slot.self = std::prev(home.end());
        slot.listed = started;
        if (started && !slot.reported) {
            slot.awaited = true;
            ++awaited_;
        }
        if (!started) {
            slot.self->probe->detachEntry();
            scheduleFlush();
        }
        // A nested loop inside the start may have begun another round.
        if (issue.generation != generation)
            return;
        if (started || reported) {
            ++issue.checked;
            continue;
        }
        // Not started, and nothing reported.
        if (testRound)
            --testRound_.outstanding;
        else
            roundCheckEnded(slot);
        if (localFailure) {
            // This system ran short, not the target: the check is missing.
            setRowImage(row, entry.status == Idle ? int(ImageIdle) : int(entry.status));
            if (!testRound)
                leftOut(row, entry);
            continue;
        }
        ++issue.checked;
        if (testRound)
            handleFailure(entry, RoundKind::Test, reason);
    }

    // Every entry has had its turn.
    const std::size_t unchecked = issue.unchecked;
    const std::size_t firstUnchecked = issue.firstUnchecked;
    const bool nothingChecked = unchecked > 0 && issue.checked == 0;
    endIssue(issue);
    retire(staleProbes_);
    if (!retiredProbes_.empty())
        scheduleFlush();
    if (testRound) {
        testRound_.starting = false;
        finishTestRound();
    } else {
        roundStart_ = unchecked > 0 ? firstUnchecked : 0;
        showShortage(unchecked, nothingChecked);
        if (running_)
            armPollTimer();
    }
}

void MonitorEngine::postSlice(RoundKind kind)
{
    Issue &issue = issues_[kind != RoundKind::Regular ? 1 : 0];
    if (issue.posted)
        return;
    issue.posted = true;
    std::weak_ptr<bool> alive = alive_;
    context_.loop->post([this, alive, kind] {
        if (!alive.lock())
            return;
        issues_[kind != RoundKind::Regular ? 1 : 0].posted = false;
        // Results that came meanwhile are shown first, in their order, and
        // the slice has what time they leave.
        const std::uint64_t begun = context_.clock->monotonicMicros();
        flush(begun);
        issueSlice(kind, begun);
    });
}

void MonitorEngine::showShortage(std::size_t unchecked, bool nothingChecked)
{
    if (unchecked == unchecked_ && nothingChecked == nothingChecked_)
        return;
    unchecked_ = unchecked;
    const bool nothingBefore = std::exchange(nothingChecked_, nothingChecked);
    const bool firstTime = unchecked != 0 && !shortageShown_;
    if (firstTime)
        shortageShown_ = true;
    if (nothingChecked && !nothingBefore)
        std::fprintf(stderr, "vigilon: none of the %zu active entries could be checked in this round for want of "
                             "descriptors or buffers: nothing is monitored until some are free; raise the limit "
                             "(ulimit -n)\n",
                     unchecked);
    else if (firstTime)
        std::fprintf(stderr, "vigilon: %zu of the active entries could not be checked in this round for want of "
                             "descriptors or buffers; the entries take turns from now on\n",
                     unchecked);
    listener_.shortageChanged(unchecked, firstTime);
}

void CheckSlot::reportResult(ProbeResult result, MonitorPort &entry)
{
    engine_.reportResult(*this, result, entry);
}

EventLoop &CheckSlot::eventLoop()
{
    return engine_.eventLoop();
}

const Clock &CheckSlot::clock() const
{
    return engine_.clock();
}

void MonitorEngine::reportResult(CheckSlot &slot, ProbeResult result, MonitorPort &entry)
{
    const bool first = !slot.reported;
    slot.reported = true;
    unawait(slot);
    reportedSlots_.push_back(&slot);
    scheduleFlush();
    if (first)
        roundCheckEnded(slot);
    // A port test counts each check once.
    if (slot.testRound() && !first)
        return;
    // What the outcome does may nest the loop (an alert's message): the
    // checks stay until it returns.
    ++reportDepth_;
    applyResult(slot, result, entry);
    if (--reportDepth_ == 0 && !retiredProbes_.empty())
        scheduleFlush();
}

void MonitorEngine::applyResult(CheckSlot &slot, ProbeResult result, MonitorPort &entry)
{
    // Every check under way when a suspend is first seen spans it, this one
    // included.
    if (noticeResume()) {
        trayDirty_ = true;
        updateRow(entry);
        return;
    }
    // With an interval shorter than a check's timeout, a check of an older
    // round can end after a newer one of the same entry: the entry already
    // has a newer outcome, and this one says nothing about it.
    const bool outOfDate = slot.startMicros < entry.newestCheckMicros;
    if (!outOfDate)
        entry.newestCheckMicros = slot.startMicros;
    const RoundKind kind = slot.testRound() ? RoundKind::Test : RoundKind::Regular;
    if (!outOfDate && result == ProbeResult::Answered) {
        handleSuccess(entry, kind);
    } else if (!outOfDate) {
        const std::uint64_t now = context_.clock->monotonicMicros();
        handleFailure(entry, kind,
                      slot.check ? slot.check->failureReason() : FailureReason::of(FailureKind::TimedOut),
                      now - std::min(slot.startMicros, now));
    }
    if (slot.testRound() && testRound_.running) {
        --testRound_.outstanding;
        finishTestRound();
    }
}

void MonitorEngine::handleSuccess(MonitorPort &entry, RoundKind kind)
{
    const PortStatus before = entry.status;
    const bool warning = applySuccess(entry);
    if (warning && kind == RoundKind::Test && testRound_.result == TestResult::Ok)
        testRound_.result = TestResult::Warning;
    logCheck(entry, warning ? "Warning" : "Ok",
             entry.responseMicros ? entry.responseMicros : std::uint64_t(entry.responseTime) * 1000u);
    listener_.responseSample(entry.id, entry.responseTime,
                             graphLine(entry, usesTls(entry.protocol) && entry.certDaysKnown
                                                  ? certDaysLine(entry.certDaysLeft)
                                                  : std::string()));
    countStatus(before, entry.status);
    if (before == Failed && !entry.quiet)
        addStatusChange(statusChanges_, {entry.id, entry.name, false, {}, entry.host});
    if (kind == RoundKind::Regular) {
        observeCheck(entry, warning ? CheckOutcome::Result::Warning : CheckOutcome::Result::Ok,
                     entry.responseMicros ? entry.responseMicros : std::uint64_t(entry.responseTime) * 1000u);
        if (before == Failed) {
            const std::string &host = checkedHost(entry, *context_.targetHost);
            for (CheckObserver *observer : context_.observers)
                observer->outageEnded(entry, host, context_.clock->nowMillis());
        }
    }
    updateRow(entry);
    if (entry.status != before)
        logStatus(entry, before);
}

void MonitorEngine::handleFailure(MonitorPort &entry, RoundKind kind, const FailureReason &reason,
                                  std::uint64_t ranMicros, bool declareAtOnce)
{
    const bool testRound = kind == RoundKind::Test;
    markRow(entry, ImageError);
    const PortStatus before = entry.status;
    const std::uint32_t now = context_.clock->nowSeconds();
    const FailureVerdict verdict = applyFailure(entry, declareAtOnce ? 0 : retryLimitOf(entry), testRound, now);
    entry.lastReason = reason.failed() ? reason : FailureReason::of(FailureKind::TimedOut);
    entry.lastReasonTime = now;
    if (testRound) {
        testRound_.result = TestResult::Failed;
        testRound_.failures.push_back({entry.name, checkedHost(entry, *context_.targetHost), entry.lastReason});
    }
    logCheck(entry, verdict == FailureVerdict::Tolerated ? "Retry" : "Failed", ranMicros, entry.lastReason);
    if (!testRound)
        observeCheck(entry,
                     verdict == FailureVerdict::Tolerated ? CheckOutcome::Result::Retry : CheckOutcome::Result::Failed,
                     ranMicros, entry.lastReason);
    if (verdict == FailureVerdict::Tolerated)
        return;
    listener_.responseSample(entry.id, 0, graphLine(entry, graphReasonLine(entry.lastReason)));
    countStatus(before, entry.status);
    if (entry.status != before)
        logStatus(entry, before);
    // A quiet entry's failure is recorded, not said.
    const bool quiet = entry.quiet && !testRound;
    if (before != Failed && entry.status == Failed && !quiet)
        addStatusChange(statusChanges_, {entry.id, entry.name, true, entry.lastReason, entry.host});
    updateRow(entry);
    const bool alert = verdict == FailureVerdict::DeclaredAndAlert && !quiet;
    if (!testRound && before != Failed && entry.status == Failed) {
        const std::string &host = checkedHost(entry, *context_.targetHost);
        const bool alertRuns = alert && !entry.command.empty() && (context_.runAlert || context_.runCommand);
        for (CheckObserver *observer : context_.observers)
            observer->outageBegan(entry, host, context_.clock->nowMillis(), entry.lastReason, alertRuns);
    }
    // Last: the command's failure message nests the loop.
    if (alert)
        runAlert(entry);
}

std::uint64_t MonitorEngine::pushWindowMicros(const MonitorPort &entry) const
{
    return std::uint64_t(intervalOf(entry)) * (std::uint64_t(retryLimitOf(entry)) + 1) * 1000000u;
}

void MonitorEngine::pushReceived(MonitorPort &entry, bool up, const std::string &message)
{
    if (entry.protocol != Push || entry.active == 0)
        return;
    if (!running_) {
        entry.heldCall = MonitorPort::HeldCall{up, message};
        return;
    }
    entry.heldCall.reset();
    const std::uint64_t now = context_.clock->monotonicMicros();
    entry.newestCheckMicros = now;
    entry.pushDueMicros = now + pushWindowMicros(entry);
    // A call has no response time: the row and the graph show 0.
    entry.responseTime = 0;
    entry.responseMicros = 0;
    trayDirty_ = true;
    scheduleFlush();
    ++reportDepth_;
    if (up)
        handleSuccess(entry, RoundKind::Regular);
    else
        handleFailure(entry, RoundKind::Regular, FailureReason::withDetail(FailureKind::ReportedDown, -1, message), 0,
                      true);
    if (--reportDepth_ == 0 && !retiredProbes_.empty())
        scheduleFlush();
    armPushWatch();
}

void MonitorEngine::armPushWatch()
{
    std::uint64_t first = 0;
    const std::uint64_t now = context_.clock->monotonicMicros();
    for (const auto &entry : ports_) {
        if (entry->protocol != Push || entry->active == 0 || !running_) {
            entry->pushDueMicros = 0;
            continue;
        }
        if (entry->pushDueMicros == 0)
            entry->pushDueMicros = now + pushWindowMicros(*entry);
        if (first == 0 || entry->pushDueMicros < first)
            first = entry->pushDueMicros;
    }
    if (first == 0) {
        context_.loop->killTimer(this, timers::PushWatch);
        return;
    }
    // Rounded up, so that the timer never fires just short of the time.
    const std::uint64_t waitMs = first > now ? (first - now + 999) / 1000 : 0;
    context_.loop->setTimer(this, timers::PushWatch,
                            static_cast<unsigned>(std::clamp<std::uint64_t>(waitMs, 1, 0x7FFFFFFFu)),
                            [this] { onPushWatch(); });
}

void MonitorEngine::onPushWatch()
{
    context_.loop->killTimer(this, timers::PushWatch);
    if (!running_)
        return;
    // What fails may nest the loop (an alert's message) and the entries
    // may change meanwhile: they are found again by id, one at a time.
    const std::uint64_t now = context_.clock->monotonicMicros();
    std::vector<std::uint32_t> silent;
    for (const auto &entry : ports_) {
        if (entry->protocol == Push && entry->active != 0 && entry->pushDueMicros != 0 && entry->pushDueMicros <= now) {
            // Silence goes on failing once an interval, as a failing check
            // fails once a round.
            entry->pushDueMicros = now + std::uint64_t(intervalOf(*entry)) * 1000000u;
            silent.push_back(entry->id);
        }
    }
    for (const std::uint32_t id : silent) {
        const auto found = std::find_if(ports_.begin(), ports_.end(), [id](const auto &e) { return e->id == id; });
        if (found == ports_.end() || !running_)
            continue;
        MonitorPort &entry = **found;
        entry.newestCheckMicros = now;
        entry.responseTime = 0;
        entry.responseMicros = 0;
        trayDirty_ = true;
        scheduleFlush();
        ++reportDepth_;
        handleFailure(entry, RoundKind::Regular, FailureReason::of(FailureKind::NoHeartbeat), 0, true);
        if (--reportDepth_ == 0 && !retiredProbes_.empty())
            scheduleFlush();
    }
    armPushWatch();
}

void MonitorEngine::observeCheck(const MonitorPort &entry, CheckOutcome::Result result, std::uint64_t micros,
                                 const FailureReason &reason)
{
    if (context_.observers.empty())
        return;
    CheckOutcome outcome;
    outcome.entry = &entry;
    outcome.host = &checkedHost(entry, *context_.targetHost);
    outcome.unixMillis = context_.clock->nowMillis();
    outcome.result = result;
    outcome.micros = micros;
    outcome.reason = reason;
    for (CheckObserver *observer : context_.observers)
        observer->checkDone(outcome);
}

void MonitorEngine::observeStop()
{
    const std::int64_t now = context_.clock->nowMillis();
    for (CheckObserver *observer : context_.observers)
        observer->monitoringStopped(now);
}

bool MonitorEngine::quietAt(const MonitorPort &entry, std::int64_t now, const std::tm &local)
{
    return quietByHand(entry.quietUntil, now) || inQuietWindow(entry.quietWindows, local);
}

void MonitorEngine::updateQuiet(std::int64_t now)
{
    const std::tm local = localTime(static_cast<std::time_t>(now));
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        MonitorPort &entry = *ports_[i];
        const bool quiet = quietAt(entry, now, local);
        if (quiet != entry.quiet)
            quietBecomes(entry, quiet, now);
    }
}

void MonitorEngine::setQuietUntil(MonitorPort &entry, std::int64_t until)
{
    entry.quietUntil = until;
    const std::int64_t now = context_.clock->nowSeconds();
    const bool quiet = quietAt(entry, now, localTime(static_cast<std::time_t>(now)));
    if (quiet != entry.quiet)
        quietBecomes(entry, quiet, now);
    // A failure that lasts past the period is said with the round's other
    // changes; outside a round, at once.
    if (!issues_[0].active && roundOutstanding_ == 0)
        scheduleFlush();
}

void MonitorEngine::quietBecomes(MonitorPort &entry, bool quiet, std::int64_t now)
{
    entry.quiet = quiet;
    updateRow(entry);
    trayDirty_ = true;
    scheduleFlush();
    if (!running_)
        return;
    for (CheckObserver *observer : context_.observers)
        observer->quietChanged(entry, checkedHost(entry, *context_.targetHost), quiet, now * 1000);
    if (quiet || entry.status != Failed)
        return;
    // Still failed as its quiet period ends: announced now, once.
    addStatusChange(statusChanges_, {entry.id, entry.name, true, entry.lastReason, entry.host});
    if (entry.command.empty())
        return;
    // The command's failure message nests the loop: it runs from the loop,
    // and only for the entry still there and failed.
    std::weak_ptr<bool> alive = alive_;
    const std::uint32_t id = entry.id;
    context_.loop->post([this, alive, id] {
        if (!alive.lock() || !running_)
            return;
        for (const auto &candidate : ports_)
            if (candidate->id == id) {
                if (candidate->status == Failed && !candidate->quiet)
                    runAlert(*candidate);
                return;
            }
    });
}

void MonitorEngine::runAlert(const MonitorPort &entry)
{
    // The command's failure message nests the loop; keep copies.
    const std::string command = entry.command;
    const std::string host = checkedHost(entry, *context_.targetHost);
    if (context_.runAlert) {
        platform::Environment environment = {
            {"VIGILON_TARGET", host},
            {"VIGILON_ENTRY", entry.name},
            {"VIGILON_REASON", reasonText(entry.lastReason)},
            {"VIGILON_ERRORS", std::to_string(entry.errorCount)},
        };
        // HTTPS and TLS: the days the certificate had left when last seen.
        if (usesTls(entry.protocol) && entry.certDaysKnown)
            environment.push_back({"VIGILON_CERT_DAYS", std::to_string(entry.certDaysLeft)});
        context_.runAlert(command, host, environment);
    } else if (context_.runCommand) {
        context_.runCommand(command);
    }
}

bool MonitorEngine::anyOwnInterval() const
{
    return std::any_of(ports_.begin(), ports_.end(),
                       [](const auto &entry) { return entry->active != 0 && entry->intervalSeconds != 0; });
}

std::uint32_t MonitorEngine::phaseOf(const MonitorPort &entry) const
{
    if (entry.intervalSeconds == 0)
        return 0;
    // A well-mixed hash of the id: neighbouring ids, or ids that follow a
    // pattern of intervals, land anywhere in the interval.
    std::uint64_t z = entry.id + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<std::uint32_t>(z % entry.intervalSeconds);
}

bool MonitorEngine::dueNow(const MonitorPort &entry, std::uint64_t now) const
{
    return entry.nextDueMicros <= now + kDueToleranceMicros;
}

void MonitorEngine::scheduleNext(MonitorPort &entry, std::uint64_t now) const
{
    const std::uint64_t interval = std::uint64_t(std::max<std::uint32_t>(1u, intervalOf(entry))) * kSecondMicros;
    const std::uint64_t first = scheduleStartMicros_ + std::uint64_t(phaseOf(entry)) * kSecondMicros;
    const std::uint64_t after = now + kDueToleranceMicros;
    entry.nextDueMicros = after < first ? first : first + ((after - first) / interval + 1) * interval;
}

void MonitorEngine::delaySchedule(std::uint64_t micros)
{
    const std::uint64_t now = context_.clock->monotonicMicros();
    scheduleStartMicros_ += micros;
    for (const auto &entry : ports_)
        entry->nextDueMicros = std::max(entry->nextDueMicros, now) + micros;
}

void MonitorEngine::roundCheckEnded(const CheckSlot &slot)
{
    if (!slot.testRound() && slot.round == pollRound_ && roundOutstanding_ > 0)
        --roundOutstanding_;
}

void MonitorEngine::sayStatusChanges()
{
    std::vector<StatusChange> changes;
    changes.swap(statusChanges_);
    if (!changes.empty())
        listener_.statusChanged(changes);
}

namespace {
std::uint64_t shownMicros(const MonitorPort &entry)
{
    return entry.responseMicros ? entry.responseMicros : std::uint64_t(entry.responseTime) * 1000u;
}
} // namespace

void MonitorEngine::logCheck(const MonitorPort &entry, const char *outcome, std::uint64_t micros,
                          const FailureReason &reason) const
{
    if (!context_.verbose)
        return;
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    if (seconds != stampSecond_) {
        const std::tm local = localTime(seconds);
        if (std::strftime(stamp_, sizeof stamp_, "%Y-%m-%d %H:%M:%S", &local) == 0)
            stamp_[0] = '\0';
        stampSecond_ = seconds;
    }
    // A failed check's line has a fifth field, its reason; others have four.
    const std::string why = reason.failed() ? reasonText(reason) : std::string();
    // The time in milliseconds with three decimals, from whole numbers: a
    // line for each check, and printing a double costs several times more.
    std::fprintf(stderr, "%s.%03d\t%s\t%s\t%llu.%03u%s%s\n", stamp_, static_cast<int>(millis),
                 escapeControls(entry.name).c_str(), outcome, static_cast<unsigned long long>(micros / 1000),
                 static_cast<unsigned>(micros % 1000), reason.failed() ? "\t" : "", why.c_str());
}

void MonitorEngine::logStatus(const MonitorPort &entry, PortStatus before) const
{
    (void)before;
    // One kind of line per mode: --verbose has a line for every check.
    if (context_.verbose)
        return;
    const std::time_t now = static_cast<std::time_t>(context_.clock->nowSeconds());
    const std::tm local = localTime(now);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    const std::string reason =
        entry.status == Failed && entry.lastReason.failed() ? ", reason: " + reasonText(entry.lastReason) : "";
    std::fprintf(stderr, "%s %s: %s, errors %u, response %.3f ms%s\n", stamp, escapeControls(entry.name).c_str(),
                 statusName(entry.status), entry.errorCount, static_cast<double>(shownMicros(entry)) / 1000.0,
                 reason.c_str());
}

} // namespace vigilon
