// SPDX-License-Identifier: MIT
#include "app/dialogs/DialogLayout.h"

#include <algorithm>

namespace vigilon {

LayoutRect followClient(Follow how, const LayoutRect &rect, LayoutSize client, int dpi)
{
    const int side = atDpi(8, dpi);
    LayoutRect r = rect;
    switch (how) {
    case Follow::Stays:
        break;
    case Follow::RightEdge:
        r.right = client.width - side;
        r.left = r.right - rect.width();
        break;
    case Follow::BottomRight:
        r.right = client.width - side;
        r.left = r.right - rect.width();
        r.bottom = client.height - atDpi(4, dpi);
        r.top = r.bottom - rect.height();
        break;
    case Follow::Stretch:
        r.left = side;
        r.right = client.width - side;
        r.bottom = client.height - atDpi(44, dpi);
        break;
    case Follow::BottomLeft:
        r.top = client.height - atDpi(30, dpi);
        r.bottom = r.top + rect.height();
        break;
    }
    return r;
}

namespace {
bool fits(const std::vector<LaidControl> &controls, LayoutSize client, int dpi)
{
    std::vector<LayoutRect> placed;
    placed.reserve(controls.size());
    for (const LaidControl &c : controls) {
        const LayoutRect r = followClient(c.how, c.rect, client, dpi);
        if (r.width() < c.least.width || r.height() < c.least.height)
            return false;
        placed.push_back(r);
    }
    for (std::size_t i = 0; i < placed.size(); ++i) {
        for (std::size_t j = i + 1; j < placed.size(); ++j) {
            if (controls[i].how == Follow::Stays && controls[j].how == Follow::Stays)
                continue;
            if (placed[i].overlaps(placed[j]))
                return false;
        }
    }
    return true;
}
} // namespace

LayoutSize smallestClient(const std::vector<LaidControl> &controls, LayoutSize floor, int dpi)
{
    constexpr int Reach = 4000;
    // Growing never brings two controls closer: the width first, with room
    // to spare below, then the height at that width.
    LayoutSize size{floor.width, floor.height + Reach};
    while (size.width < floor.width + Reach && !fits(controls, size, dpi))
        ++size.width;
    size.height = floor.height;
    while (size.height < floor.height + Reach && !fits(controls, size, dpi))
        ++size.height;
    return size;
}

BalloonShape balloonShape(int textWidth, int textHeight, int dpi)
{
    const auto px = [dpi](int pixels) { return atDpi(pixels, dpi); };
    BalloonShape s;
    const int w = textWidth + px(24);
    const int h = textHeight + px(20);
    s.bodyWidth = w;
    s.bodyHeight = h;
    s.window = {w, h + px(20)};
    const int corners[3][2] = {{w - px(12), h - px(10)}, {w - px(12), h + px(10)}, {w - px(27), h - px(10)}};
    for (int i = 0; i < 3; ++i) {
        s.tail[i][0] = corners[i][0];
        s.tail[i][1] = corners[i][1];
    }
    s.tipX = w - px(12);
    s.tipY = h + px(10);
    return s;
}

void placeBalloon(const BalloonShape &shape, int anchorX, int anchorY, const LayoutRect &workArea, int &x, int &y)
{
    x = anchorX - shape.tipX;
    y = anchorY - shape.tipY;
    x = std::max(std::min(x, workArea.right - shape.window.width), workArea.left);
    y = std::max(std::min(y, workArea.bottom - shape.window.height), workArea.top);
}

LayoutRect placeStoredWindow(const LayoutRect &stored, LayoutSize least, const std::vector<LayoutRect> &workAreas,
                             LayoutSize frame)
{
    if (workAreas.empty())
        return stored;
    const LayoutRect outer{stored.left, stored.top, stored.right + frame.width, stored.bottom + frame.height};
    const auto shared = [&outer](const LayoutRect &area) {
        const long long w = std::max(0, std::min(outer.right, area.right) - std::max(outer.left, area.left));
        const long long h = std::max(0, std::min(outer.bottom, area.bottom) - std::max(outer.top, area.top));
        return w * h;
    };
    const LayoutRect *area = &workAreas.front();
    long long best = shared(*area);
    for (const LayoutRect &candidate : workAreas) {
        if (shared(candidate) > best) {
            best = shared(candidate);
            area = &candidate;
        }
    }
    const int roomWidth = std::max(1, area->width() - frame.width);
    const int roomHeight = std::max(1, area->height() - frame.height);
    const int width = std::max(std::min(stored.width(), roomWidth), least.width);
    const int height = std::max(std::min(stored.height(), roomHeight), least.height);
    // Inside on the right and bottom first, so that a window larger than
    // the area keeps its left and top edges (and its title bar) on it.
    int left = std::min(stored.left, area->right - width - frame.width);
    int top = std::min(stored.top, area->bottom - height - frame.height);
    left = std::max(left, area->left);
    top = std::max(top, area->top);
    return LayoutRect{left, top, left + width, top + height};
}

std::vector<int> restoredColumnWidths(const std::vector<int> &stored, const std::vector<int> &defaults)
{
    // A store from before the last columns were added has the first ones
    // only: the others take their defaults.
    if (stored.empty() || stored.size() > defaults.size())
        return defaults;
    std::vector<int> widths = stored;
    widths.insert(widths.end(), defaults.begin() + static_cast<std::ptrdiff_t>(stored.size()), defaults.end());
    for (std::size_t c = 0; c < widths.size(); ++c) {
        if (widths[c] < kLeastRestoredColumn)
            widths[c] = defaults[c];
    }
    return widths;
}

int widthToShowColumns(const std::vector<int> &columns, int listClientWidth, int scrollBarWidth)
{
    int needed = scrollBarWidth;
    for (int width : columns)
        needed += width;
    return std::max(0, needed - listClientWidth);
}

std::vector<int> rescaledColumnWidths(const std::vector<int> &widths, int fromDpi, int toDpi,
                                      const std::vector<int> &defaultsBefore, const std::vector<int> &defaultsAfter)
{
    std::vector<int> out;
    for (std::size_t c = 0; c < widths.size(); ++c) {
        int width = rescaled(widths[c], fromDpi, toDpi);
        if (c < defaultsBefore.size() && c < defaultsAfter.size() && widths[c] >= defaultsBefore[c])
            width = std::max(width, defaultsAfter[c]);
        out.push_back(width);
    }
    return out;
}

} // namespace vigilon
