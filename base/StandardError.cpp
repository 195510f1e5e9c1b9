// SPDX-License-Identifier: MIT
#include "base/StandardError.h"

#include <cstdio>

namespace vigilon {

void bufferStandardError()
{
    static char block[1 << 16];
    std::fflush(stderr);
    std::setvbuf(stderr, block, _IOFBF, sizeof block);
}

} // namespace vigilon
