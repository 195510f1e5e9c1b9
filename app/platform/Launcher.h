// SPDX-License-Identifier: MIT
#pragma once

#include "base/EventLoop.h"
#include "base/System.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vigilon::platform {

// Variables set in a child's environment besides those it inherits: name,
// value.
using Environment = std::vector<std::pair<std::string, std::string>>;

// A program to start. arguments[0] names the program; the rest are its
// arguments, already final. directory: where it starts; empty, or a
// directory that cannot be entered, means our own current directory.
struct ProgramStart {
    std::vector<std::string> arguments;
    std::string directory;
    Environment environment;
};

enum class LaunchResult {
    Started,
    Failed,  // the system refused; error holds its code
    TooMany, // the limit of programs running at once is reached
};

struct LaunchOutcome {
    LaunchResult result = LaunchResult::Failed;
    int error = 0;
    // openDocument: the desktop's opener is not installed.
    bool openerMissing = false;
    bool started() const { return result == LaunchResult::Started; }
};

// Starts programs and opens documents for the alert commands and the help
// page. Nothing is waited for; every child is reaped when it ends, by its own
// process id, on the event loop. Children outlive the launcher: dropping it
// neither ends nor forgets them.
class Launcher {
public:
    virtual ~Launcher() = default;

    // Starts a program in a session of its own with no descriptor of ours
    // except the standard three, at a higher priority where the system allows
    // it.
    virtual LaunchOutcome startProgram(const ProgramStart &start) = 0;

    // Opens a document or URL with the desktop's opener. The opener may only
    // tell later that it could not open it: then onLateFailure runs on the
    // event loop. Failed when the opener itself cannot be started.
    // environment: as for a program, for whatever opens it.
    virtual LaunchOutcome openDocument(const std::string &target, std::function<void()> onLateFailure,
                                       const Environment &environment = {}) = 0;

    // Whether word names a program file that can be run (a path, or a name
    // found on PATH). Where programs carry an extension this is left to the
    // extension and always false.
    virtual bool namesProgram(const std::string &word) const = 0;

    // Programs of this launcher that have not been reaped yet.
    virtual std::size_t runningCount() const = 0;

    // Runs onEnded on the event loop each time a child of this launcher (a
    // program or an opener) has ended, once runningCount() no longer counts
    // it; empty: nothing runs. onEnded may start programs. It is dropped with
    // the launcher.
    virtual void setChildEnded(std::function<void()> onEnded) = 0;
    // Where alert commands may not be run from now: the place that holds
    // them when users other than the administrators may change it (whoever
    // runs the command would run what another user wrote). Empty when they
    // may run.
    virtual std::string commandsRefusedFrom() const { return {}; }
};

// Why a document could not be opened when LaunchOutcome::openerMissing.
constexpr const char *kNoOpenerText =
    kWindowsBuild ? "no program is associated with it"
                  : "no program to open documents with is installed (xdg-open, from the Debian package xdg-utils)";

struct LauncherOptions {
    // At most this many children of one launcher run at once.
    std::size_t maxRunning = 16;
    // The desktop's opener (POSIX): a path or a name found on PATH.
    std::string opener = "xdg-open";
    // Watch children with a short timer instead of process descriptors
    // (used where those are missing, and by tests of that path).
    bool pollForExit = false;
};

std::unique_ptr<Launcher> makeSystemLauncher(EventLoop &loop, const LauncherOptions &options = {});

// Whether this system's programs are started through names with extensions
// and command lines (Windows) rather than executable files and argument
// vectors.
constexpr bool kWindowsCommandLines = kWindowsBuild;

} // namespace vigilon::platform
