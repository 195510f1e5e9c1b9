// SPDX-License-Identifier: MIT
#pragma once

namespace vigilon {

// From now on, standard error goes out in blocks: what is written waits for
// the next flush (the event loop flushes once a pass and before it waits) or
// for a full block, instead of going out piece by piece. A buffer of the
// stream's own choosing would not do once anything has been written to the
// stream: the C library keeps the one byte it then has, and a line of
// --verbose takes a dozen writes.
void bufferStandardError();

} // namespace vigilon
