// SPDX-License-Identifier: MIT
// Opening an entry's response-time graph window.
#include "app/MainFrame.h"

#include "app/base/StringTable.h"

#include <algorithm>

namespace vigilon {

void CMainFrame::OpenResponseMonitor(MonitorPort &entry)
{
    if (!entry.active || entry.graphWindow)
        return;

    responseParams_ = ResponseGraphParams{};
    responseParams_.fontFace = loadString(sid::UiFontFace);
    responseParams_.showGraph = 1;
    responseParams_.warningThreshold = entry.threshold;
    responseParams_.alpha = 200;
    responseParams_.recordToFile = 0;
    responseParams_.fileName.clear();
    responseParams_.targetHost = context_.targetHost;
    responseParams_.sourceHost = localHostName_;
    responseParams_.seriesNames = entry.name;
    responseParams_.maxHistory = 200;

    // The dialog and the window's own messages nest the event loop; the
    // entry may be deleted, or the frame closed, before they return.
    auto stillThere = [this, &entry] {
        if (closed_)
            return false;
        return std::any_of(ports_.begin(), ports_.end(), [&entry](const auto &p) { return p.get() == &entry; });
    };

    if (!context_.ui->runResponseMonitorDialog(*this, responseParams_))
        return;
    if (!stillThere() || entry.graphWindow)
        return;

    std::unique_ptr<ResponseGraph> window = context_.ui->createResponseGraph(*this, responseParams_);
    if (!window) {
        context_.prompter->messageBox(loadString(sid::GraphCreateFailed), "", mb::Ok);
        return;
    }
    if (!stillThere() || entry.graphWindow)
        return;
    window->show();
    entry.graphWindow = std::move(window);
}

} // namespace vigilon
