// SPDX-License-Identifier: MIT
// The help command of the tray menu.
#include "app/Help.h"

#include "app/base/StringTable.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#else
#include <climits>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vigilon {

namespace {

bool isFile(const std::string &path)
{
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
    struct stat st = {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
#endif
}

std::string joinPath(const std::string &dir, const std::string &name)
{
    if (dir.empty())
        return name;
    const char last = dir.back();
    return (last == '/' || last == '\\') ? dir + name : dir + '/' + name;
}

std::string currentDirectory()
{
#ifdef _WIN32
    char buffer[MAX_PATH];
    const DWORD got = GetCurrentDirectoryA(MAX_PATH, buffer);
    return got > 0 && got < MAX_PATH ? std::string(buffer, got) : std::string();
#else
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
#endif
}

void showHelpFailure(Prompter &prompter)
{
    prompter.messageBox(loadString(sid::HelpBrowserFailed), loadString(sid::HelpErrorCaption), mb::Ok);
}

} // namespace

std::string findHelpPage(const std::string &currentDirectory, const std::vector<std::string> &dataDirectories)
{
    const std::string here = joinPath(currentDirectory, kHelpPage);
    if (isFile(here))
        return here;
    for (const std::string &dir : dataDirectories) {
        if (dir.empty())
            continue;
        const std::string installed = joinPath(joinPath(dir, "vigilon"), "docs_ja/read1st.htm");
        if (isFile(installed))
            return installed;
    }
    return {};
}

std::vector<std::string> helpDataDirectories()
{
    std::vector<std::string> dirs;
#ifndef _WIN32
    char exe[PATH_MAX];
    const ssize_t got = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (got > 0) {
        std::string path(exe, static_cast<std::size_t>(got));
        const std::size_t slash = path.rfind('/');
        if (slash != std::string::npos)
            dirs.push_back(path.substr(0, slash) + "/../share");
    }
#endif
#ifdef VIGILON_DATADIR
    dirs.emplace_back(VIGILON_DATADIR);
#endif
#ifndef _WIN32
    const char *xdg = std::getenv("XDG_DATA_DIRS");
    std::string list = xdg && *xdg ? xdg : "/usr/local/share:/usr/share";
    std::size_t from = 0;
    while (from <= list.size()) {
        const std::size_t end = std::min(list.find(':', from), list.size());
        if (end > from)
            dirs.push_back(list.substr(from, end - from));
        from = end + 1;
    }
#endif
    return dirs;
}

void openHelpPage(platform::Launcher &launcher, Prompter &prompter)
{
    const std::string page = findHelpPage(currentDirectory(), helpDataDirectories());
    if (page.empty()) {
        std::fprintf(stderr, "vigilon: the help page %s was found neither here nor in the data directories\n",
                     kHelpPage);
        showHelpFailure(prompter);
        return;
    }
    Prompter *shown = &prompter;
    const platform::LaunchOutcome outcome = launcher.openDocument(page, [shown] { showHelpFailure(*shown); });
    if (!outcome.started())
        showHelpFailure(prompter);
}

void openHelpPage(EventLoop &loop, Prompter &prompter)
{
    // The opener is reaped by the loop after this launcher is gone.
    const std::unique_ptr<platform::Launcher> launcher = platform::makeSystemLauncher(loop);
    openHelpPage(*launcher, prompter);
}

} // namespace vigilon
