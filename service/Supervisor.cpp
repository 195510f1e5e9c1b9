// SPDX-License-Identifier: MIT
#include "service/Supervisor.h"

#include <algorithm>
#include <chrono>

namespace vigilon::svc {

bool CSupervisor::launchMonitor()
{
    if (!host_.reportServiceStatus(ServiceState::StartPending, 0, 3000))
        return false;
    if (!host_.startMonitor())
        return false; // nothing is logged; the next round tries again
    host_.logServiceEvent(EventType::Information, ssid::ServiceStarted);
    return host_.reportServiceStatus(ServiceState::Running, 0, 0);
}

bool CSupervisor::superviseMonitor()
{
    state_ = SupervisorState::Starting;
    // A withheld first start, or one that failed where the host now
    // withholds Vigilon: the service runs, and the loop starts Vigilon once
    // it may, as after an end without a pause.
    const bool withheldAtOnce = host_.monitorWithheld();
    bool started = !withheldAtOnce && launchMonitor();
    const bool withheld = !started && (withheldAtOnce || host_.monitorWithheld());
    if (withheld)
        started = host_.reportServiceStatus(ServiceState::Running, 0, 0);
    if (started) {
        std::uint64_t startedAt = host_.nowMs();
        std::uint32_t pauseMs = roundMs_;
        bool ended = withheld;   // Vigilon has ended and waits for its restart
        std::uint64_t restartAt = withheld ? startedAt + roundMs_ : 0;
        bool endedByUs = false;  // for a logon: started again without a pause
        for (;;) {
            std::uint32_t waitMs = roundMs_;
            if (ended) {
                const std::uint64_t now = host_.nowMs();
                waitMs = restartAt <= now ? 0 : static_cast<std::uint32_t>(std::min<std::uint64_t>(restartAt - now, roundMs_));
            }
            if (host_.waitForStop(waitMs))
                state_ = SupervisorState::Stopping;
            if (state_ == SupervisorState::Stopping)
                break;

            // "Logon" is looked at only while Vigilon runs: a logon seen by a
            // Vigilon that has ended already needs no restart of its own.
            if (!ended && host_.monitorRunning()) {
                state_ = SupervisorState::Watching;
                if (host_.takeLogonFlag() != 0 || host_.monitorMisplaced()) {
                    host_.endMonitor(); // started again once it is seen ended
                    endedByUs = true;
                }
                continue;
            }
            const std::uint64_t now = host_.nowMs();
            if (!ended) {
                ended = true;
                restartAt = now;
                // One that ended with its session (a logoff) needs no pause.
                if (!endedByUs && !host_.monitorMisplaced()) {
                    const std::uint64_t ranMs = now - startedAt;
                    if (ranMs >= std::uint64_t(roundMs_) * kSettledRunRounds)
                        pauseMs = roundMs_;
                    restartAt = now + pauseMs;
                    std::string how = host_.monitorEndText();
                    host_.logServiceText(EventType::Warning,
                                         "Vigilon ended after " + std::to_string(ranMs / 1000) + " s" +
                                             (how.empty() ? std::string() : " (" + how + ")") +
                                             "; starting it again in " + std::to_string(pauseMs / 1000) + " s");
                    pauseMs = std::min(pauseMs * 2, roundMs_ * kLongestPauseRounds);
                }
            }
            if (now < restartAt)
                continue;
            state_ = SupervisorState::Watching;
            if (host_.monitorWithheld()) {
                restartAt = now + roundMs_;
                continue;
            }
            if (launchMonitor()) {
                ended = false;
                endedByUs = false;
                startedAt = host_.nowMs();
            } else {
                // A failed start is tried again next round. The service
                // itself still runs, and says so, so that it can be stopped
                // meanwhile (a pending start accepts no stop request).
                host_.reportServiceStatus(ServiceState::Running, 0, 0);
                restartAt = now + roundMs_;
            }
        }
        host_.endMonitor();
    }
    host_.logServiceEvent(EventType::Information, ssid::ServiceStopped);
    return started;
}

std::uint64_t SupervisorHost::nowMs()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

void SupervisorHost::logServiceText(EventType, const std::string &) {}

} // namespace vigilon::svc
