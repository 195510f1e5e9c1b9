// SPDX-License-Identifier: MIT
// An alert program for the tests: writes its current directory, its command
// line to seen.txt beside itself, then ends. Given "hold NAME", it waits
// instead until a file "go" is beside it, then leaves a file "ran-NAME"
// there and ends.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    char self[MAX_PATH];
    std::string dir(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
    dir = dir.substr(0, dir.rfind('\\'));
    if (argc == 3 && std::string(argv[1]) == "hold") {
        while (GetFileAttributesA((dir + "\\go").c_str()) == INVALID_FILE_ATTRIBUTES)
            Sleep(50);
        if (FILE *f = std::fopen((dir + "\\ran-" + argv[2]).c_str(), "wb"))
            std::fclose(f);
        return 0;
    }
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
