// SPDX-License-Identifier: MIT
#pragma once

#include <algorithm>
#include <vector>

namespace vigilon {

// A control's place in client pixels; right and bottom are exclusive.
struct ControlBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The main dialog's controls that keep their places, and the buttons that
// follow its right edge (the logo and the list have rows of their own).
// The smallest client width at which every button keeps `gap` pixels clear
// of each control that shares rows with it: at least floorWidth, and the
// buttons stand `margin` pixels from the right edge. Both front ends make
// this their minimum tracking width, so that a small window never draws a
// button over a field or a label.
inline int minimumClearWidth(int floorWidth, const std::vector<ControlBox> &fixed,
                             const std::vector<ControlBox> &rightButtons, int margin = 8, int gap = 4)
{
    int width = floorWidth;
    for (const ControlBox &button : rightButtons) {
        const int buttonWidth = button.right - button.left;
        for (const ControlBox &control : fixed) {
            if (control.bottom <= button.top || control.top >= button.bottom)
                continue; // in other rows
            width = std::max(width, control.right + gap + buttonWidth + margin);
        }
    }
    return width;
}

// A popup's place moved, keeping its size, just far enough to lie within the
// screen's work area; a popup larger than the area keeps its left or top
// edge on the area's. The balloon hint placed above and left of the pointer
// would otherwise open partly off the screen near its left or top edge.
inline ControlBox keptOnScreen(const ControlBox &wanted, const ControlBox &screen)
{
    const int width = wanted.right - wanted.left;
    const int height = wanted.bottom - wanted.top;
    const int left = std::max(screen.left, std::min(wanted.left, screen.right - width));
    const int top = std::max(screen.top, std::min(wanted.top, screen.bottom - height));
    return ControlBox{left, top, left + width, top + height};
}

} // namespace vigilon
