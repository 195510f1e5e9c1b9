// SPDX-License-Identifier: MIT
// The help command: where the page is found and how it is opened.
#include "app/Help.h"
#include "app/base/PollEventLoop.h"
#include "app/platform/FileSystem.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakePrompter.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace vigilon {
namespace {

using test::TempDir;

TEST(HelpTest, PageIsFoundHereThenBesideTheProgramThenInTheDataDirectories)
{
    TempDir here, program, data1, data2;
    EXPECT_EQ(findHelpPage({here.path(), program.path()}, {data1.path(), data2.path()}), "");

    std::filesystem::create_directories(data2 / "vigilon/docs_ja");
    test::writeFile(data2 / "vigilon/docs_ja/read1st.htm", "<html></html>");
    EXPECT_EQ(findHelpPage({here.path(), ""}, {"", data1.path(), data2.path()}), data2 / "vigilon/docs_ja/read1st.htm");

    // The build tree: the page beside the program, whatever the current folder.
    std::filesystem::create_directories(program / "docs_ja");
    test::writeFile(program / "docs_ja/read1st.htm", "<html></html>");
    EXPECT_EQ(findHelpPage({here.path(), program.path()}, {data2.path()}), program / "docs_ja/read1st.htm");

    std::filesystem::create_directories(here / "docs_ja");
    test::writeFile(here / "docs_ja/read1st.htm", "<html></html>");
    EXPECT_EQ(findHelpPage({here.path(), program.path()}, {data1.path(), data2.path()}), here / "docs_ja/read1st.htm");

    // A directory of that name is no page.
    std::filesystem::create_directories(data1 / "docs_ja/read1st.htm");
    EXPECT_EQ(findHelpPage({data1.path()}, {}), "");
    EXPECT_TRUE(platform::isFile(platform::programDirectory() + "/alert_tests")) << platform::programDirectory();
}

TEST(HelpTest, PageIsOpenedByTheOpenerOrTheFailureShown)
{
    TempDir dir;
    const std::string log = dir / "opened.log";
    test::writeFile(dir / "opener", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + log + "'\n", true);
    std::filesystem::create_directories(dir / "docs_ja");
    test::writeFile(dir / "docs_ja/read1st.htm", "<html></html>");
    test::ChangeDir here(dir.path());

    PollEventLoop loop;
    test::FakePrompter prompter;
    platform::LauncherOptions options;
    options.opener = dir / "opener";
    {
        const auto launcher = platform::makeSystemLauncher(loop, options);
        openHelpPage(*launcher, prompter);
    }
    // Reaped and read after the launcher is gone.
    EXPECT_TRUE(loop.runUntil([&] { return !test::readFile(log).empty(); }, 10000));
    EXPECT_EQ(test::readFile(log), dir / "docs_ja/read1st.htm\n");
    EXPECT_TRUE(prompter.messages.empty());

    // The opener cannot open it: 270 with caption 271, once it has ended.
    test::writeFile(dir / "opener", "#!/bin/sh\nexit 4\n", true);
    const auto launcher = platform::makeSystemLauncher(loop, options);
    openHelpPage(*launcher, prompter);
    EXPECT_TRUE(loop.runUntil([&] { return !prompter.messages.empty(); }, 10000));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_EQ(prompter.messages[0].text, "デフォルトのブラウザを開くことができません。");
    EXPECT_EQ(prompter.messages[0].caption, "Vigilon");
    EXPECT_EQ(prompter.messages[0].style, mb::Ok);

    // No opener at all, or no page: the same message at once.
    platform::LauncherOptions none;
    none.opener = dir / "no-opener";
    testing::internal::CaptureStderr();
    openHelpPage(*platform::makeSystemLauncher(loop, none), prompter);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(prompter.messages.size(), 2u);
    // Said as what it is, not as a page that is missing.
    EXPECT_NE(said.find("no program to open documents with is installed (xdg-open, from the Debian package "
                        "xdg-utils)"),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("No such file"), std::string::npos) << said;

    std::remove((dir / "docs_ja/read1st.htm").c_str());
    test::ScopedEnv noData{{"XDG_DATA_DIRS", dir / "empty"}};
    openHelpPage(*launcher, prompter);
    EXPECT_EQ(prompter.messages.size(), 3u);
}

} // namespace
} // namespace vigilon
