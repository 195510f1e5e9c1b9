// SPDX-License-Identifier: MIT
#include "base/Language.h"

#include <cstdlib>

namespace vigilon {

Language systemLanguage()
{
    return languageFromLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

} // namespace vigilon
