// SPDX-License-Identifier: MIT
// Autostart: the service host installed or removed for the user.
#include "app/Autostart.h"

#include "base/EventLoop.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"

namespace vigilon {

namespace {
std::string trimmed(const std::string &text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}
} // namespace

void ServiceHostSetup::tellLater(EventLoop &loop, std::function<void(const Run &)> &done, const Run &run)
{
    auto told = std::move(done);
    done = nullptr;
    loop.post([told, run] {
        if (told)
            told(run);
    });
}

std::string autostartFailure(bool install, bool installedNow, const ServiceHostSetup::Run &run,
                             const std::string &program)
{
    if (run.ran && installedNow == install)
        return {};
    std::string why;
    if (!run.ran)
        why = formatText(loadString(sid::AutostartNotRun), {program, run.error});
    else if (const std::string printed = trimmed(run.output); !printed.empty())
        // The service host says why in the same language.
        why = printed;
    else
        why = formatText(loadString(sid::AutostartNoEffect), {program});
    return formatText(loadString(install ? sid::AutostartOnFailed : sid::AutostartOffFailed), {why});
}

bool Autostart::change(bool install, Done done)
{
    if (!setup_ || *busy_)
        return false;
    *busy_ = true;
    ServiceHostSetup *setup = setup_;
    const std::string program = setup->programName();
    std::weak_ptr<bool> busy = busy_;
    const bool begun = setup->run(install, [setup, busy, install, program, done](const ServiceHostSetup::Run &run) {
        const auto flag = busy.lock();
        if (!flag)
            return;
        *flag = false;
        const bool now = setup->installed();
        std::string failure = autostartFailure(install, now, run, program);
        if (!failure.empty())
            if (const std::string why = setup->unavailable(); !why.empty())
                failure = formatText(loadString(install ? sid::AutostartOnFailed : sid::AutostartOffFailed), {why});
        // Removed from inside the Vigilon it started: that one goes on.
        if (failure.empty() && !install && setup->leavesThisProgramRunning())
            failure = loadString(sid::AutostartOffStillRunning);
        if (done)
            done(now, failure);
    });
    if (!begun)
        *busy_ = false;
    return begun;
}

} // namespace vigilon
