// SPDX-License-Identifier: MIT
// The help command of the tray menu.
#include "app/Help.h"

#include "base/StringTable.h"
#include "app/platform/FileSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace vigilon {

namespace {

std::string joinPath(const std::string &dir, const std::string &name)
{
    if (dir.empty())
        return name;
    const char last = dir.back();
    return (last == '/' || last == '\\') ? dir + name : dir + '/' + name;
}

void showHelpFailure(Prompter &prompter)
{
    prompter.messageBox(loadString(sid::HelpBrowserFailed), loadString(sid::HelpErrorCaption), mb::Ok);
}

} // namespace

std::string helpPage(Language language)
{
    const char separator = kWindowsBuild ? '\\' : '/';
    return std::string(language == Language::Japanese ? "docs_ja" : "docs") + separator + "read1st.htm";
}

std::string findHelpPage(const std::vector<std::string> &folders, const std::vector<std::string> &dataDirectories,
                         Language language)
{
    const Language other = language == Language::Japanese ? Language::English : Language::Japanese;
    for (const Language each : {language, other}) {
        const std::string page = helpPage(each);
        for (const std::string &folder : folders) {
            if (folder.empty())
                continue;
            const std::string here = joinPath(folder, page);
            if (platform::isFile(here))
                return here;
        }
        for (const std::string &dir : dataDirectories) {
            if (dir.empty())
                continue;
            const std::string installed = joinPath(joinPath(dir, "vigilon"), page);
            if (platform::isFile(installed))
                return installed;
        }
    }
    return {};
}

std::vector<std::string> helpDataDirectories()
{
    std::vector<std::string> dirs;
    if (const std::string program = platform::programDirectory(); !program.empty())
        dirs.push_back(program + "/../share");
#ifdef VIGILON_DATADIR
    dirs.emplace_back(VIGILON_DATADIR);
#endif
    if constexpr (!kWindowsBuild) {
        const char *xdg = std::getenv("XDG_DATA_DIRS");
        const std::string list = xdg && *xdg ? xdg : "/usr/local/share:/usr/share";
        std::size_t from = 0;
        while (from <= list.size()) {
            const std::size_t end = std::min(list.find(':', from), list.size());
            if (end > from)
                dirs.push_back(list.substr(from, end - from));
            from = end + 1;
        }
    }
    return dirs;
}

void openHelpPage(platform::Launcher &launcher, Prompter &prompter)
{
    const std::string page =
        findHelpPage({platform::currentDirectory(), platform::programDirectory()}, helpDataDirectories());
    if (page.empty()) {
        std::fprintf(stderr, "vigilon: the help page %s was found neither here nor in the data directories\n",
                     helpPage(currentLanguage()).c_str());
        showHelpFailure(prompter);
        return;
    }
    Prompter *shown = &prompter;
    const platform::LaunchOutcome outcome = launcher.openDocument(page, [shown] { showHelpFailure(*shown); });
    if (outcome.openerMissing)
        std::fprintf(stderr, "vigilon: the help page %s cannot be shown: %s\n", page.c_str(), platform::kNoOpenerText);
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
