// SPDX-License-Identifier: MIT
#pragma once

// Which system the program is built for. This is the one file outside the
// posix/ and windows/ halves and the two front ends that asks; portable code
// reads these constants (if constexpr) instead of testing the compiler's
// macros itself.
namespace vigilon {

#ifdef _WIN32
inline constexpr bool kWindowsBuild = true;
#else
inline constexpr bool kWindowsBuild = false;
#endif

} // namespace vigilon
