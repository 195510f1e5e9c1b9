// SPDX-License-Identifier: MIT
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>

#include "service/windows/WinServiceText.h"

#include "base/TextFormat.h"

#include <cstdio>
#include <cwchar>

namespace vigilon::svc {

Language g_language = Language::English;

std::wstring widen(const std::string &utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(const std::wstring &wide)
{
    if (wide.empty())
        return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// A text of the string table from the program's resources, in the language
// the system picks; the built-in table should the resource be missing.
std::wstring text(unsigned id)
{
    wchar_t buffer[1025];
    const int n = LoadStringW(GetModuleHandleW(nullptr), id, buffer, 1025);
    if (n > 0)
        return std::wstring(buffer, static_cast<std::size_t>(n));
    return widen(serviceString(id, g_language));
}

void print(unsigned id, std::initializer_list<std::string> args)
{
    std::wprintf(L"%ls", widen(formatText(narrow(text(id)), args)).c_str());
    std::fflush(stdout);
}

std::string displayName() { return narrow(text(ssid::DisplayName)); }

// The text of GetLastError() as "<message> (0x<code>)", or empty when the
// system has none or it does not fit the 256 characters of buffer.
wchar_t *lastErrorText(wchar_t *buffer, std::size_t size)
{
    const DWORD error = GetLastError();
    wchar_t *message = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                        nullptr, error, LANG_NEUTRAL, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
    buffer[0] = L'\0';
    if (length >= 2 && length + 14 < size) {
        message[length - 2] = L'\0'; // the CR LF that system messages end with
        std::swprintf(buffer, size, L"%ls (0x%lx)", message, static_cast<unsigned long>(error));
    }
    if (message != nullptr)
        LocalFree(message);
    return buffer;
}

std::string lastError()
{
    wchar_t buffer[256];
    return narrow(lastErrorText(buffer, 256));
}

} // namespace vigilon::svc
