// SPDX-License-Identifier: MIT
#pragma once

#include <windows.h>

#include <string>

namespace vigilon::test {

// A string of a module's table in one language (LANG_JAPANESE or
// LANG_ENGLISH), read from its resource block; empty when there is none.
inline std::wstring tableString(HMODULE module, unsigned id, WORD language)
{
    HRSRC block = FindResourceExW(module, reinterpret_cast<LPCWSTR>(RT_STRING), MAKEINTRESOURCEW(id / 16 + 1),
                                  MAKELANGID(language, language == LANG_JAPANESE ? SUBLANG_DEFAULT : SUBLANG_ENGLISH_US));
    if (block == nullptr)
        return {};
    const wchar_t *p = static_cast<const wchar_t *>(LockResource(LoadResource(module, block)));
    for (unsigned i = 0; p != nullptr && i < id % 16; ++i)
        p += 1 + *p;
    return p == nullptr ? std::wstring() : std::wstring(p + 1, *p);
}

} // namespace vigilon::test
