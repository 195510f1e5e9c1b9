// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace vigilon {

class EventLoop;

// What this system does to install or remove the service host (Vigilsvc)
// for the user, as "vigilsvc -install" and "-remove" do.
class ServiceHostSetup {
public:
    virtual ~ServiceHostSetup() = default;
    // The service host's program as the user may know it (for messages).
    virtual std::string programName() const = 0;
    // Whether the service host is installed now.
    virtual bool installed() = 0;
    // How a run of the service host went: whether it ran at all (else the
    // system's words for why not) and what it printed.
    struct Run {
        bool ran = false;
        std::string error;
        std::string output;
    };
    // Runs the service host with "-install" (install) or "-remove", without
    // waiting: done receives the outcome later, on the event loop. False
    // when the run could not even be begun (done is not called then).
    virtual bool run(bool install, std::function<void(const Run &)> done) = 0;
    // Why this system cannot keep the service host for the user at all
    // (Linux: no systemd user manager runs), in the interface's language;
    // empty when it can. Asked once a change has failed, to say that in this
    // system's own words rather than the service host's.
    virtual std::string unavailable() const { return {}; }
    // Whether the running program was started by the service host and is
    // left running when the service host is removed (it then says so).
    virtual bool leavesThisProgramRunning() const { return false; }

protected:
    // Hands the outcome to done from the loop, never from inside run();
    // done is emptied, so that it is told once.
    static void tellLater(EventLoop &loop, std::function<void(const Run &)> &done, const Run &run);
};

// The service host for this system's program, beside the program's own
// executable (or where VIGILON_VIGILSVC names it); null where there is none.
std::unique_ptr<ServiceHostSetup> makeServiceHostSetup(EventLoop &loop);

// Why an install (install) or removal failed, in the interface's language,
// for a message box; empty when the service host is now as asked.
std::string autostartFailure(bool install, bool installedNow, const ServiceHostSetup::Run &run,
                             const std::string &program);

// Autostart as the main dialog's check box changes it: one change at a
// time, each judged by the state the system reports afterwards.
class Autostart {
public:
    explicit Autostart(ServiceHostSetup *setup) : setup_(setup) {}
    bool available() const { return setup_ != nullptr; }
    bool busy() const { return *busy_; }
    bool installed() const { return setup_ && setup_->installed(); }
    // done(installed now, message) on the event loop: why the change failed,
    // or what a removal means for the running program, or empty. False,
    // and done is not called, while a change is under way or where there is
    // no service host.
    using Done = std::function<void(bool installed, const std::string &failure)>;
    bool change(bool install, Done done);

private:
    ServiceHostSetup *setup_;
    // Shared with the run under way, which may end after this object.
    std::shared_ptr<bool> busy_ = std::make_shared<bool>(false);
};

} // namespace vigilon
