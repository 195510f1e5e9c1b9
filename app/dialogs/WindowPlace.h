// SPDX-License-Identifier: MIT
#pragma once

#include "base/ResponseGraph.h"
#include "base/WindowLayout.h"

namespace vigilon {

// Which side of the main dialog a window goes to first: graph windows to
// the right, the About box to the left, so that they do not cover each
// other.
enum class PlaceSide { Right, Left };

// The room left between the main dialog and a window beside it.
constexpr int kBesideGap = 8;

// Where a window of this frame size opens: beside the owner, top edges
// level, on the preferred side, else on the other where that side has no
// room, else against the work area's far edge; kept inside the work area
// as far as it fits. Without an owner it opens in the middle of the work
// area.
ResponseGraph::Place placeBeside(const PlaceArea &area, int width, int height, PlaceSide preferred);

} // namespace vigilon
