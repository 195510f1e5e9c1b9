// SPDX-License-Identifier: MIT
#include "app/GraphWindows.h"

#include "app/DialogFace.h"
#include "base/StringTable.h"
#include "app/text/HistoryText.h"
#include "app/dialogs/WindowPlace.h"

#include <algorithm>

namespace vigilon {

ResponseGraph::Place cascadePlace(ResponseGraph::Place wanted, const std::vector<ResponseGraph::Place> &taken)
{
    // Each step leaves one taken place behind: as many steps as places do.
    for (std::size_t step = 0; step <= taken.size(); ++step) {
        if (std::find(taken.begin(), taken.end(), wanted) == taken.end())
            break;
        wanted.x += kCascadeStep;
        wanted.y += kCascadeStep;
    }
    return wanted;
}

GraphWindows::GraphWindows(Makers &makers, Prompter &prompter) : makers_(makers), prompter_(prompter) {}

GraphWindows::~GraphWindows()
{
    *alive_ = false;
}

void GraphWindows::open(std::uint32_t entryId, const ResponseGraphParams &defaults,
                        const std::function<bool()> &stillWanted)
{
    if (isOpen(entryId) || opening_.count(entryId))
        return;
    opening_[entryId] = true;
    ResponseGraphParams params = defaults;
    // The dialog nests the event loop: this object, the entry or the whole
    // program may be gone when it returns.
    const std::shared_ptr<bool> alive = alive_;
    const bool accepted = makers_.runResponseMonitorDialog(params);
    if (!*alive)
        return;
    opening_.erase(entryId);
    if (!accepted || !stillWanted() || isOpen(entryId))
        return;
    std::weak_ptr<bool> weak = alive_;
    std::unique_ptr<ResponseGraph> window = makers_.createResponseGraph(params, [this, weak, entryId] {
        if (weak.lock())
            close(entryId);
    });
    if (!window) {
        prompter_.messageBox(loadString(sid::GraphCreateFailed), "", mb::Ok);
        return;
    }
    // Beside the main dialog, and not on top of another open window.
    std::vector<ResponseGraph::Place> taken;
    for (const auto &[id, open] : windows_)
        taken.push_back(open->place());
    const ResponseGraph::Place own = window->place();
    ResponseGraph::Place wanted = own;
    if (const std::optional<PlaceArea> area = makers_.placeArea(); area && area->owner) {
        const ResponseGraph::Size size = window->outerSize();
        wanted = placeBeside(*area, size.width, size.height, PlaceSide::Right);
    }
    const ResponseGraph::Place placed = cascadePlace(wanted, taken);
    if (!(placed == own))
        window->moveTo(placed);
    window->show();
    windows_[entryId] = std::move(window);
    if (!history_)
        return;
    const auto token = std::make_shared<bool>(true);
    tokens_[entryId] = token;
    askUptime(entryId, token);
    EventLoop &loop = history_->eventLoop();
    const std::weak_ptr<bool> weakToken = token;
    // The timer is the token's: it ends itself at its first tick after the
    // window went (a later window's token at the same address would have
    // set the timer anew).
    const EventLoop::TimerOwner owner = token.get();
    loop.setTimer(owner, kUptimeTimerId, kUptimeRefreshMs, [this, &loop, owner, weakToken, entryId] {
        if (weakToken.expired()) {
            loop.killTimer(owner, kUptimeTimerId);
            return;
        }
        askUptime(entryId, weakToken);
    });
}

void GraphWindows::askUptime(std::uint32_t entryId, const std::weak_ptr<bool> &token)
{
    ResponseGraph *shown = window(entryId);
    if (!shown || !history_)
        return;
    if (!history_->historyAvailable()) {
        shown->setHistoryLines({});
        shown->setOutagesAction({});
        return;
    }
    shown->setOutagesAction([this, token, entryId] {
        // Not from inside the window's handler: the list nests the loop,
        // and the window may close meanwhile.
        history_->eventLoop().post([this, token, entryId] {
            if (token.expired())
                return;
            for (std::size_t row = 0; row < history_->entryCount(); ++row) {
                const EntryView entry = history_->entryView(row);
                if (entry.id == entryId && !entry.placeholder) {
                    makers_.showOutages(*history_, entryId, entry.name);
                    return;
                }
            }
        });
    });
    history_->requestUptime(entryId, [this, token, entryId](UptimeView view) {
        // Dropped once the window (or these windows) went.
        if (token.expired())
            return;
        if (ResponseGraph *target = window(entryId))
            target->setHistoryLines(graphHistoryLines(view, history_->clock().nowMillis()));
    });
}

void GraphWindows::addSample(std::uint32_t entryId, std::uint32_t valueMs)
{
    const auto it = windows_.find(entryId);
    if (it != windows_.end())
        it->second->addSample(valueMs);
}

void GraphWindows::setFailureReason(std::uint32_t entryId, const std::string &line)
{
    const auto it = windows_.find(entryId);
    if (it != windows_.end())
        it->second->setFailureReason(line);
}

void GraphWindows::close(std::uint32_t entryId)
{
    const auto it = windows_.find(entryId);
    if (it == windows_.end())
        return;
    const std::unique_ptr<ResponseGraph> window = std::move(it->second);
    windows_.erase(it);
    tokens_.erase(entryId);
}

void GraphWindows::closeAll()
{
    while (!windows_.empty())
        close(windows_.begin()->first);
}

} // namespace vigilon
