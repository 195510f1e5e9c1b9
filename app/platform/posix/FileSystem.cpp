// SPDX-License-Identifier: MIT
#include "app/platform/FileSystem.h"

#include <climits>
#include <cstdlib>
#include <fstream>
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

namespace {
bool isDirectory(const std::string &path)
{
    struct stat st = {};
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}
} // namespace

std::string documentsFolder()
{
    const std::string home = environment("HOME");
    if (const std::string set = environment("XDG_DOCUMENTS_DIR"); isDirectory(set))
        return set;
    // Written by xdg-user-dirs as XDG_DOCUMENTS_DIR="$HOME/Documents".
    const std::string config = environment("XDG_CONFIG_HOME");
    std::ifstream dirs((config.empty() ? home + "/.config" : config) + "/user-dirs.dirs");
    const std::string key = "XDG_DOCUMENTS_DIR=\"";
    for (std::string line; std::getline(dirs, line);) {
        if (line.compare(0, key.size(), key) != 0)
            continue;
        std::string value = line.substr(key.size(), line.find('"', key.size()) - key.size());
        if (value.compare(0, 5, "$HOME") == 0)
            value = home + value.substr(5);
        if (isDirectory(value))
            return value;
    }
    if (isDirectory(home + "/Documents"))
        return home + "/Documents";
    return isDirectory(home) ? home : std::string();
}

bool isAnchoredPath(const std::string &path)
{
    return !path.empty() && path[0] == '/';
}

} // namespace vigilon::platform
