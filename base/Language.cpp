// SPDX-License-Identifier: MIT
#include "base/Language.h"

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace vigilon {

namespace {

bool isSet(const char *value) { return value != nullptr && *value != '\0'; }

bool startsWithFolded(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

// -1: not chosen yet; otherwise the Language's value.
std::atomic<int> g_current{-1};

} // namespace

Language languageFromLocale(const char *lcAll, const char *lcMessages, const char *lang)
{
    const char *chosen = isSet(lcAll) ? lcAll : isSet(lcMessages) ? lcMessages : isSet(lang) ? lang : nullptr;
    if (chosen != nullptr && std::strncmp(chosen, "ja", 2) == 0)
        return Language::Japanese;
    return Language::English;
}

std::optional<Language> languageFromName(std::string_view name)
{
    for (const auto &[code, language] : {std::pair{"ja", Language::Japanese}, std::pair{"en", Language::English}}) {
        if (startsWithFolded(name, code) && (name.size() == 2 || name[2] == '_' || name[2] == '-' || name[2] == '.'))
            return language;
    }
    return std::nullopt;
}

Language chooseLanguage(std::string_view forced)
{
    if (const auto language = languageFromName(forced))
        return *language;
    if (const char *variable = std::getenv(kLanguageVariable); isSet(variable)) {
        if (const auto language = languageFromName(variable))
            return *language;
    }
    return systemLanguage();
}

Language currentLanguage()
{
    int value = g_current.load();
    if (value < 0) {
        value = static_cast<int>(chooseLanguage());
        int expected = -1;
        if (!g_current.compare_exchange_strong(expected, value))
            value = expected;
    }
    return static_cast<Language>(value);
}

void setCurrentLanguage(Language language) { g_current.store(static_cast<int>(language)); }

} // namespace vigilon
