// SPDX-License-Identifier: MIT
// Stands in for Vigilon.exe under the service: appends one line for each
// start to starts.txt beside itself, "<pid>|<current directory>|<command
// line>", and then stays running (at most five minutes) until it is ended.
#include <windows.h>

#include <cstdio>
#include <string>

int main()
{
    char self[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self, n);
    dir = dir.substr(0, dir.rfind('\\'));
    char cwd[MAX_PATH];
    const DWORD cwdLength = GetCurrentDirectoryA(MAX_PATH, cwd);

    const std::string line = std::to_string(GetCurrentProcessId()) + "|" + std::string(cwd, cwdLength) + "|" +
                             GetCommandLineA() + "\n";
    if (FILE *f = std::fopen((dir + "\\starts.txt").c_str(), "ab")) {
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
    }
    Sleep(300000);
    return 0;
}
