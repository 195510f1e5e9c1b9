// SPDX-License-Identifier: MIT
#include "service/Supervisor.h"

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
    const bool started = launchMonitor();
    if (started) {
        for (;;) {
            if (host_.waitForStop(roundMs_))
                state_ = SupervisorState::Stopping;
            if (state_ == SupervisorState::Stopping)
                break;

            // "Logon" is looked at only while Vigilon runs: a logon seen by a
            // Vigilon that has ended already needs no restart of its own.
            bool running = false;
            if (host_.monitorRunning()) {
                running = true;
                if (host_.takeLogonFlag() != 0)
                    host_.endMonitor(); // still counts as running this round
            }

            if (state_ == SupervisorState::Watching) {
                // A failed start is tried again next round. The service
                // itself still runs, and says so, so that it can be stopped
                // meanwhile (a pending start accepts no stop request).
                if (!running && !launchMonitor())
                    host_.reportServiceStatus(ServiceState::Running, 0, 0);
            } else if (running) {
                // A Vigilon that ends during the first round is not started
                // again: it would most likely fail the same way at once.
                state_ = SupervisorState::Watching;
            }
        }
        host_.endMonitor();
    }
    host_.logServiceEvent(EventType::Information, ssid::ServiceStopped);
    return started;
}

} // namespace vigilon::svc
