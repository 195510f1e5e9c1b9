// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vigilon::svc {

// The outcome of a helper program run to its end.
struct ProgramResult {
    bool started = false; // false: it could not be run at all (startError says why)
    int startError = 0;
    bool timedOut = false;
    int exitStatus = -1;  // 0..255, or 128 + signal when it was killed
    std::string output;   // standard output
    std::string errors;   // standard error
    bool ok() const { return started && !timedOut && exitStatus == 0; }
};

// Runs argv (argv[0] looked up on PATH) with standard input from /dev/null,
// collecting its output, and waits for it at most timeoutMs; a program still
// running then is killed.
ProgramResult runProgram(const std::vector<std::string> &argv, std::uint32_t timeoutMs = 15000);

// A Vigilon process started by Vigilsvc.
class CMonitorProcess {
public:
    CMonitorProcess() = default;
    CMonitorProcess(const CMonitorProcess &) = delete;
    CMonitorProcess &operator=(const CMonitorProcess &) = delete;
    ~CMonitorProcess();

    // Starts path with the single argument "-service" in directory dir, with
    // environment env ("NAME=value" entries), in a process group of its own
    // so that a Ctrl-C on Vigilsvc's terminal does not reach it. Returns
    // false (errno set) when it could not be started.
    bool start(const std::string &path, const std::string &dir, const std::vector<std::string> &env);

    // True while the process runs; an ended process is reaped here.
    bool running();

    // Sends SIGTERM and, if the process still runs after graceMs, SIGKILL;
    // returns once it has been reaped. Does nothing when no process runs, so
    // a pid that the system has reused is never signalled.
    void end(std::uint32_t graceMs);

    pid_t pid() const { return pid_; }
    // A descriptor that polls readable once the process has ended; -1 when
    // none runs or the system has none to give.
    int endFd() const { return pidfd_; }
    // How the last process reaped ended: "exit status N" or "signal N".
    const std::string &endText() const { return endText_; }

private:
    void reaped(int status);

    pid_t pid_ = -1;
    int pidfd_ = -1;
    std::string endText_;
};

} // namespace vigilon::svc
