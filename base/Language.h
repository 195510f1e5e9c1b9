// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string_view>

namespace vigilon {

// The two languages of the interface.
enum class Language { English, Japanese };

// The language of a messages locale: the first of LC_ALL, LC_MESSAGES and
// LANG that is set and not empty decides, and a value that begins with "ja"
// means Japanese. Null arguments count as unset.
Language languageFromLocale(const char *lcAll, const char *lcMessages, const char *lang);

// A language asked for by name: "en" or "ja" (case-insensitive, with or
// without a region such as "ja_JP"); nothing for any other text.
std::optional<Language> languageFromName(std::string_view name);

// The language the system gives this user: on Windows the user's interface
// language, elsewhere the messages locale of the environment.
Language systemLanguage();

// The language to use: forced when it names one, else the environment's
// VIGILON_LANG when that names one, else the system's.
Language chooseLanguage(std::string_view forced = {});

// The language of this process's texts. Until one is set, the choice
// without a forced name.
Language currentLanguage();
void setCurrentLanguage(Language language);

// The environment variable that forces a language.
inline constexpr const char *kLanguageVariable = "VIGILON_LANG";

} // namespace vigilon
