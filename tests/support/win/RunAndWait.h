// SPDX-License-Identifier: MIT
#pragma once

#include <windows.h>

#include <string>

namespace vigilon::test {

// Starts a command line, waits for the process to end and gives its exit
// status; the error of the start when it could not be started.
inline DWORD runAndWait(std::wstring commandLine)
{
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return GetLastError();
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

} // namespace vigilon::test
