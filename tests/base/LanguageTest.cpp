// SPDX-License-Identifier: MIT
#include "base/CommandLine.h"
#include "base/Language.h"
#include "base/System.h"
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

namespace vigilon {

constexpr auto En = Language::English;
constexpr auto Ja = Language::Japanese;

TEST(Language, TheFirstSetLocaleVariableDecides)
{
    struct Case {
        const char *lcAll, *lcMessages, *lang;
        Language expected;
    } const cases[] = {
        {nullptr, nullptr, nullptr, En},       {nullptr, nullptr, "ja_JP.UTF-8", Ja}, {nullptr, nullptr, "C.UTF-8", En},
        {nullptr, "ja_JP.eucJP", "C", Ja},     {nullptr, "en_GB.UTF-8", "ja_JP", En}, {"C", "ja_JP", "ja_JP", En},
        {"ja", "C", "C", Ja},                  {"", "", "ja_JP.UTF-8", Ja},           {nullptr, nullptr, "jv_ID", En},
    };
    for (const Case &c : cases)
        EXPECT_EQ(languageFromLocale(c.lcAll, c.lcMessages, c.lang), c.expected) << &c - cases;
}

// The command line, then VIGILON_LANG, then the system (on Linux the locale).
TEST(Language, ForcedByTheCommandLineThenTheVariable)
{
    EXPECT_EQ(languageFromName("EN"), En);
    EXPECT_EQ(languageFromName("ja_JP.UTF-8"), Ja);
    EXPECT_EQ(languageFromName("jav"), std::nullopt);
    const test::ScopedEnv locale{{"LC_ALL", std::nullopt}, {"LC_MESSAGES", std::nullopt}, {"LANG", "ja_JP.UTF-8"}};
    if constexpr (!kWindowsBuild) {
        EXPECT_EQ(systemLanguage(), Ja);
    }
    for (const auto &[variable, forced, expected] : {std::tuple{"", "", systemLanguage()}, {"", "en", En},
                                                     {"en", "", En}, {"en", "ja", Ja}, {"fr", "", systemLanguage()}}) {
        const test::ScopedEnv env{{kLanguageVariable, variable}};
        EXPECT_EQ(chooseLanguage(forced), expected) << variable << " " << forced;
        applyLanguage(parseCommandLine(std::string("vigilon ") + (*forced ? "--lang=" : "") + forced));
        EXPECT_EQ(currentLanguage(), expected) << variable << " " << forced;
    }
    EXPECT_EQ(parseCommandLine("vigilon --lang=ja -service").unknownOption, "");
    EXPECT_EQ(parseCommandLine("vigilon --lang=fr").unknownOption, "--lang=fr");
    setCurrentLanguage(Ja);
}

} // namespace vigilon
