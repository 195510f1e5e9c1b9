// SPDX-License-Identifier: MIT
#include "base/CommandLine.h"
#include "store/InstanceLock.h"
#include "qt/QtMonitorApp.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    // Taken before Qt removes the options it knows ("-title" is also a
    // target switch here).
    // Each argument is taken whole, as the shell gave it.
    const vigilon::CommandLine parsed = vigilon::parseArguments(argc, argv);
    if (parsed.showHelp || parsed.showVersion || !parsed.unknownOption.empty()) {
        vigilon::QtMonitorApp app(parsed);
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
    // Qt wants a runtime folder and says so on every start without one (a
    // headless or service start often has none). Give it the private folder
    // the one-instance lock uses then; a folder the session set is kept.
    if (!set("XDG_RUNTIME_DIR")) {
        std::string error;
        const std::string runtime = vigilon::instanceRuntimeDir(error);
        if (!runtime.empty())
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    QApplication qapp(argc, argv);
    // Docks match the window to the desktop entry by this name (Wayland's
    // app id; under X11 the window class is the program's name, "Vigilon").
    QGuiApplication::setDesktopFileName(QStringLiteral("com.ardentis.Vigilon"));
    vigilon::QtMonitorApp app(parsed);
    return app.run();
}
