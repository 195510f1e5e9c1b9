// SPDX-License-Identifier: MIT
#pragma once

#include "base/EventLoop.h"
#include "base/Language.h"
#include "base/Prompter.h"
#include "app/platform/Launcher.h"

#include "base/System.h"

#include <string>
#include <vector>

namespace vigilon {

// The help page of a language, relative to the current directory or the
// program's own: docs_ja/read1st.htm in Japanese, docs/read1st.htm in English.
std::string helpPage(Language language);

// Where the help page is: the first of folders (the current directory, then
// the program's own) that holds the page of the language, otherwise the
// first data directory that holds it (<dir>/vigilon/docs_ja/read1st.htm);
// where none has that language's page, the other language's the same way.
// Empty when none does.
std::string findHelpPage(const std::vector<std::string> &folders, const std::vector<std::string> &dataDirectories,
                         Language language = currentLanguage());

// The data directories of an installed program, in the order they are
// searched: beside the executable (../share), the one it was built for, and
// $XDG_DATA_DIRS.
std::vector<std::string> helpDataDirectories();

// The help command: opens the page with the desktop's opener; shows 270 with
// caption 271 when it cannot be opened (also when the opener tells so later).
void openHelpPage(platform::Launcher &launcher, Prompter &prompter);
void openHelpPage(EventLoop &loop, Prompter &prompter);

} // namespace vigilon
