// SPDX-License-Identifier: MIT
// The help command: where the page is found, how it is opened, and the page.
#include "app/Help.h"
#include "app/base/PollEventLoop.h"
#include "app/base/StringTable.h"
#include "tests/alerts/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vigilon {
namespace {

using test::RecordingPrompter;
using test::TempDir;

TEST(HelpTest, PageIsFoundHereFirstThenInTheDataDirectories)
{
    TempDir here;
    TempDir data1;
    TempDir data2;
    EXPECT_EQ(findHelpPage(here.path(), {data1.path(), data2.path()}), "");

    test::makeDir(data2 / "vigilon/docs_ja");
    test::writeFile(data2 / "vigilon/docs_ja/read1st.htm", "<html></html>");
    EXPECT_EQ(findHelpPage(here.path(), {"", data1.path(), data2.path()}), data2 / "vigilon/docs_ja/read1st.htm");

    test::makeDir(here / "docs_ja");
    test::writeFile(here / "docs_ja/read1st.htm", "<html></html>");
    EXPECT_EQ(findHelpPage(here.path(), {data1.path(), data2.path()}), here / "docs_ja/read1st.htm");

    // A directory of that name is no page.
    TempDir other;
    test::makeDir(other / "docs_ja/read1st.htm");
    EXPECT_EQ(findHelpPage(other.path(), {}), "");
}

TEST(HelpTest, PageIsOpenedByTheOpenerOrTheFailureShown)
{
    TempDir dir;
    const std::string log = dir / "opened.log";
    test::writeScript(dir / "opener", "printf '%s\\n' \"$@\" >> '" + log + "'\n");
    test::makeDir(dir / "docs_ja");
    test::writeFile(dir / "docs_ja/read1st.htm", "<html></html>");
    test::ChangeDir here(dir.path());

    PollEventLoop loop;
    RecordingPrompter prompter;
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
    test::writeScript(dir / "opener", "exit 4\n");
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
    const auto without = platform::makeSystemLauncher(loop, none);
    openHelpPage(*without, prompter);
    EXPECT_EQ(prompter.messages.size(), 2u);

    std::remove((dir / "docs_ja/read1st.htm").c_str());
    setenv("XDG_DATA_DIRS", (dir / "empty").c_str(), 1);
    openHelpPage(*launcher, prompter);
    unsetenv("XDG_DATA_DIRS");
    EXPECT_EQ(prompter.messages.size(), 3u);
}

TEST(HelpTest, ShippedPageIsJapaneseAndNamesTheMenu)
{
    const char *source = std::getenv("VIGILON_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::string page = test::readFile(std::string(source) + "/docs_ja/read1st.htm");
    ASSERT_FALSE(page.empty());
    EXPECT_NE(page.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(page.find("lang=\"ja\""), std::string::npos);
    // The menu items and tips as the program shows them.
    for (const char *text : {"サービスの開始/停止(&amp;S)", "ダイアログボックス表示/非表示(&amp;D)", "ヘルプ(&amp;H)...",
                             "バージョン情報(&amp;A)", "終了(&amp;X)", "%TARGET%", "-service",
                             "ポート監視サービスは停止しています", "ポート監視サービスが開始されています"})
        EXPECT_NE(page.find(text), std::string::npos) << text;
}

} // namespace
} // namespace vigilon
