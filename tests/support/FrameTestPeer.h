// SPDX-License-Identifier: MIT
#pragma once

#include "app/MainFrame.h"

namespace vigilon {

// What tests, benchmarks and the screenshot tools may reach inside the
// frame beyond its face: the entries themselves, the engine and the checks
// under way.
class FrameTestPeer {
public:
    static PortList &ports(CMainFrame &frame) { return frame.ports_; }
    static MonitorEngine &engine(CMainFrame &frame) { return frame.engine_; }
    static GraphWindows &graphs(CMainFrame &frame) { return *frame.graphs_; }
    static const ProbeList &pendingProbes(CMainFrame &frame)
    {
        return frame.engine_.pendingProbes_;
    }
};

} // namespace vigilon
