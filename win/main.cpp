// SPDX-License-Identifier: MIT
// Vigilon.exe: a program of the GUI subsystem.
#include "win/WinMonitorApp.h"
#include "win/WinText.h"

#include <windows.h>

#include <cstdio>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    vigilon::win::attachParentConsole();
    // The runtime buffers standard error when it is a file or a pipe: the
    // lines of --verbose and the notices would come late, or be lost when
    // the program is terminated.
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    // The whole command line, program name included, as the switches are
    // read from it.
    vigilon::win::WinMonitorApp app(vigilon::win::narrow(GetCommandLineW()));
    return app.run();
}
