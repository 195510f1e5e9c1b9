// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "base/Prompter.h"
#include "base/ResponseGraph.h"
#include "base/WindowLayout.h"
#include "graph/ResponseGraphParams.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace vigilon {

// The entries' graph windows, as the frame keeps them: at most one per
// entry, known by the entry's id. The windows themselves are made by the
// front end (see Makers); what happens on the way to one is the same
// everywhere.
class DialogFace;

class GraphWindows {
public:
    // How often an open window asks for its entry's uptimes again.
    static constexpr unsigned kUptimeTimerId = 1;
    static constexpr unsigned kUptimeRefreshMs = 60000;

    // What the windows are made of: the front end's (see FrameUi).
    using Makers = GraphWindowMakers;

    GraphWindows(Makers &makers, Prompter &prompter);
    ~GraphWindows();
    GraphWindows(const GraphWindows &) = delete;
    GraphWindows &operator=(const GraphWindows &) = delete;

    // The settings dialog on defaults, then the window, shown. Nothing when
    // the entry has one already, when the dialog is cancelled, or when
    // stillWanted() says no once the dialog is over. A window that cannot be
    // made is said so (message 256).
    void open(std::uint32_t entryId, const ResponseGraphParams &defaults, const std::function<bool()> &stillWanted);
    bool isOpen(std::uint32_t entryId) const { return windows_.count(entryId) != 0; }
    // The entry's window; null when it has none.
    ResponseGraph *window(std::uint32_t entryId) const
    {
        const auto it = windows_.find(entryId);
        return it == windows_.end() ? nullptr : it->second.get();
    }
    void addSample(std::uint32_t entryId, std::uint32_t valueMs);
    void setFailureReason(std::uint32_t entryId, const std::string &line);
    // The program whose kept history the windows show: a window asks for
    // its entry's uptimes and last outages when it opens and every minute
    // after; an answer for a window that has closed since is dropped.
    void watchHistory(DialogFace &frame) { history_ = &frame; }
    // Closes the entry's window, if it has one.
    void close(std::uint32_t entryId);
    void closeAll();

private:
    void askUptime(std::uint32_t entryId, const std::weak_ptr<bool> &token);

    Makers &makers_;
    Prompter &prompter_;
    std::map<std::uint32_t, std::unique_ptr<ResponseGraph>> windows_;
    // Windows being opened: a second open waits for the first.
    std::map<std::uint32_t, bool> opening_;
    // One per open window: its uptime answers and timer hold it weakly.
    std::map<std::uint32_t, std::shared_ptr<bool>> tokens_;
    DialogFace *history_ = nullptr;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Where a new window goes: beside the main dialog while that is shown (see
// placeBeside), else at its own place; and from there down and to the
// right by kCascadeStep from every open window's place it would take, so
// that it never lies exactly on top of another.
constexpr int kCascadeStep = 24;
ResponseGraph::Place cascadePlace(ResponseGraph::Place wanted, const std::vector<ResponseGraph::Place> &taken);

} // namespace vigilon
