// SPDX-License-Identifier: MIT
#include "app/base/CommandLine.h"
#include "app/qt/MonitorApp.h"
#include "probes/SocketUtil.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    vigilon::net::raiseDescriptorLimit(); // every check holds a socket for a while
    // Taken before Qt removes the options it knows ("-title" is also a
    // target switch here).
    const std::string commandLine = vigilon::joinArguments(argc, argv);
    const vigilon::CommandLine parsed = vigilon::parseCommandLine(commandLine);
    if (parsed.showHelp || parsed.showVersion || !parsed.unknownOption.empty()) {
        vigilon::CMonitorApp app(commandLine);
        return app.run();
    }
    // Without a display the toolkit would abort. A service start monitors
    // headless; an interactive start has nothing to show.
    const auto set = [](const char *name) {
        const char *value = std::getenv(name);
        return value && *value;
    };
    if (!set("DISPLAY") && !set("WAYLAND_DISPLAY") && !set("QT_QPA_PLATFORM")) {
        if (!parsed.serviceMode) {
            std::fputs("vigilon: no graphical session (neither DISPLAY nor WAYLAND_DISPLAY is set); start it from a "
                       "desktop, or run it headless with -service\n",
                       stderr);
            return 1;
        }
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::fputs("vigilon: no graphical session; monitoring headless\n", stderr);
    }
    QApplication qapp(argc, argv);
    vigilon::CMonitorApp app(commandLine);
    return app.run();
}
