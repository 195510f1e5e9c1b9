// SPDX-License-Identifier: MIT
#pragma once

// What the parts of Vigilsvc on Windows share: the service's names with the
// service control manager, and its texts.
#include <windows.h>

#include "service/ServiceStrings.h"

#include <cstddef>
#include <initializer_list>
#include <string>

namespace vigilon::svc {

// The service's names.
constexpr wchar_t kServiceNameW[] = L"Vigilsvc";
constexpr wchar_t kServiceKeyW[] = L"System\\CurrentControlSet\\Services\\Vigilsvc";
constexpr wchar_t kEventSourceKeyW[] = L"System\\CurrentControlSet\\Services\\EventLog\\Application\\Vigilsvc";
// The program's configuration key, as the security functions name it.
constexpr wchar_t kProgramKeyW[] = L"Software\\Ardentis\\Vigilon";
constexpr wchar_t kProgramKeyObjectW[] = L"MACHINE\\Software\\Ardentis\\Vigilon";
// The service-defined control that asks a running service to leave the
// Vigilon it started running when it stops ("-remove -leave").
constexpr DWORD kLeaveMonitorControl = 128;

// The language of the texts: the user's, set as the program starts.
extern Language g_language;

std::wstring widen(const std::string &utf8);
std::string narrow(const std::wstring &wide);
// A text of the string table from the program's resources, in the language
// the system picks; the built-in table should the resource be missing.
std::wstring text(unsigned id);
// Prints text id with its %1... filled in by args.
void print(unsigned id, std::initializer_list<std::string> args);
std::string displayName();
// The text of GetLastError() as "<message> (0x<code>)", or empty when the
// system has none or it does not fit the 256 characters of buffer.
wchar_t *lastErrorText(wchar_t *buffer, std::size_t size);
// The same as UTF-8.
std::string lastError();

} // namespace vigilon::svc
