// SPDX-License-Identifier: MIT
#pragma once

#include "base/CommandLine.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vigilon {

class CMainFrame;
class ChannelService;
class Clock;
class EventLoop;
class FrameUi;
class MetricsService;
class Monitor;
class CheckObserver;
class ProbeFactory;
class Prompter;
class ServiceHostSetup;
namespace reg {
class Registry;
}
namespace history {
class History;
}

// The one-instance guard of one system: a lock that one Vigilon holds and a
// way for a later start to reach the holder. What is done with it is the
// host's policy, the same everywhere.
class InstanceGuard {
public:
    virtual ~InstanceGuard() = default;
    // Takes the guard if nobody holds it. False when another Vigilon does,
    // or when it cannot be had at all (error() tells).
    virtual bool tryTake() = 0;
    // Waits as long as it takes for the holder to end. False when the guard
    // cannot be had (error() tells), or when a request to stop the program
    // ended the wait (error() empty): the program then ends with status 0.
    virtual bool waitToTake() = 0;
    // Asks the holder to show its main dialog; true when it answered.
    virtual bool askHolderToShow() = 0;
    // Once taken: later starts' requests run onShow on the event loop.
    // False (error() tells) when they cannot be served.
    virtual bool serve(std::function<void()> onShow) = 0;
    virtual const std::string &error() const = 0;
    // Where one Vigilon runs at most, for messages: "on this configuration
    // store", "in this session".
    virtual const char *scope() const = 0;
};

// The program's start and end, as every front end runs them: the
// one-instance policy, the store, the descriptor limit, the clock, the
// checks and the frame, showing the main dialog when a later start asks,
// and one orderly end (the configuration saved, "Logon" cleared, the tray
// icon removed) whichever way the program is ended. A front end brings its
// event loop, its prompter, its windows and its one-instance guard, and
// reaches the frame only through Monitor.
class ProgramHost {
public:
    explicit ProgramHost(const CommandLine &commandLine);
    ~ProgramHost();
    ProgramHost(const ProgramHost &) = delete;
    ProgramHost &operator=(const ProgramHost &) = delete;

    // A later start without "-service" has the holder show its dialog and
    // ends; with "-service" it waits its turn. Never without the guard: two
    // Vigilons on one configuration would overwrite each other's. True to go
    // on; false to end with exitStatus().
    bool becomeOnlyInstance(InstanceGuard &guard);
    // Raises the descriptor limit for the checks, opens the store and makes
    // the frame over the front end's parts, which must outlive the host.
    // False to end with exitStatus().
    bool start(EventLoop &loop, Prompter &prompter, FrameUi &ui);
    // Serves later starts' requests through the guard taken before.
    void serveLaterStarts(InstanceGuard &guard);
    void showMainDialog();
    // The orderly end, for every path: a frame still open ends now. Safe to
    // call more than once, and from the event loop: the frame stays, closed,
    // for whatever still asks it.
    void end();
    // Ends, then lets the frame go; once the event loop has returned.
    void release();

    // The frame; null before start() made it.
    Monitor *frame();
    const CommandLine &commandLine() const { return commandLine_; }
    // The configuration store this program opens, which the one-instance
    // guard is keyed on.
    static std::string storePath();
    // The clock of the program's windows and checks.
    static const Clock &clock();
    int exitStatus() const { return exitStatus_; }

private:
    // The frame over the parts made so far; null when it cannot be made.
    std::unique_ptr<CMainFrame> makeFrame(EventLoop &loop, Prompter &prompter, FrameUi &ui,
                                          const std::vector<CheckObserver *> &observers);

    CommandLine commandLine_;
    std::unique_ptr<reg::Registry> registry_;
    std::unique_ptr<ProbeFactory> probes_;
    std::unique_ptr<ServiceHostSetup> serviceHost_;
    // Made before the frame and let go after it: the frame tells it of
    // every check.
    std::unique_ptr<history::History> history_;
    // Outlives the frame, whose engine tells it of the checks.
    std::unique_ptr<MetricsService> metrics_;
    // Outlives the frame, which tells it of each round's changes.
    std::unique_ptr<ChannelService> channels_;
    std::unique_ptr<CMainFrame> frame_;
    int exitStatus_ = 0;
};

} // namespace vigilon
