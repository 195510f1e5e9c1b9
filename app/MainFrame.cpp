// SPDX-License-Identifier: MIT
// Creation and end of the main frame.
#include "app/MainFrame.h"

#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "store/Settings.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace vigilon {

namespace {
constexpr const char *kNothingWatched =
    "vigilon: monitoring runs, but no entry is configured and ticked, so nothing is watched. Add one in the main "
    "dialog (start vigilon in a desktop session), or with vigilon-reg while Vigilon is not running; "
    "vigilon-reg(1) shows the lines.\n";
} // namespace

namespace {
EngineContext engineContext(const FrameContext &context, const std::string &targetHost)
{
    EngineContext engine;
    engine.loop = context.loop;
    engine.clock = context.clock;
    engine.probes = context.probes;
    engine.targetHost = &targetHost;
    engine.verbose = context.verbose;
    engine.runCommand = context.runCommand;
    engine.runAlert = context.runAlert;
    engine.observers = context.observers;
    return engine;
}
} // namespace

CMainFrame::CMainFrame(const FrameContext &context)
    : context_(context)
    , engine_(engineContext(context_, context_.targetHost), ports_, *this)
{
    if (context_.ui) {
        graphs_ = std::make_unique<GraphWindows>(*context_.ui, *context_.prompter);
        graphs_->watchHistory(*this);
    }
}

CMainFrame::~CMainFrame()
{
    if (!closed_) {
        cleanUp();
        destroyFrame();
    }
}

bool CMainFrame::create()
{
    // The hidden window and its child view are the user interface's; what
    // remains here are the steps from the socket library on.
    if (!context_.sockets->startup()) {
        context_.prompter->messageBox(loadString(sid::SocketStartupFailed), "", mb::Ok);
        // The frame would live on with nothing the user could reach or end:
        // end the program instead.
        std::fputs("vigilon: the socket library cannot be started; ending\n", stderr);
        return false;
    }
    socketsStarted_ = true;
    serviceMode_ = context_.serviceMode;

    trayIcon_ = context_.ui->createTrayIcon(*this);
    updateTrayIcon(TrayOp::Add, res::IconStopped);

    created_ = true;
    if (!loadStore()) {
        // Another process holds the store: running on the defaults would
        // watch nothing and could save them over the configuration.
        std::fputs("vigilon: the configuration store is busy; waiting until it can be read\n", stderr);
        context_.loop->setTimer(this, timers::StoreRetry, timers::StoreRetryMs, [this] {
            if (closed_ || !loadStore())
                return;
            context_.loop->killTimer(this, timers::StoreRetry);
            finishCreate();
        });
        return true;
    }
    finishCreate();
    return true;
}

bool CMainFrame::loadStore()
{
    reg::Status loadStatus = reg::Status::Ok;
    std::string target = context_.targetHost;
    LoadedSettings loaded = loadSettings(*context_.registry, serviceMode_ && !context_.targetGiven, target, &loadStatus, &stored_);
    // Nothing is saved before the configuration has been read.
    storeUnreadable_ = true;
    if (loadStatus == reg::Status::Busy)
        return false;
    context_.targetHost = target;
    storeUnreadable_ = false;
    if (loadStatus != reg::Status::Ok && loadStatus != reg::Status::NotFound) {
        // Saving the defaults now would overwrite the configuration that
        // could not be read.
        storeUnreadable_ = true;
        std::fprintf(stderr, "vigilon: the configuration could not be read (%s); starting with the defaults, "
                             "and changes will not be saved in this run\n",
                     reg::statusText(loadStatus));
    }
    windowLayout_ = loadWindowLayout(*context_.registry);
    engine_.setIntervalSeconds(loaded.intervalSeconds);
    engine_.setRetryLimit(loaded.retryLimit);
    notifications_ = loaded.notifications;
    // The history was opened by what the store said before the load, which
    // a busy store may have kept from it.
    historyKept_ = loaded.historyKept;
    if (context_.keepHistory)
        context_.keepHistory(historyKept_);
    ports_ = std::move(loaded.ports);
    appendPlaceholder(ports_);
    for (std::size_t i = 0; i < ports_.size(); ++i) {
        ports_[i]->id = nextEntryId_++;
        ports_[i]->rowHint = i;
    }
    // Quiet periods show before monitoring starts.
    engine_.updateQuiet(context_.clock->nowSeconds());
    // Tokens made for heartbeat entries stored without one, and ids given
    // to entries stored without one, are stored at once: the store shows
    // what the jobs must call, and the ids stay from now on.
    const bool idsGiven = giveStableIds();
    if ((loaded.tokensMade || idsGiven) && !storeUnreadable_)
        saveSettings();
    else
        entriesSettled();
    // Said on standard error by the load as well; here for whoever sits at
    // the desktop.
    for (const auto &entry : ports_) {
        if (judgesHttpStatus(entry->protocol) && !entry->httpStatus.valid())
            context_.prompter->notice(
                formatText(loadString(sid::HttpStatusRefused), {entry->name, entry->httpStatus.text()}), "",
                mb::Ok | mb::IconExclamation);
        if (judgesHttpStatus(entry->protocol) && !entry->request.contentRule.valid())
            context_.prompter->notice(formatText(loadString(sid::ContentRuleRefused),
                                                 {entry->name, entry->request.contentRule.text(),
                                                  entry->request.contentRule.error()}),
                                      "", mb::Ok | mb::IconExclamation);
    }

    return true;
}

