// SPDX-License-Identifier: MIT
#include "app/base/CommandLine.h"
#include "app/base/Language.h"
#include "app/base/System.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace vigilon {
namespace {

constexpr auto En = Language::English;
constexpr auto Ja = Language::Japanese;

// Sets or clears an environment variable for one scope.
class ScopedVariable {
public:
    ScopedVariable(const char *name, const char *value) : name_(name)
    {
        if (const char *old = std::getenv(name))
            old_ = old;
        set(name, value);
    }
    ~ScopedVariable() { set(name_, old_ ? old_->c_str() : nullptr); }

private:
    static void set(const char *name, const char *value)
    {
#ifdef _WIN32
        _putenv_s(name, value ? value : "");
#else
        value ? setenv(name, value, 1) : unsetenv(name);
#endif
    }
    const char *name_;
    std::optional<std::string> old_;
};

} // namespace

TEST(Language, TheFirstSetLocaleVariableDecides)
{
    struct Case {
        const char *lcAll, *lcMessages, *lang;
        Language expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, En},
        {nullptr, nullptr, "ja_JP.UTF-8", Ja},
        {nullptr, nullptr, "C.UTF-8", En},
        {nullptr, "ja_JP.eucJP", "C", Ja},
        {nullptr, "en_GB.UTF-8", "ja_JP.UTF-8", En},
        {"C", "ja_JP.UTF-8", "ja_JP.UTF-8", En},
        {"ja", "C", "C", Ja},
        {"", "", "ja_JP.UTF-8", Ja}, // empty counts as unset
        {nullptr, nullptr, "jv_ID", En},
    };
    for (const Case &c : cases)
        EXPECT_EQ(languageFromLocale(c.lcAll, c.lcMessages, c.lang), c.expected)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " " << (c.lang ? c.lang : "-");
}

TEST(Language, ForcedByNameThenVariableThenLocale)
{
    EXPECT_EQ(languageFromName("ja"), Ja);
    EXPECT_EQ(languageFromName("EN"), En);
    EXPECT_EQ(languageFromName("ja_JP.UTF-8"), Ja);
    EXPECT_EQ(languageFromName("jav"), std::nullopt);
    EXPECT_EQ(languageFromName(""), std::nullopt);

    const ScopedVariable all("LC_ALL", nullptr), messages("LC_MESSAGES", nullptr), lang("LANG", "ja_JP.UTF-8");
    if constexpr (!kWindowsBuild) {
        EXPECT_EQ(systemLanguage(), Ja) << "the locale decides on Linux";
    }
    const Language system = systemLanguage();
    {
        const ScopedVariable forced(kLanguageVariable, nullptr);
        EXPECT_EQ(chooseLanguage(), system);
        EXPECT_EQ(chooseLanguage("en"), En);
    }
    {
        const ScopedVariable forced(kLanguageVariable, "en");
        EXPECT_EQ(chooseLanguage(), En);
        EXPECT_EQ(chooseLanguage("ja"), Ja) << "the command line wins over the variable";
    }
    {
        const ScopedVariable forced(kLanguageVariable, "fr");
        EXPECT_EQ(chooseLanguage(), system) << "an unknown name leaves the choice to the system";
    }
}

TEST(Language, TheCommandLineForcesALanguage)
{
    EXPECT_EQ(parseCommandLine("vigilon --lang=en -service").language, "en");
    EXPECT_EQ(parseCommandLine("vigilon --lang=ja").language, "ja");
    EXPECT_TRUE(parseCommandLine("vigilon --lang=ja").unknownOption.empty());
    EXPECT_EQ(parseCommandLine("vigilon --lang=fr").unknownOption, "--lang=fr");

    const ScopedVariable forced(kLanguageVariable, "ja");
    const Language before = currentLanguage();
    applyLanguage(parseCommandLine("vigilon --lang=en"));
    EXPECT_EQ(currentLanguage(), En);
    applyLanguage(parseCommandLine("vigilon"));
    EXPECT_EQ(currentLanguage(), Ja);
    setCurrentLanguage(before);
}

} // namespace vigilon
