// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vigilon {

// A path the program holds in UTF-8, for std::filesystem: a plain string
// would be read in the system's code page on Windows.
inline std::filesystem::path pathFromUtf8(std::string_view path)
{
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

} // namespace vigilon
