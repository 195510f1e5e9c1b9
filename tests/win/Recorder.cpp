// SPDX-License-Identifier: MIT
// An alert program for the tests: writes its current directory, its command
// line to seen.txt beside itself, then ends.
#include <windows.h>

#include <cstdio>
#include <string>

int main()
{
    char self[MAX_PATH];
    std::string dir(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    dir = dir.substr(0, dir.rfind('\\'));
    char cwd[MAX_PATH];
    const std::string current(cwd, GetCurrentDirectoryA(MAX_PATH, cwd));
    const std::string text = current + "\n" + GetCommandLineA() + "\n";
    const std::string partial = dir + "\\seen.part";
    if (FILE *f = std::fopen(partial.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
        MoveFileA(partial.c_str(), (dir + "\\seen.txt").c_str());
    }
    return 0;
}
