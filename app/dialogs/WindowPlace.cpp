// SPDX-License-Identifier: MIT
#include "app/dialogs/WindowPlace.h"

#include <algorithm>

namespace vigilon {

namespace {
// The start of a span of length size inside [low, high): as asked where it
// fits, else against low.
int within(int wanted, int size, int low, int high)
{
    return std::max(low, std::min(wanted, high - size));
}
} // namespace

ResponseGraph::Place placeBeside(const PlaceArea &area, int width, int height, PlaceSide preferred)
{
    const ScreenRect &work = area.workArea;
    if (!area.owner)
        return {work.left + std::max(0, (work.width() - width) / 2), work.top + std::max(0, (work.height() - height) / 2)};
    const ScreenRect &owner = *area.owner;
    const int right = owner.right + kBesideGap;
    const int left = owner.left - kBesideGap - width;
    const bool roomRight = right + width <= work.right;
    const bool roomLeft = left >= work.left;
    int x = 0;
    if (preferred == PlaceSide::Right)
        x = roomRight ? right : roomLeft ? left : work.right - width;
    else
        x = roomLeft ? left : roomRight ? right : work.right - width;
    return {within(x, width, work.left, work.right), within(owner.top, height, work.top, work.bottom)};
}

} // namespace vigilon
