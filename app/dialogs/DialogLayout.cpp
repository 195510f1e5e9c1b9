// SPDX-License-Identifier: MIT
#include "app/dialogs/DialogLayout.h"

#include <algorithm>

namespace vigilon {

LayoutRect followClient(Follow how, const LayoutRect &rect, LayoutSize client)
{
    LayoutRect r = rect;
    switch (how) {
    case Follow::Stays:
        break;
    case Follow::RightEdge:
        r.right = client.width - 8;
        r.left = r.right - rect.width();
        break;
    case Follow::BottomRight:
        r.right = client.width - 8;
        r.left = r.right - rect.width();
        r.bottom = client.height - 4;
        r.top = r.bottom - rect.height();
        break;
    case Follow::Stretch:
        r.left = 8;
        r.right = client.width - 8;
        r.bottom = client.height - 44;
        break;
    }
    return r;
}

namespace {
bool fits(const std::vector<LaidControl> &controls, LayoutSize client)
{
    std::vector<LayoutRect> placed;
    placed.reserve(controls.size());
    for (const LaidControl &c : controls) {
        const LayoutRect r = followClient(c.how, c.rect, client);
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

LayoutSize smallestClient(const std::vector<LaidControl> &controls, LayoutSize floor)
{
    constexpr int Reach = 4000;
    // Growing never brings two controls closer: the width first, with room
    // to spare below, then the height at that width.
    LayoutSize size{floor.width, floor.height + Reach};
    while (size.width < floor.width + Reach && !fits(controls, size))
        ++size.width;
    size.height = floor.height;
    while (size.height < floor.height + Reach && !fits(controls, size))
        ++size.height;
    return size;
}

BalloonShape balloonShape(int textWidth, int textHeight)
{
    BalloonShape s;
    const int w = textWidth + 24;
    const int h = textHeight + 20;
    s.bodyWidth = w;
    s.bodyHeight = h;
    s.window = {w, h + 20};
    const int corners[3][2] = {{w - 12, h - 10}, {w - 12, h + 10}, {w - 27, h - 10}};
    for (int i = 0; i < 3; ++i) {
        s.tail[i][0] = corners[i][0];
        s.tail[i][1] = corners[i][1];
    }
    s.tipX = w - 12;
    s.tipY = h + 10;
    return s;
}

void placeBalloon(const BalloonShape &shape, int anchorX, int anchorY, const LayoutRect &workArea, int &x, int &y)
{
    x = anchorX - shape.tipX;
    y = anchorY - shape.tipY;
    x = std::max(std::min(x, workArea.right - shape.window.width), workArea.left);
    y = std::max(std::min(y, workArea.bottom - shape.window.height), workArea.top);
}

} // namespace vigilon
