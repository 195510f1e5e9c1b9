// SPDX-License-Identifier: MIT
#include "qt/QtMonitorApp.h"

#include "app/Monitor.h"
#include "app/ProgramHost.h"
#include "base/Language.h"
#include "base/StandardError.h"
#include "qt/QtEventLoop.h"
#include "qt/QtFrameUi.h"
#include "qt/QtPrompter.h"
#include "qt/SessionBus.h"
#include "qt/SingleInstance.h"
#include "qt/TrayWatcher.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTranslator>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#ifndef VIGILON_VERSION
#define VIGILON_VERSION "0"
#endif

namespace vigilon {

namespace {
int stopSignalFds[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] auto written = write(stopSignalFds[1], &byte, 1);
}

// The session's end (the session manager's last word) and the platform's
// own requests to end reach the application as a Quit event. Left to Qt, it
// would close the main dialog first, which asks whether to end, and the
// session would wait on that question: here they end the program in order
// and ask nobody.
class QuitRequests final : public QObject {
public:
    explicit QuitRequests(std::function<void()> onQuit) : onQuit_(std::move(onQuit))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != QCoreApplication::instance() || event->type() != QEvent::Quit)
            return false;
        onQuit_();
        return true;
    }

private:
    std::function<void()> onQuit_;
};

// The program whose loop runs. Qt leaves through exit() when it loses its
// display (the X server ends with the session): the program still ends in
// order then.
ProgramHost *runningHost = nullptr;

void endAtExit()
{
    if (ProgramHost *host = std::exchange(runningHost, nullptr))
        host->end();
}

} // namespace

std::unique_ptr<QObject> installStopSignals(std::function<void()> onStop)
{
    if (stopSignalFds[0] < 0 && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stopSignalFds) != 0)
        return nullptr;
    for (int fd : stopSignalFds)
        fcntl(fd, F_SETFL, O_NONBLOCK);
    auto notifier = std::make_unique<QSocketNotifier>(stopSignalFds[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [onStop = std::move(onStop)] {
        char buffer[16];
        [[maybe_unused]] auto got = read(stopSignalFds[0], buffer, sizeof buffer);
        onStop();
    });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // SIGHUP: the terminal the program was started from went, or the
    // session ends and hangs up on it; left alone it would end the program
    // with "Logon" still set.
    for (int stop : {SIGTERM, SIGINT, SIGHUP})
        sigaction(stop, &action, nullptr);
    return notifier;
}

bool installQtJapanese(QTranslator &translator)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                         folder)) {
        std::fprintf(stderr,
                     "vigilon: qtbase_ja.qm is not in %s; standard buttons stay in English "
                     "(Debian package qt6-translations-l10n)\n",
                     qPrintable(folder));
        return false;
    }
    return QCoreApplication::installTranslator(&translator);
}

struct QtMonitorApp::Parts {
    explicit Parts(const CommandLine &commandLine) : host(commandLine) {}
    std::unique_ptr<SingleInstance> instance;
    QtEventLoop loop;
    QtPrompter prompter;
    std::unique_ptr<QtFrameUi> ui;
    // Made after the parts it runs over, and ended before them.
    ProgramHost host;
    std::unique_ptr<TrayWatcher> trayWatcher;
    std::unique_ptr<QObject> stopSignals;
    std::unique_ptr<QuitRequests> quitRequests;
    QTranslator qtTranslator;
    bool stopRequested = false;
};

QtMonitorApp::QtMonitorApp(const CommandLine &commandLine)
    : commandLine_(commandLine)
{
}

QtMonitorApp::~QtMonitorApp() = default;

int QtMonitorApp::run()
{
    const char *store = "$VIGILON_REGISTRY, or in $XDG_CONFIG_HOME/vigilon/registry.sqlite";
    if (const int status = answerInformationalOptions(commandLine_, VIGILON_VERSION, store); status >= 0)
        return status;

    QApplication::setQuitOnLastWindowClosed(false);
    applyLanguage(commandLine_);
    parts_ = std::make_unique<Parts>(commandLine_);
    // Qt's own texts (the standard buttons) follow the interface's language.
    if (currentLanguage() == Language::Japanese)
        installQtJapanese(parts_->qtTranslator);
    ProgramHost &host = parts_->host;

    // From here on a stop signal waits for the loop, so that one arriving
    // while the program waits for the one-instance lock, or while the frame
    // and its tray icon are made, still ends in order.
    const auto stop = [this] {
        if (parts_->host.frame()) {
            parts_->host.end();
            return;
        }
        // The frame is still being made, maybe under a box of its own:
        // leave every loop, and end once the frame stands.
        parts_->stopRequested = true;
        QCoreApplication::exit(0);
    };
    parts_->stopSignals = installStopSignals(stop);
    parts_->quitRequests = std::make_unique<QuitRequests>(stop);

    parts_->instance = std::make_unique<SingleInstance>(ProgramHost::storePath());
    parts_->instance->setStopDescriptor(stopSignalFds[0]);
    if (!host.becomeOnlyInstance(*parts_->instance))
        return host.exitStatus();
    // Whatever the session bus does, monitoring starts, and a stop signal is
    // heard.
    SessionBus::begin(stopSignalFds[0]);

    parts_->ui = std::make_unique<QtFrameUi>(parts_->prompter, ProgramHost::clock());
    if (!host.start(parts_->loop, parts_->prompter, *parts_->ui))
        return host.exitStatus();
    if (parts_->stopRequested) {
        host.release();
        return 0;
    }

    parts_->trayWatcher = std::make_unique<TrayWatcher>(*host.frame());
    host.serveLaterStarts(*parts_->instance);

    static const bool endsAtExit = std::atexit(endAtExit) == 0;
    if (endsAtExit)
        runningHost = &host;
    // From here on, a line for every check is written with the others of
    // the loop's pass, not one at a time: the loop flushes standard error
    // before it waits (and the engine once a pass).
    if (commandLine_.verbose)
        bufferStandardError();
    const int status = QApplication::exec();
    runningHost = nullptr;
    parts_->trayWatcher.reset();
    host.release();
    // Windows the frame let go of while the loop ran go now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}

} // namespace vigilon
