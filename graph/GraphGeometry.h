// SPDX-License-Identifier: MIT
#pragma once

namespace vigilon {

// Integer rectangle and point in window pixels, edges as the graph window
// works with them: right and bottom are one past the last pixel.
struct GRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const GRect &) const = default;
};

struct GPoint {
    int x = 0;
    int y = 0;
    bool operator==(const GPoint &) const = default;
};

struct GLine {
    GPoint from;
    GPoint to;
    bool operator==(const GLine &) const = default;
};

struct GColour {
    unsigned char red = 0;
    unsigned char green = 0;
    unsigned char blue = 0;
    bool operator==(const GColour &) const = default;
};

} // namespace vigilon
