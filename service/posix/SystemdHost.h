// SPDX-License-Identifier: MIT
#pragma once

#include "store/Registry.h"
#include "service/ServiceStrings.h"
#include "service/Supervisor.h"
#include "service/posix/Process.h"

#include <functional>
#include <memory>
#include <string>

namespace vigilon::svc {

using RegistryFactory = std::function<std::unique_ptr<reg::Registry>()>;

struct HostOptions {
    bool debugMode = false;
    std::string monitorPath;   // the vigilon program
    std::string monitorDir;    // its working directory
    // Opens the store afresh for every look at "Logon", so that a store file
    // replaced meanwhile is never written through a stale handle.
    RegistryFactory openRegistry;
    std::uint32_t graceMs = 2000; // from SIGTERM to SIGKILL when ending Vigilon
    Language language = Language::English;
};

// The watch loop's platform on Linux: a systemd user service. The stop
// request is a pipe that the signal handlers (SIGTERM, and SIGINT for a
// console run) write to; states go to systemd's notification socket; events
// go to syslog under the ident "Vigilsvc".
class CSystemdHost final : public SupervisorHost {
public:
    explicit CSystemdHost(HostOptions options);
    ~CSystemdHost() override;
    CSystemdHost(const CSystemdHost &) = delete;
    CSystemdHost &operator=(const CSystemdHost &) = delete;

    // Routes SIGTERM and SIGINT (and SIGHUP in debug mode) of the process to
    // this host's stop request. In debug mode a signal first prints string 7
    // on standard output.
    void installSignalHandlers();
    // Asks the watch loop to stop; safe from any thread.
    void requestStop();

    // Also returns (false) as soon as Vigilon ends, which is then reaped.
    bool waitForStop(std::uint32_t ms) override;
    bool startMonitor() override;
    bool monitorRunning() override;
    void endMonitor() override;
    std::uint32_t takeLogonFlag() override;
    bool reportServiceStatus(ServiceState state, std::uint32_t exitCode, std::uint32_t waitHintMs) override;
    void logServiceEvent(EventType type, unsigned stringId) override;
    std::string monitorEndText() override { return monitor_.endText(); }
    void logServiceText(EventType type, const std::string &text) override;

private:
    bool notify(const std::string &message);

    HostOptions options_;
    CMonitorProcess monitor_;
    int stopRead_ = -1;
    int stopWrite_ = -1;
    bool stopReported_ = false;
    bool readySent_ = false;
    std::string stoppingText_; // string 7, printed by the signal handler
};

// The full path of this executable, or empty (errno set).
std::string ownExecutablePath();

// The directory part of a path (without the last slash).
std::string directoryOf(const std::string &path);

} // namespace vigilon::svc
