// SPDX-License-Identifier: MIT
#pragma once

#include "base/Dpi.h"

#include <vector>

namespace vigilon {

// A control's rectangle in client coordinates; right and bottom exclusive.
struct LayoutRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    // True when the two share at least one pixel.
    bool overlaps(const LayoutRect &other) const
    {
        return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
    }
    bool operator==(const LayoutRect &) const = default;
};

struct LayoutSize {
    int width = 0;
    int height = 0;
    bool operator==(const LayoutSize &) const = default;
};

// How a control of the main dialog follows the size of its client area. The
// margins are pixels at 96 DPI; a dialog at another resolution passes its
// own and gets them scaled.
enum class Follow {
    // Keeps its place.
    Stays,
    // Keeps its size; its right edge stays 8 pixels from the client's.
    RightEdge,
    // As RightEdge, and its bottom stays 4 pixels from the client's.
    BottomRight,
    // Keeps its top; 8 pixels from the left and right edges, 44 from the
    // bottom.
    Stretch,
    // Keeps its size and left edge; its top stays 30 pixels above the
    // client's bottom (in the band under a stretched control).
    BottomLeft,
};

// Where a control goes in a client area of this size.
LayoutRect followClient(Follow how, const LayoutRect &rect, LayoutSize client, int dpi = kBaseDpi);

struct LaidControl {
    Follow how = Follow::Stays;
    // As laid out for any client size.
    LayoutRect rect;
    // The least size the control may be given.
    LayoutSize least{1, 1};
};

// The smallest client area, no smaller than floor, in which the controls as
// followClient() places them keep their least sizes and no two of them
// overlap, unless both stay put. The search ends 4000 pixels beyond floor.
LayoutSize smallestClient(const std::vector<LaidControl> &controls, LayoutSize floor, int dpi = kBaseDpi);

// The balloon hint's shape for a text of textWidth by textHeight pixels: a
// body 12 pixels wider on each side and 10 higher above and below, with a
// tail below it whose tip is the point the balloon points at. Those figures
// are pixels at 96 DPI, scaled to dpi.
struct BalloonShape {
    int bodyWidth = 0;
    int bodyHeight = 0;
    // The window: the body and the 20 pixels of the tail below it.
    LayoutSize window;
    // The tail's corners, the tip second; window coordinates.
    int tail[3][2] = {};
    int tipX = 0;
    int tipY = 0;
};
BalloonShape balloonShape(int textWidth, int textHeight, int dpi = kBaseDpi);

// The window's top left corner for a balloon pointing at anchor (screen
// coordinates): the tip on the anchor, then moved into the screen's work
// area where it would stick out. A balloon larger than the area keeps its
// left or top edge on the area's.
void placeBalloon(const BalloonShape &shape, int anchorX, int anchorY, const LayoutRect &workArea, int &x, int &y);

// Where a stored window goes now: onto the work area it shares most with
// (the first, the primary, when it shares none), no larger than that area
// nor smaller than least, and moved wholly inside it. frame: what the
// window's outer frame adds to the stored size, where the front end stores
// the inner one. No areas: the stored rectangle as it is.
LayoutRect placeStoredWindow(const LayoutRect &stored, LayoutSize least, const std::vector<LayoutRect> &workAreas,
                             LayoutSize frame = {});

// Columns narrower than this, or hidden, open at their default width again.
constexpr int kLeastRestoredColumn = 16;
// The list's column widths as stored, each at least kLeastRestoredColumn;
// columns the store has no width for (added since) take their defaults, and
// so does every column when nothing or too much is stored.
std::vector<int> restoredColumnWidths(const std::vector<int> &stored, const std::vector<int> &defaults);

// How much wider a list of listClientWidth pixels is to be to show columns
// of these widths side by side with room for its vertical scroll bar; 0
// when they fit.
int widthToShowColumns(const std::vector<int> &columns, int listClientWidth, int scrollBarWidth);

// The list's column widths after a move from one resolution to another:
// each scaled, and one that was at least its default width before at least
// its default width after (text does not scale exactly with the
// resolution, and a column that showed its content whole still does).
std::vector<int> rescaledColumnWidths(const std::vector<int> &widths, int fromDpi, int toDpi,
                                      const std::vector<int> &defaultsBefore, const std::vector<int> &defaultsAfter);

} // namespace vigilon
