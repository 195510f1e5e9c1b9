// SPDX-License-Identifier: MIT
// Vigilon.exe: a program of the GUI subsystem.
#include "app/win/WinMonitorApp.h"
#include "app/win/WinText.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    vigilon::win::attachParentConsole();
    // The whole command line, program name included, as the switches are
    // read from it.
    vigilon::win::WinMonitorApp app(vigilon::win::narrow(GetCommandLineW()));
    return app.run();
}
