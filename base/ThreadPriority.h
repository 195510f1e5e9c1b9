// SPDX-License-Identifier: MIT
#pragma once

namespace vigilon {

// The calling thread yields to the program's loop: it runs when a core is
// free, so that work moved off the loop (writing the history, making and
// sending channel messages) never takes a core a round wants.
void lowerThisThreadsPriority();

} // namespace vigilon
