// SPDX-License-Identifier: MIT
#include "base/Language.h"

#include <windows.h>

namespace vigilon {

Language systemLanguage()
{
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? Language::Japanese : Language::English;
}

} // namespace vigilon
