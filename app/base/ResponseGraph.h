// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace vigilon {

// What the monitoring engine sees of an entry's response-time graph window.
// The window itself belongs to the user interface.
class ResponseGraph {
public:
    virtual ~ResponseGraph() = default;
    // One sample of the entry's single series, in milliseconds (0 for a
    // declared failure).
    virtual void AddSample(std::uint32_t valueMs) = 0;
    // The line that tells why the entry failed; empty while it has not.
    virtual void setFailureReason(const std::string &line) { (void)line; }
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
};

} // namespace vigilon
