// SPDX-License-Identifier: MIT
#pragma once

#include "tests/support/FrameTestPeer.h"
#include "app/MainFrame.h"
#include "app/base/PollEventLoop.h"
#include "app/store/MemoryRegistry.h"
#include "probes/SystemProbeFactory.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vigilon::bench {

// Vigilon's engine as the program runs it: the main frame on a poll loop,
// the system's probes and an in-memory store, with windows that do nothing.
// Results are counted on their way from the probes to the frame.
class EngineRig {
public:
    struct Entry {
        std::uint32_t port = 0;
        ProbeProtocol protocol = GenericTcp;
    };

    EngineRig(const std::vector<Entry> &entries, const std::string &targetHost);
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
    PollEventLoop &loop() { return loop_; }

private:
    class Parts;
    PollEventLoop loop_;
    reg::MemoryRegistry registry_;
    std::unique_ptr<Parts> parts_;
    std::unique_ptr<CMainFrame> frame_;
    bool created_ = false;
};

} // namespace vigilon::bench
