// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace vigilon {

// The record with which a response-time graph window is made.
struct ResponseGraphParams {
    std::string fontFace;
    std::uint32_t showGraph = 1;
    std::uint32_t warningThreshold = 0;
    std::uint32_t alpha = 200;
    std::uint32_t recordToFile = 0;
    std::string fileName;
    std::string targetHost;
    std::string sourceHost;
    // One or more series names separated by "\r\n".
    std::string seriesNames;
    std::uint32_t maxHistory = 100;
};

} // namespace vigilon
