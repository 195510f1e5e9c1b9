// SPDX-License-Identifier: MIT
// The monitoring engine: starting and stopping, rounds, and what each
// check's outcome does.
#include "app/MainFrame.h"

#include "app/MonitorRules.h"
#include "app/base/ResponseGraph.h"
#include "app/base/StringTable.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace vigilon {

int CMainFrame::toggleMonitoring(bool noConfirm)
{
    context_.probes->cancelPingCheck();
    context_.loop->killTimer(this, timers::IcmpGuard);

    const std::string &caption = loadString(sid::MonitoringCaption);
    unsigned textId = sid::ConfirmStartMonitoring;
    if (running_) {
        roundGuard_ = true;
        textId = sid::ConfirmStopMonitoring;
    }
    if (!noConfirm) {
        if (trayIcon_)
            trayIcon_->setItemEnabled(res::CmdToggleMonitoring, false);
        const int answer = context_.prompter->messageBox(loadString(textId), caption, mb::YesNo | mb::IconExclamation);
        if (trayIcon_)
            trayIcon_->setItemEnabled(res::CmdToggleMonitoring, true);
        if (answer == mb::IdNo || closed_) {
            roundGuard_ = false;
            return running_;
        }
    }
    roundGuard_ = false;

    if (running_) {
        running_ = false;
        context_.loop->killTimer(this, timers::Poll);
    } else {
        const bool anyActive =
            std::any_of(ports_.begin(), ports_.end(), [](const auto &entry) { return entry->active == 1; });
        if (!anyActive && !noConfirm) {
            context_.prompter->messageBox(loadString(sid::NoActivePortOnStart), "", mb::Ok);
            return 0;
        }
        running_ = true;
        startTime_ = context_.clock->nowSeconds();
        resetEntriesToIdle();
        runRound(Regular);
        // The round may have let the user stop again from a nested box.
        if (running_)
            armPollTimer();
    }

    updateTrayIcon(1, running_ ? res::IconRunning : res::IconStopped);
    if (trayIcon_)
        trayIcon_->setItemChecked(res::CmdToggleMonitoring, running_);
    return running_;
}

void CMainFrame::resetEntriesToIdle()
{
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        MonitorPort &entry = *ports_[i];
        setRowImage(static_cast<int>(i), ImageIdle);
        const PortStatus before = entry.status;
        entry.status = Idle;
        if (before != Idle)
            logStatus(entry, before);
    }
    updateTrayIcon(1, res::IconRunning);
}

void CMainFrame::armPollTimer()
{
    const unsigned periodMs = static_cast<unsigned>(std::min<std::uint64_t>(
        std::uint64_t(intervalSeconds_) * 1000u, std::uint64_t(0xFFFFFFFFu)));
    context_.loop->setTimer(this, timers::Poll, periodMs, [this] { onPollTimer(); });
}

void CMainFrame::onPollTimer()
{
    if (mainDialog_)
        mainDialog_->updateStatusText(running_);
    if (roundGuard_)
        return;
    roundGuard_ = true;
    runRound(Regular);
    roundGuard_ = false;
}

void CMainFrame::destroyPendingProbes()
{
    pendingProbes_.clear();
}

bool CMainFrame::noticeResume()
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
        if (record.probe->done() == 0)
            updateRow(*entry);
    }
    // The network is often not back in the first seconds after a resume.
    if (running_ && context_.loop->hasTimer(this, timers::Poll))
        armPollTimer();
    return true;
}

int CMainFrame::runRound(int kind)
{
    context_.loop->killTimer(this, timers::Poll);
    pendingProbes_.erase(std::remove_if(pendingProbes_.begin(), pendingProbes_.end(),
                                        [](const PendingProbe &p) { return p.probe->done() != 0; }),
                         pendingProbes_.end());

    const bool testRound = kind != Regular;
    // The first regular round after a resume waits one more interval.
    if (noticeResume() && !testRound) {
        if (running_)
            armPollTimer();
        return 1;
    }
    context_.probes->beginRound();
    int result = 1;
    // Indexes, not iterators: a nested message box may let the user change
    // the list while the round runs.
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        MonitorPort &entry = *ports_[i];
        entry.rowIndex = static_cast<int>(i);
        if (entry.active == 0)
            continue;
        setRowImage(static_cast<int>(i), ImageChecking);

        int outcome = 0;
        bool judgeNow = testRound;
        if (entry.protocol == Ping) {
            outcome = context_.probes->runPingCheck(context_.targetHost, entry, *this);
            judgeNow = true;
            if (outcome == ProbeFactory::PingNotMade) {
                // This system ran short, not the target: the check is missing.
                if (i < ports_.size() && ports_[i].get() == &entry)
                    updateRow(entry);
                continue;
            }
        } else {
            int probeKind = TcpProbeKind;
            if (entry.protocol == GenericUdp)
                probeKind = UdpProbeKind;
            else if (entry.protocol == Http)
                probeKind = HttpProbeKind;
            PendingProbe record;
            record.kind = probeKind;
            record.probe = context_.probes->makeSocketCheck(probeKind, kind, *this);
            if (!record.probe) {
                // No probe could be made: the check is missing from a
                // regular round and fails a port test.
                if (!testRound)
                    continue;
            } else {
                if (testRound)
                    outcomeFromStart_ = &entry;
                outcome = record.probe->start(entry.port, context_.targetHost, entry);
                outcomeFromStart_ = nullptr;
                const bool localFailure = outcome == 0 && record.probe->localFailure();
                if (outcome == 1)
                    pendingProbes_.push_back(std::move(record));
                // This system ran short, not the target: the check is missing.
                if (localFailure) {
                    setRowImage(static_cast<int>(i), entry.active ? int(entry.status) : int(ImageIdle));
                    continue;
                }
            }
        }
        if (closed_)
            return 0;
        const bool entryStays = i < ports_.size() && ports_[i].get() == &entry;
        // A synchronous check during which the machine slept is discarded,
        // and so is the rest of a regular round.
        if (judgeNow && noticeResume()) {
            if (entryStays)
                updateRow(entry);
            if (testRound)
                continue;
            break;
        }
        if (!judgeNow)
            continue;
        // The entry may have gone while a nested loop ran.
        if (!entryStays)
            continue;
        if (outcome == 1)
            handleSuccess(entry, &result);
        else
            handleFailure(entry, testRound, &result);
    }

    // A stop asked for from a nested message box during the round stands:
    // only a running monitor is armed again.
    if (kind == Regular && running_)
        armPollTimer();
    return result;
}

