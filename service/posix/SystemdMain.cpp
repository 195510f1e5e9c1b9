// SPDX-License-Identifier: MIT
#include "base/TextFormat.h"
#include "store/Settings.h"
#include "service/ServiceCommand.h"
#include "service/Supervisor.h"
#include "service/Vigilsvc.h"
#include "service/posix/SystemdHost.h"
#include "service/posix/UserUnit.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <time.h>

namespace vigilon::svc {

namespace {

void printOut(const std::string &text)
{
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

void sleepMs(unsigned ms)
{
    timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

ServiceContext makeContext(Language language)
{
    ServiceContext c;
    c.language = language;
    c.execPath = ownExecutablePath();
    c.execPathError = c.execPath.empty() ? errno : 0;
    c.unitDirectory = userUnitDirectory();
    c.autostartPath = userAutostartPath();
    c.openRegistry = [] { return openDefaultRegistry(); };
    c.print = printOut;
    c.sleep = sleepMs;
    return c;
}

bool startedByServiceManager()
{
    for (const char *name : {"INVOCATION_ID", "NOTIFY_SOCKET"}) {
        const char *v = std::getenv(name);
        if (v != nullptr && *v != '\0')
            return true;
    }
    return false;
}

// The watch loop, as the service or in the console.
void supervise(bool debugMode, Language language)
{
    const std::string self = ownExecutablePath();
    HostOptions options;
    options.debugMode = debugMode;
    options.monitorDir = directoryOf(self);
    options.monitorPath = options.monitorDir + "/vigilon";
    options.openRegistry = [] { return openDefaultRegistry(); };
    options.language = language;
    CSystemdHost host(options);
    host.installSignalHandlers();

    CSupervisor supervisor(host);
    if (host.reportServiceStatus(ServiceState::StartPending, 0, 3000))
        supervisor.superviseMonitor();
    host.reportServiceStatus(ServiceState::Stopped, 0, 0);
}

const char *const kLinuxUsage =
    "Usage: vigilsvc [-install | -stop | -remove | -debug]\n"
    "  -install   write the systemd user unit, enable it and start it\n"
    "  -stop      stop the running service\n"
    "  -remove    stop the service, disable it and remove its unit\n"
    "  -debug     watch Vigilon from this console until Ctrl-C\n"
    "Without an argument, vigilsvc runs as the service when systemd starts it.\n";

} // namespace

int runVigilsvc(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    const Language language = userLanguage();
    const std::string display = serviceString(ssid::DisplayName, language);

    switch (parseServiceCommand(argc, argv)) {
    case ServiceCommand::Install:
        return installService(makeContext(language)) ? 0 : 1;
    case ServiceCommand::Stop:
        return stopService(makeContext(language)) ? 0 : 1;
    case ServiceCommand::Remove:
        return removeService(makeContext(language)) ? 0 : 1;
    case ServiceCommand::Debug:
        printOut(formatText("Debugging %s.\n", {display}));
        supervise(true, language);
        return 0;
    case ServiceCommand::Service:
        break;
    }
    if (argc >= 2) {
        const std::string arg = argv[1];
        if (arg == "--help" || arg == "-h" || arg == "-help" || arg == "/?") {
            printOut(kLinuxUsage);
            return 0;
        }
        std::fprintf(stderr, "vigilsvc: unknown argument \"%s\"\n%s", arg.c_str(), kLinuxUsage);
        return 2;
    }

    printOut(usageText());
    if (startedByServiceManager()) {
        supervise(false, language);
    } else {
        // Not under systemd: there is no service to run.
        HostOptions options;
        options.language = language;
        CSystemdHost(options).logServiceEvent(EventType::Error, ssid::DispatcherFailed);
    }
    return 0;
}

} // namespace vigilon::svc
