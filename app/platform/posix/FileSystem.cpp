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

std::string programDirectory()
{
    char buffer[PATH_MAX];
    const ssize_t got = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (got <= 0)
        return {};
    const std::string path(buffer, static_cast<std::size_t>(got));
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace vigilon::platform
