// SPDX-License-Identifier: MIT
#include "app/platform/FileSystem.h"

#include <climits>
#include <sys/stat.h>
#include <unistd.h>

namespace vigilon::platform {

bool isFile(const std::string &path)
{
    struct stat st = {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string currentDirectory()
{
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

} // namespace vigilon::platform