void CMainFrame::finishCreate()
{
    localHostName_ = "127.0.0.1";
    std::string name;
    if (context_.sockets->hostName(name))
        localHostName_ = name;

    if (serviceMode_)
        dialogVisible_ = false;

    MainDialogInit init;
    init.serviceMode = serviceMode_;
    init.targetHost = context_.targetHost;
    init.localHostName = localHostName_;
    init.intervalSeconds = engine_.intervalSeconds();
    init.retryLimit = engine_.retryLimit();
    init.layout = windowLayout_;
    auto controller = std::make_shared<MainDialogController>(*this, *context_.prompter, init);
    mainWindow_ = context_.ui->createMainDialog(*this, controller);
    if (mainWindow_)
        mainDialog_ = std::move(controller);

    aboutBox_ = context_.ui->createAboutBox(*this);
    if (aboutBox_)
        aboutBox_->hide();

    if (context_.history) {
        refreshUptimes();
        context_.loop->setTimer(this, timers::Uptime, timers::UptimeMs, [this] { refreshUptimes(); });
    }

    if (serviceMode_) {
        if (mainWindow_)
            mainWindow_->hideWindow();
        context_.loop->setTimer(this, timers::ServiceStart, timers::ServiceStartMs, [this] { onServiceStartTimer(); });
    } else if (mainWindow_) {
        mainWindow_->showWindow();
    }
}

void CMainFrame::onServiceStartTimer()
{
    context_.loop->killTimer(this, timers::ServiceStart);
    const bool running = toggleMonitoring(true);
    // Started without a question, maybe where nobody sees a window: say
    // why nothing will ever be reported.
    if (running && std::none_of(ports_.begin(), ports_.end(), [](const auto &entry) { return entry->active == 1; }))
        std::fputs(kNothingWatched, stderr);
    if (mainDialog_) {
        mainDialog_->setMonitoring(running);
        mainDialog_->updateStateControls();
    }
}

bool CMainFrame::toggleMonitoring(bool noConfirm)
{
    // Nothing is watched before the configuration has been read.
    if (context_.loop->hasTimer(this, timers::StoreRetry))
        return engine_.running();
    const std::string &caption = loadString(sid::MonitoringCaption);
    unsigned textId = sid::ConfirmStartMonitoring;
    if (engine_.running()) {
        engine_.holdRounds(true);
        textId = sid::ConfirmStopMonitoring;
    }
    if (!noConfirm) {
        if (trayIcon_)
            trayIcon_->setItemEnabled(res::CmdToggleMonitoring, false);
        const int answer = context_.prompter->messageBox(loadString(textId), caption, mb::YesNo | mb::IconExclamation);
        if (trayIcon_)
            trayIcon_->setItemEnabled(res::CmdToggleMonitoring, true);
        if (answer == mb::IdNo || closed_) {
            engine_.holdRounds(false);
            return engine_.running();
        }
    }
    engine_.holdRounds(false);

    if (engine_.running()) {
        engine_.stop();
    } else {
        const bool anyActive =
            std::any_of(ports_.begin(), ports_.end(), [](const auto &entry) { return entry->active == 1; });
        if (!anyActive && !noConfirm) {
            context_.prompter->messageBox(loadString(sid::NoActivePortOnStart), "", mb::Ok);
            return false;
        }
        engine_.start();
    }

    const bool running = engine_.running();
    updateTrayIcon(TrayOp::Modify, running ? res::IconRunning : res::IconStopped);
    if (trayIcon_)
        trayIcon_->setItemChecked(res::CmdToggleMonitoring, running);
    return running;
}

bool CMainFrame::startTestRound(std::function<void(TestResult)> done)
{
    if (closed_)
        return false;
    return engine_.startTestRound(std::move(done));
}

void CMainFrame::pollTick()
{
    if (mainDialog_)
        mainDialog_->updateStatusText(engine_.running());
}

void CMainFrame::shortageChanged(std::size_t unchecked, bool firstTime)
{
    (void)unchecked;
    if (mainDialog_)
        mainDialog_->updateStatusText(engine_.running());
    updateTrayIcon(TrayOp::Modify, 0);
    if (firstTime) {
        const unsigned text = engine_.nothingChecked() ? sid::NothingCheckedNotice : sid::ShortageNotice;
        context_.prompter->notice(loadString(text), "", mb::Ok | mb::IconExclamation);
    }
}

void CMainFrame::requestExit()
{
    if (closed_)
        return;
    const std::string &caption = loadString(sid::ExitCaption);
    const std::string &text = loadString(engine_.running() ? sid::ConfirmExitWhileMonitoring : sid::ConfirmExit);
    if (context_.prompter->messageBox(text, caption, mb::YesNo | mb::IconExclamation) == mb::IdNo)
        return;
    // The question nests the event loop: the program may have been ended
    // from elsewhere meanwhile.
    if (closed_)
        return;
    exitNow();
}

void CMainFrame::exitNow()
{
    if (closed_)
        return;
    context_.loop->killTimer(this, timers::ServiceStart);
    context_.loop->killTimer(this, timers::StoreRetry);
    cleanUp();
    destroyFrame();
    context_.ui->quit();
}

void CMainFrame::cleanUp()
{
    updateTrayIcon(TrayOp::Remove, 0);
    // The settings are saved as the main dialog goes, as closing its window
    // does.
    if (mainWindow_) {
        saveSettings();
        std::exchange(mainWindow_, nullptr)->release();
    }
    mainDialog_.reset();
    aboutBox_.reset();
    trayIcon_.reset();
    trayIconAdded_ = false;
    engine_.discardChecks();
    if (graphs_)
        graphs_->closeAll();
    ports_.clear();
}

void CMainFrame::destroyFrame()
{
    context_.loop->killTimers(this);
    if (socketsStarted_)
        context_.sockets->cleanup();
    socketsStarted_ = false;
    setLogonFlag(*context_.registry, 0);
    closed_ = true;
}

} // namespace vigilon
