// SPDX-License-Identifier: MIT
#include "qt/MonitorApp.h"

#include "app/MainFrame.h"
#include "app/SystemProbes.h"
#include "qt/QtEventLoop.h"
#include "qt/QtFrameUi.h"
#include "qt/QtPrompter.h"
#include "qt/SingleInstance.h"
#include "qt/TrayWatcher.h"
#include "app/store/Settings.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <QTranslator>

#include <csignal>
#include <cstdio>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#ifndef VIGILON_VERSION
#define VIGILON_VERSION "0"
#endif

namespace vigilon {

namespace {
#ifndef _WIN32
int stopSignalFds[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] auto written = write(stopSignalFds[1], &byte, 1);
}
#endif

} // namespace

void installStopSignals(std::function<void()> onStop)
{
#ifndef _WIN32
    if (stopSignalFds[0] < 0 && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, stopSignalFds) != 0)
        return;
    fcntl(stopSignalFds[1], F_SETFL, O_NONBLOCK);
    auto *notifier = new QSocketNotifier(stopSignalFds[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [onStop = std::move(onStop)] {
        char buffer[16];
        [[maybe_unused]] auto got = read(stopSignalFds[0], buffer, sizeof buffer);
        onStop();
    });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
#else
    (void)onStop;
#endif
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

struct CMonitorApp::Parts {
    std::unique_ptr<SingleInstance> instance;
    std::unique_ptr<reg::Registry> registry;
    QtEventLoop loop;
    QtPrompter prompter;
    std::unique_ptr<QtFrameUi> ui;
    std::unique_ptr<ProbeFactory> probes;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<TrayWatcher> trayWatcher;
    QTranslator qtTranslator;
    int exitStatus = 0;
    bool stopRequested = false;
};

// One instance per store: a later start without "-service" has the first
// show its dialog and ends; with "-service" it waits its turn.
bool CMonitorApp::becomeOnlyInstance()
{
#ifndef _WIN32
    parts_->instance = std::make_unique<SingleInstance>(defaultRegistryPath());
    SingleInstance &instance = *parts_->instance;
    if (instance.tryLock())
        return true;
    // Two on one store would overwrite each other's configuration: without
    // the guard, no start.
    if (!instance.error().empty()) {
        std::fprintf(stderr, "vigilon: %s; not starting without the one-instance check\n", instance.error().c_str());
        parts_->exitStatus = 1;
        return false;
    }
    if (!commandLine_.serviceMode) {
        if (instance.askToShow())
            return false;
        std::fprintf(stderr, "vigilon: another Vigilon runs on this configuration store and does not answer\n");
        parts_->exitStatus = 1;
        return false;
    }
    std::fprintf(stderr, "vigilon: another Vigilon runs on this configuration store; waiting until it ends\n");
    if (!instance.waitForLock()) {
        std::fprintf(stderr, "vigilon: %s; not starting without the one-instance check\n", instance.error().c_str());
        parts_->exitStatus = 1;
        return false;
    }
#endif
    return true;
}

void CMonitorApp::showMainDialog()
{
    if (parts_ && parts_->frame)
        parts_->frame->showMainDialog();
}

CMonitorApp::CMonitorApp(const CommandLine &commandLine)
    : commandLine_(commandLine)
{
}

CMonitorApp::~CMonitorApp() = default;

int CMonitorApp::run()
{
    const char *store = "$VIGILON_REGISTRY, or in $XDG_CONFIG_HOME/vigilon/registry.sqlite";
    if (const int status = answerInformationalOptions(commandLine_, VIGILON_VERSION, store); status >= 0)
        return status;

    QApplication::setQuitOnLastWindowClosed(false);
    parts_ = std::make_unique<Parts>();
    installQtJapanese(parts_->qtTranslator);

    if (!becomeOnlyInstance())
        return parts_->exitStatus;
    // From here on a stop signal waits for the loop, so that one arriving
    // while the frame and its tray icon are made still ends in order.
    installStopSignals([this] {
        if (parts_->frame) {
            parts_->frame->exitNow();
            return;
        }
        // The frame is still being made, maybe under a box of its own:
        // leave every loop, and end once the frame stands.
        parts_->stopRequested = true;
        QCoreApplication::exit(0);
    });

    parts_->registry = openDefaultRegistry();
    parts_->ui = std::make_unique<QtFrameUi>(parts_->prompter);
    parts_->probes = makeSystemProbeFactory(parts_->loop);

    parts_->frame = createProgramFrame(commandLine_, parts_->loop, parts_->prompter, *parts_->registry, *parts_->ui,
                                       *parts_->probes);
    if (!parts_->frame)
        return 1;
    if (parts_->stopRequested) {
        parts_->frame->exitNow();
        parts_->frame.reset();
        return 0;
    }

    parts_->trayWatcher = std::make_unique<TrayWatcher>(*parts_->frame);
    if (parts_->instance && parts_->instance->locked() && !parts_->instance->listen([this] { showMainDialog(); }))
        std::fprintf(stderr, "vigilon: %s\n", parts_->instance->error().c_str());

    const int status = QApplication::exec();
    // A frame still open here ends as the program ends.
    if (parts_->frame && !parts_->frame->closed())
        setLogonFlag(*parts_->registry, 0);
    parts_->trayWatcher.reset();
    parts_->frame.reset();
    // Windows the frame let go of while the loop ran go now.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return status;
}

} // namespace vigilon
