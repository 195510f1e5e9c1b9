// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vigilon {

// What the monitoring engine sees of an entry's response-time graph window.
// The window itself belongs to the user interface.
class ResponseGraph {
public:
    virtual ~ResponseGraph() = default;
    // One sample of the entry's single series, in milliseconds (0 for a
    // declared failure).
    virtual void addSample(std::uint32_t valueMs) = 0;
    // The line that tells why the entry failed; empty while it has not.
    virtual void setFailureReason(const std::string &line) { (void)line; }
    // The lines of the entry's kept history (its uptimes and last
    // outages); empty for none.
    virtual void setHistoryLines(const std::vector<std::string> &lines) { (void)lines; }
    // What the window's "Outages..." command does; empty while there is no
    // history to list (the command is then disabled). The window calls it
    // from its handler; it does its work later, from the event loop.
    virtual void setOutagesAction(std::function<void()> open) { (void)open; }
    // A window is made hidden; the frame shows it once it has taken it
    // into the entry. Windows that have nothing to show keep this one.
    virtual void show() {}
    // The window's top left corner on the screen, and a move of it there;
    // windows that have no place keep these.
    struct Place {
        int x = 0;
        int y = 0;
        bool operator==(const Place &) const = default;
    };
    virtual Place place() const { return {}; }
    virtual void moveTo(const Place &place) { (void)place; }
    // The size of its frame on the screen.
    struct Size {
        int width = 0;
        int height = 0;
    };
    virtual Size outerSize() const { return {}; }
};

} // namespace vigilon
