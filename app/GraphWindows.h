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

// The entries' graph windows, as a front end keeps them: at most one per
// entry, known by the entry's id. The windows themselves are the front end's
// (see Makers); what happens on the way to one is the same everywhere.
class Monitor;

class GraphWindows {
public:
    // How often an open window asks for its entry's uptimes again.
    static constexpr unsigned kUptimeTimerId = 1;
    static constexpr unsigned kUptimeRefreshMs = 60000;

    class Makers {
    public:
        virtual ~Makers() = default;
        // Runs the response monitor settings dialog on params; true on OK.
        virtual bool runResponseMonitorDialog(ResponseGraphParams &params) = 0;
        // Makes a graph window, hidden; null when it cannot be made.
        // closeRequest is what the window calls, from the event loop and not
        // from inside one of its own handlers, when it wants to be closed.
        virtual std::unique_ptr<ResponseGraph> createResponseGraph(const ResponseGraphParams &params,
                                                                   std::function<void()> closeRequest) = 0;
        // Shows the outage list of an entry (see OutageListController).
        virtual void showOutages(Monitor &frame, std::uint32_t entryId, const std::string &entryName) = 0;
        // Where a new window may go (see placeBeside); none keeps the
        // window's own place.
        virtual std::optional<PlaceArea> placeArea() const { return std::nullopt; }
    };

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
    void watchHistory(Monitor &frame) { history_ = &frame; }
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
    Monitor *history_ = nullptr;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Where a new window goes: beside the main dialog while that is shown (see
// placeBeside), else at its own place; and from there down and to the
// right by kCascadeStep from every open window's place it would take, so
// that it never lies exactly on top of another.
constexpr int kCascadeStep = 24;
ResponseGraph::Place cascadePlace(ResponseGraph::Place wanted, const std::vector<ResponseGraph::Place> &taken);

// The frame's windows of a front end that keeps its graph windows in
// GraphWindows: the frame's graph calls go there, and the windows close
// with it. The front end makes the windows themselves (Makers).
class GraphWindowsUi : public FrameUi, protected GraphWindows::Makers {
public:
    explicit GraphWindowsUi(Prompter &prompter)
        : graphs_(*this, prompter)
    {
    }
    ~GraphWindowsUi() override { graphs_.closeAll(); }

    void openResponseGraph(std::uint32_t entryId, const ResponseGraphParams &defaults,
                           std::function<bool()> stillWanted) override
    {
        graphs_.open(entryId, defaults, stillWanted);
    }
    void responseSample(std::uint32_t entryId, std::uint32_t valueMs) override { graphs_.addSample(entryId, valueMs); }
    void responseReason(std::uint32_t entryId, const std::string &line) override
    {
        graphs_.setFailureReason(entryId, line);
    }
    void closeResponseGraph(std::uint32_t entryId) override { graphs_.close(entryId); }
    GraphWindows &graphWindows() { return graphs_; }

private:
    GraphWindows graphs_;
};

} // namespace vigilon
