// SPDX-License-Identifier: MIT
#pragma once

#include "base/EventLoop.h"
#include "base/Prompter.h"
#include "app/platform/Launcher.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vigilon {

// The placeholder of an alert command, replaced by the target host; only
// this exact spelling counts.
constexpr const char *kTargetPlaceholder = "%TARGET%";

// Whether a command is a program to start rather than a document to open:
// its lower-case text holds ".exe", ".com", ".bat" or ".cmd" anywhere.
bool hasProgramExtension(const std::string &command);

// The directory a program starts in: the command line's text before its
// last backslash (and, on POSIX, before its last slash when that comes
// later); empty when there is none.
std::string commandDirectory(const std::string &commandLine);

// The program's arguments: the command split first, then "%TARGET%"
// replaced inside each argument, so that the target can neither add nor
// join arguments.
std::vector<std::string> commandArguments(const std::string &command, const std::string &targetHost);

// Whether a program would run through the Windows command interpreter (a
// ".bat" or ".cmd" file, or the interpreter itself), whose own parsing no
// quoting makes safe.
bool runsInCommandInterpreter(const std::string &program);
// Whether a text holds anything that interpreter gives a meaning to.
bool unsafeForCommandInterpreter(const std::string &text);

// How many alerts may wait for a running alert program to end.
constexpr std::size_t kMaxWaitingAlerts = 1000;

// The frame's alert commands. A program (see hasProgramExtension; on POSIX
// also a command whose first word names an executable file) is started with
// "%TARGET%" replaced; any other command is opened unchanged as a document
// or URL. When neither works the failure message is shown.
//
// While the launcher runs as many children as it allows, further commands
// wait in order and each starts once one of those has ended. At most
// maxWaiting wait; one beyond them is not run, and the first of those since
// the queue last emptied is said in a message.
class CommandRunner {
public:
    CommandRunner(Prompter &prompter, std::unique_ptr<platform::Launcher> launcher,
                  std::function<std::string()> targetHost, std::size_t maxWaiting = kMaxWaitingAlerts);
    ~CommandRunner();
    CommandRunner(const CommandRunner &) = delete;
    CommandRunner &operator=(const CommandRunner &) = delete;

    // Returns 0 when the command was started, handed to the opener or put
    // in the queue (or is empty), 1 when it failed or the queue was full and
    // the message was shown.
    // environment: set for the program (or the opener of the document)
    // besides what it inherits. host, when given, is what "%TARGET%" stands
    // for (an entry's own host) in place of the target host.
    int runCommand(const std::string &given, const platform::Environment &environment = {},
                   const std::string *host = nullptr);

    // Commands waiting for a running alert program to end.
    std::size_t waitingCount() const { return waiting_.size(); }

    platform::Launcher &launcher() { return *launcher_; }

private:
    // A command with what it is run with; target: what "%TARGET%" stands
    // for, fixed when the command came.
    struct Alert {
        std::string command;
        platform::Environment environment;
        std::string target;
    };
    enum class Start { Started, Busy, Failed };

    Start start(const Alert &alert);
    Start launchProcess(const Alert &alert);
    void startWaiting();
    void showFailure(const std::string &shownCommand);
    std::string targetOf(const std::string *host) const;

    Prompter &prompter_;
    std::unique_ptr<platform::Launcher> launcher_;
    std::function<std::string()> targetHost_;
    std::size_t maxWaiting_;
    std::deque<Alert> waiting_;
    // Alerts not run for a full queue since it last emptied.
    std::size_t dropped_ = 0;
    // Inside startWaiting: an end reported meanwhile is seen by its loop.
    bool starting_ = false;
    // Late reports from the opener check this before they touch the runner.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The frame's runCommand on this system's launcher: starts an entry's alert
// command with "%TARGET%" replaced by the current target host, or opens it
// as a document, and shows the failure message when neither works. Returns 0
// when it was started. Children are reaped on loop.
std::function<int(const std::string &command)> makeCommandRunner(Prompter &prompter, EventLoop &loop,
                                                                 std::function<std::string()> targetHost);

// The same on a given launcher.
std::function<int(const std::string &command)> makeCommandRunner(Prompter &prompter,
                                                                 std::unique_ptr<platform::Launcher> launcher,
                                                                 std::function<std::string()> targetHost);

// The same for alerts whose programs are also told about the failure in
// their environment; host is the failed entry's (see runCommand).
using AlertRunner =
    std::function<int(const std::string &command, const std::string &host, const platform::Environment &environment)>;
AlertRunner makeAlertRunner(Prompter &prompter, EventLoop &loop, std::function<std::string()> targetHost);

} // namespace vigilon
