// SPDX-License-Identifier: MIT
#pragma once

// Vigilsvc's console actions on Windows that install, stop and remove the
// service, and give or take back the users' access to the configuration.
#include <windows.h>

#include <string>

namespace vigilon::svc {

int registerServiceKeys(const std::wstring &path);
// "-grant" and "-revoke": the outcome, and what the grant means.
int changeAccessAndSay(bool grant);
void installService();
// leave: the process id of a Vigilon to be left running when the service
// stops, as the Vigilon that removes its own autostart asks; one that the
// service did not start is ended with it as ever.
void stopOrRemove(bool remove, DWORD leave = 0);

} // namespace vigilon::svc
