// SPDX-License-Identifier: MIT
#pragma once

// Vigilsvc's watch loop on Windows: a service of the service control manager
// that starts Vigilon on the interactive desktop (see WinServiceHost.cpp).
#include <windows.h>

#include "service/ServiceStrings.h"

namespace vigilon::svc {

void logServiceEvent(EventType type, unsigned stringId);
BOOL reportServiceStatus(DWORD state, DWORD exitCode, DWORD waitHint);
// The path of this program.
std::wstring ownExecutable();
// The entry point that the service control manager calls.
VOID WINAPI serviceMain(DWORD, LPWSTR *);
// "-debug": the watch loop in the console, until Ctrl-C or Ctrl-Break.
void superviseInConsole();

} // namespace vigilon::svc
