// SPDX-License-Identifier: MIT
#pragma once

#include "store/Registry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vigilon::shipped {

// Wine for a whole run of shipped_bench --wine: a prefix of the run's own
// (made once, which takes seconds), its server started by us and kept until
// the end, an X display of its own (Wine makes no windows without one, and
// the program's frame window is one), Vigilon.exe and shipped_ask.exe
// copied into it, and shipped_ask.exe already running, so that neither its
// start nor the prefix's is timed. Every Wine process of the run is kept to
// one core. Ending it ends them all and removes the prefix.
class WineSession {
public:
    // program: Vigilon.exe; asker: shipped_ask.exe. Null, with error told,
    // when Wine is missing or does not start.
    static std::unique_ptr<WineSession> start(const std::string &program, const std::string &asker,
                                              std::string &error);
    ~WineSession();
    WineSession(const WineSession &) = delete;
    WineSession &operator=(const WineSession &) = delete;

    // What wine --version says.
    const std::string &version() const { return version_; }
    // The program's key of the prefix's registry replaced by what store
    // holds under it (as the settings' own save wrote it), and the history
    // of the run before removed.
    bool writeStore(reg::Registry &store, std::string &error);
    // In a child made by fork() that is to become the program: its working
    // folder, then Vigilon.exe -service --verbose under Wine. Returns only
    // when the exec failed. Async-signal-safe.
    void execProgram() const;
    // A message sent to the program's frame window until its loop has
    // served it, waited for at most timeoutMs: the microseconds it took, 0
    // when there is no frame window yet or no answer came.
    std::uint64_t ask(unsigned timeoutMs);
    // WM_CLOSE posted to the frame window, as the service host ends the
    // program; false when there was none.
    bool postClose();
    // Wine's server, which does much of a socket's work.
    pid_t serverPid() const { return server_; }

private:
    WineSession() = default;
    // Starts a Wine program (or the server) with the session's environment.
    pid_t spawn(const std::vector<std::string> &argv, int in, int out, int err = -1) const;
    bool runWine(const std::vector<std::string> &args, unsigned timeoutMs) const;
    bool askerLine(std::string &line, unsigned timeoutMs);

    std::string wine_, wineserver_, prefix_, folder_;
    std::string version_;
    pid_t xvfb_ = -1, server_ = -1, asker_ = -1;
    // The core every Wine process of the run is kept to; -1: any.
    int core_ = -1;
    int askerIn_ = -1, askerOut_ = -1;
    std::string askerPending_;
    bool askerBroken_ = false;
    // The environment and command lines, made before any fork.
    std::vector<std::string> environment_;
    std::vector<char *> envp_;
    std::vector<std::string> programArgs_;
    std::vector<char *> programArgv_;
};

} // namespace vigilon::shipped
