// SPDX-License-Identifier: MIT
// Vigilsvc on Windows: picks the action from the command line. The service
// itself is in WinServiceHost, the console actions in WinServiceInstall.
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#include <windows.h>

#include <shellapi.h>

#include "store/Settings.h"
#include "service/ServiceCommand.h"
#include "service/ServiceStrings.h"
#include "service/Vigilsvc.h"
#include "service/windows/WinServiceHost.h"
#include "service/windows/WinServiceInstall.h"
#include "service/windows/WinServiceText.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace vigilon::svc {

int runVigilsvc(int, char **)
{
    std::setlocale(LC_ALL, "");
    g_language = userLanguage();

    int argc = 0;
    LPWSTR *wargv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; wargv != nullptr && i < argc; ++i)
        args.push_back(narrow(wargv[i]));
    if (wargv != nullptr)
        LocalFree(wargv);
    std::vector<const char *> argv;
    for (const std::string &a : args)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);

    // The installer's choice: whether the users at the desktop may change
    // the configuration.
    for (const bool grant : {true, false}) {
        const char *keyword = grant ? "grant" : "revoke";
        if (args.size() >= 2 && (args[1] == std::string("-") + keyword || args[1] == std::string("/") + keyword))
            return changeAccessAndSay(grant);
    }

    switch (parseServiceCommand(static_cast<int>(args.size()), argv.data())) {
    case ServiceCommand::Install:
        installService();
        return 0;
    case ServiceCommand::Stop:
        stopOrRemove(false);
        return 0;
    case ServiceCommand::Remove: {
        // "-remove -leave PID": see stopOrRemove.
        DWORD leave = 0;
        if (args.size() >= 4 && (args[2] == "-leave" || args[2] == "/leave"))
            leave = static_cast<DWORD>(std::strtoul(args[3].c_str(), nullptr, 10));
        stopOrRemove(true, leave);
        return 0;
    }
    case ServiceCommand::Debug:
        superviseInConsole();
        return 0;
    case ServiceCommand::Service:
        break;
    }

    std::wprintf(L"%ls", widen(usageText()).c_str());
    std::fflush(stdout);
    wchar_t name[] = L"Vigilsvc";
    const SERVICE_TABLE_ENTRYW table[] = {{name, serviceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table))
        logServiceEvent(EventType::Error, ssid::DispatcherFailed);
    return 0;
}

} // namespace vigilon::svc
