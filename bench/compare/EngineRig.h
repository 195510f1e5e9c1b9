// SPDX-License-Identifier: MIT
#pragma once

#include "tests/support/FrameTestPeer.h"
#include "app/MainFrame.h"
#include "base/PollEventLoop.h"
#include "store/MemoryRegistry.h"
#include "probes/SystemProbeFactory.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vigilon::bench {

// Vigilon's engine as the program runs it: the main frame on a poll loop
// (or on the loop given, as the Windows build's loop of window messages),
// the system's probes and an in-memory store, with windows that do nothing.
// Results are counted on their way from the probes to the frame.
class EngineRig {
public:
    struct Entry {
        std::uint32_t port = 0;
        ProbeProtocol protocol = GenericTcp;
    };

    // Runs the loop until done() holds or timeoutMs have passed.
    using RunUntil = std::function<void(const std::function<bool()> &done, unsigned timeoutMs)>;

    // On a poll loop of the rig's own.
    EngineRig(const std::vector<Entry> &entries, const std::string &targetHost);
    // On the loop given, which outlives the rig.
    EngineRig(const std::vector<Entry> &entries, const std::string &targetHost, EventLoop &loop, RunUntil runUntil);
    ~EngineRig();
    EngineRig(const EngineRig &) = delete;
    EngineRig &operator=(const EngineRig &) = delete;

    bool created() const { return created_; }
    // The first round, as "start monitoring" runs it (no question asked).
    void startMonitoring();
    // A later round, as the poll timer runs it.
    void runRound();
    // Runs the loop until `results` results have come in since the last
    // resetCount(), or timeoutMs pass; false on the time limit.
    bool waitForResults(std::size_t results, unsigned timeoutMs);

    void resetCount();
    std::size_t resultCount() const;
    std::size_t failureCount() const;
    // Monotonic time of the last result, microseconds.
    std::uint64_t lastResultMicros() const;
    // Message boxes the frame showed (none are expected).
    std::size_t questionsAsked() const;

    MonitorPort &entry(std::size_t index) { return *FrameTestPeer::ports(*frame_).at(index); }
    // Runs the loop for timeoutMs.
    void idle(unsigned timeoutMs);

private:
    class Parts;
    EngineRig(const std::vector<Entry> &entries, const std::string &targetHost, std::unique_ptr<PollEventLoop> own);

    // Declared first: it outlives the frame.
    std::unique_ptr<PollEventLoop> ownLoop_;
    EventLoop &loop_;
    RunUntil runUntil_;
    reg::MemoryRegistry registry_;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<CMainFrame> frame_;
    bool created_ = false;
};

// The response times of rounds of every entry at once, as the engine runs
// them: times[entry] holds one value in ms per successful check; failed
// checks are counted in failures. Between rounds the loop idles 1 ms.
// roundsMs: per round, from its start to its last result.
struct RoundTimes {
    std::vector<std::vector<double>> times;
    std::size_t failures = 0;
    std::vector<double> roundsMs;
};
RoundTimes runRounds(EngineRig &rig, std::size_t entries, unsigned rounds);

} // namespace vigilon::bench
