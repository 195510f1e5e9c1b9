// SPDX-License-Identifier: MIT
#pragma once

#include "base/CommandLine.h"

#include <functional>
#include <memory>
#include <string>

class QObject;
class QTranslator;

namespace vigilon {

// The application object: reads the command line, makes the frame, runs the
// event loop and ends in order, also when the system asks it to stop.
class QtMonitorApp {
public:
    // commandLine: the arguments as they were before the toolkit took its
    // own options out.
    explicit QtMonitorApp(const CommandLine &commandLine);
    ~QtMonitorApp();
    QtMonitorApp(const QtMonitorApp &) = delete;
    QtMonitorApp &operator=(const QtMonitorApp &) = delete;

    // Runs the program; returns its exit status.
    int run();

    const CommandLine &commandLine() const { return commandLine_; }

private:
    struct Parts;
    CommandLine commandLine_;
    std::unique_ptr<Parts> parts_;
};

// Loads Qt's own Japanese translation (qtbase_ja.qm from Qt's translations
// folder) into translator and installs it, so that standard buttons read
// "はい(&Y)" and "いいえ(&N)". False, with a note on standard error, when the
// file is missing.
bool installQtJapanese(QTranslator &translator);

// Installs handlers that turn SIGTERM, SIGINT and SIGHUP into a call of
// onStop on the Qt event loop, for as long as the returned object lives
// (null when the signals cannot be watched).
std::unique_ptr<QObject> installStopSignals(std::function<void()> onStop);

} // namespace vigilon
