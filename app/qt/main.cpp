// SPDX-License-Identifier: MIT
#include "app/base/CommandLine.h"
#include "app/qt/MonitorApp.h"
#include "probes/SocketUtil.h"

#include <QApplication>

int main(int argc, char **argv)
{
    vigilon::net::raiseDescriptorLimit(); // every check holds a socket for a while
    // Taken before Qt removes the options it knows ("-title" is also a
    // target switch here).
    const std::string commandLine = vigilon::joinArguments(argc, argv);
    const vigilon::CommandLine parsed = vigilon::parseCommandLine(commandLine);
    if (parsed.showHelp || parsed.showVersion) {
        vigilon::CMonitorApp app(commandLine);
        return app.run();
    }
    QApplication qapp(argc, argv);
    vigilon::CMonitorApp app(commandLine);
    return app.run();
}
