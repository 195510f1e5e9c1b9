// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <vector>

namespace vigilon {

// The main window's place and size and the port list's column widths, as
// the store keeps them between runs. The place is in screen coordinates as
// the front end reads them back; the window's size and the columns' widths
// are pixels at 96 DPI (device-independent pixels), which a window at
// another resolution scales. A store without them leaves width 0 and no
// columns, and the window opens as its template makes it.
struct WindowLayout {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    // By column; empty for the defaults.
    std::vector<int> columnWidths;
    bool hasWindow() const { return width > 0 && height > 0; }
    bool operator==(const WindowLayout &) const = default;
};

// A rectangle on the screen in the front end's screen coordinates, right
// and bottom excluded.
struct ScreenRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const ScreenRect &) const = default;
};

// Where a new window may go: the frame of the window it belongs beside (the
// main dialog) while that is shown, and the work area of its screen (the
// screen without the task bars and panels).
struct PlaceArea {
    std::optional<ScreenRect> owner;
    ScreenRect workArea;
};

} // namespace vigilon
