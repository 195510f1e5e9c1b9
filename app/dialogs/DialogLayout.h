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

} // namespace vigilon
