// SPDX-License-Identifier: MIT
// The store's text on Windows: the registry is reached through the ANSI
// calls, so names and strings are in the system's ANSI code page.
#include "store/RegFile.h"

#include <windows.h>

namespace vigilon::reg {

namespace {

// Text of one code page through UTF-16 into another; false when a
// character has no form in the target (no best-fit stand-ins).
bool convert(const std::string &text, UINT from, UINT to, std::string &out)
{
    out.clear();
    if (text.empty())
        return true;
    const int inLength = static_cast<int>(text.size());
    const int wide = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), inLength, nullptr, 0);
    if (wide <= 0)
        return false;
    std::wstring units(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), inLength, units.data(), wide);
    BOOL lossy = FALSE;
    const bool toUtf8 = to == CP_UTF8;
    const DWORD flags = toUtf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const int narrow = WideCharToMultiByte(to, flags, units.data(), wide, nullptr, 0, nullptr, toUtf8 ? nullptr : &lossy);
    if (narrow <= 0 || lossy)
        return false;
    out.resize(static_cast<std::size_t>(narrow));
    WideCharToMultiByte(to, flags, units.data(), wide, out.data(), narrow, nullptr, toUtf8 ? nullptr : &lossy);
    return !lossy;
}

} // namespace

bool storeTextToUtf8(const std::string &stored, std::string &utf8)
{
    return convert(stored, CP_ACP, CP_UTF8, utf8);
}

bool utf8ToStoreText(const std::string &utf8, std::string &stored)
{
    return convert(utf8, CP_UTF8, CP_ACP, stored);
}

} // namespace vigilon::reg