void CMainFrame::reportResult(int code, MonitorPort &entry)
{
    if (&entry == outcomeFromStart_)
        return;
    // Every check under way when a suspend is first seen spans it, this one
    // included.
    if (noticeResume()) {
        updateRow(entry);
        refreshTrayState();
        return;
    }
    switch (code) {
    case HttpOk:
    case TcpOk:
    case UdpOk:
        handleSuccess(entry, nullptr);
        break;
    case HttpFailed:
    case TcpFailed:
    case UdpFailed:
        handleFailure(entry, false, nullptr);
        break;
    default:
        break;
    }
    refreshTrayState();
}

void CMainFrame::handleSuccess(MonitorPort &entry, int *roundResult)
{
    const PortStatus before = entry.status;
    const bool warning = applySuccess(entry);
    if (warning && roundResult && *roundResult == 1)
        *roundResult = 2;
    logCheck(entry, warning ? "Warning" : "Ok");
    if (entry.graphWindow)
        entry.graphWindow->AddSample(entry.responseTime);
    updateRow(entry);
    if (entry.status != before)
        logStatus(entry, before);
}

void CMainFrame::handleFailure(MonitorPort &entry, bool testRound, int *roundResult)
{
    setRowImage(entry.rowIndex, ImageError);
    const PortStatus before = entry.status;
    const FailureVerdict verdict = applyFailure(entry, retryLimit_, testRound, context_.clock->nowSeconds());
    if (roundResult)
        *roundResult = 0;
    logCheck(entry, verdict == FailureVerdict::Tolerated ? "Retry" : "Failed");
    if (verdict == FailureVerdict::Tolerated)
        return;
    if (entry.graphWindow)
        entry.graphWindow->AddSample(0);
    if (entry.status != before)
        logStatus(entry, before);
    updateRow(entry);
    if (verdict == FailureVerdict::DeclaredAndAlert && context_.runCommand) {
        // The command's failure message nests the loop; keep a copy.
        const std::string command = entry.command;
        context_.runCommand(command);
    }
}

void CMainFrame::forgetEntry(MonitorPort &entry)
{
    for (auto &record : pendingProbes_) {
        if (record.probe->entry() == &entry)
            record.probe->detachEntry();
    }
    if (outcomeFromStart_ == &entry)
        outcomeFromStart_ = nullptr;
}

void CMainFrame::closeResponseGraph(const ResponseGraph *window)
{
    for (auto &entry : ports_) {
        if (entry->graphWindow.get() == window) {
            entry->graphWindow.reset();
            return;
        }
    }
}

void CMainFrame::setRowImage(int row, int image)
{
    if (mainDialog_)
        mainDialog_->setRowImage(row, image);
}

void CMainFrame::updateRow(MonitorPort &entry)
{
    if (mainDialog_)
        mainDialog_->updateRow(entry.rowIndex, entry);
}

namespace {
std::uint64_t shownMicros(const MonitorPort &entry)
{
    return entry.responseMicros ? entry.responseMicros : std::uint64_t(entry.responseTime) * 1000u;
}
} // namespace

void CMainFrame::logCheck(const MonitorPort &entry, const char *outcome) const
{
    if (!context_.verbose)
        return;
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(stderr, "%s.%03d\t%s\t%s\t%.3f\n", stamp, static_cast<int>(millis), entry.name.c_str(), outcome,
                 static_cast<double>(shownMicros(entry)) / 1000.0);
}

void CMainFrame::logStatus(const MonitorPort &entry, PortStatus before) const
{
    (void)before;
    const std::time_t now = static_cast<std::time_t>(context_.clock->nowSeconds());
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(stderr, "%s %s: %s, errors %u, response %.3f ms\n", stamp, entry.name.c_str(),
                 statusName(entry.status), entry.errorCount, static_cast<double>(shownMicros(entry)) / 1000.0);
}

} // namespace vigilon
