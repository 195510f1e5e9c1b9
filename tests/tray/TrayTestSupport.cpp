// SPDX-License-Identifier: MIT
#include "tests/tray/TrayTestSupport.h"

#include "app/ProbeFactory.h"
#include "app/store/Settings.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace vigilon::test {

class TrayFrame::Ui final : public FrameUi {
public:
    std::unique_ptr<TrayIcon> createTrayIcon(CMainFrame &frame) override
    {
        auto icon = std::make_unique<QtTrayIcon>(frame);
        tray = icon.get();
        return icon;
    }
    std::unique_ptr<MainDialogView> createMainDialog(CMainFrame &, const MainDialogInit &) override
    {
        auto view = std::make_unique<FakeDialog>();
        dialog = view.get();
        return view;
    }
    std::unique_ptr<AboutBoxView> createAboutBox(CMainFrame &) override { return nullptr; }
    void openResponseGraph(std::uint32_t, const ResponseGraphParams &, std::function<bool()>) override {}
    void responseSample(std::uint32_t, std::uint32_t) override {}
    void closeResponseGraph(std::uint32_t) override {}
    void quit() override {}
    QtTrayIcon *tray = nullptr;
    FakeDialog *dialog = nullptr;
};

class TrayFrame::Sockets final : public SocketLibrary {
public:
    bool startup() override { return true; }
    void cleanup() override {}
    bool hostName(std::string &name) override
    {
        name = "tray-test";
        return true;
    }
};

// Every check answers at once.
class TrayFrame::Probes final : public ProbeFactory {
public:
    class Check final : public SocketCheck {
    public:
        explicit Check(ProbeHost &owner) : owner_(owner) {}
        int start(std::uint32_t, const std::string &, MonitorPort &entry) override
        {
            entry.responseTime = 1;
            owner_.reportResult(PingOk, entry);
            return 1;
        }
        int done() const override { return 1; }
        void detachEntry() override {}
        MonitorPort *entry() const override { return nullptr; }

    private:
        ProbeHost &owner_;
    };
    std::unique_ptr<SocketCheck> makeSocketCheck(int, int, ProbeHost &owner) override
    {
        return std::make_unique<Check>(owner);
    }
};

TrayFrame::TrayFrame(bool serviceMode, const std::string &targetHost)
    : ui_(std::make_unique<Ui>())
    , sockets_(std::make_unique<Sockets>())
    , probes_(std::make_unique<Probes>())
{
    registry_.createKey(kProgramKey);
    // One active PING entry, so that monitoring can be started.
    PortList ports;
    auto entry = std::make_unique<MonitorPort>();
    entry->active = 1;
    entry->port = 7;
    entry->protocol = Ping;
    entry->name = "PING";
    ports.push_back(std::move(entry));
    appendPlaceholder(ports); // the list's empty last row, never stored
    saveSettings(registry_, targetHost, 5, 1, ports);

    FrameContext context;
    context.serviceMode = serviceMode;
    context.targetGiven = true;
    context.targetHost = targetHost;
    context.loop = &loop_;
    context.clock = &SystemClock::instance();
    context.prompter = &prompter_;
    context.registry = &registry_;
    context.ui = ui_.get();
    context.sockets = sockets_.get();
    context.probes = probes_.get();
    frame_ = std::make_unique<CMainFrame>(context);
    frame_->create();
}

TrayFrame::~TrayFrame()
{
    frame_.reset();
}

QtTrayIcon *TrayFrame::tray() const
{
    return ui_->tray;
}

FakeDialog *TrayFrame::dialog() const
{
    return ui_->dialog;
}

std::uint32_t TrayFrame::logonFlag()
{
    auto key = registry_.openKey(kProgramKey, reg::KeyQueryValue);
    reg::Value value;
    std::uint32_t flag = 0xFFFFFFFF;
    if (key && key->queryValue(kLogonValue, value) == reg::Status::Ok)
        reg::dwordFromValue(value, flag);
    return flag;
}

bool Helper::start(const QString &program, const QStringList &arguments)
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program, arguments);
    return process_.waitForStarted(5000);
}

void Helper::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(3000))
        kill();
}

void Helper::kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.kill();
    process_.waitForFinished(3000);
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
    return true;
}

QString windowTree()
{
    QProcess xwininfo;
    xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    if (!xwininfo.waitForFinished(5000))
        return {};
    return QString::fromLocal8Bit(xwininfo.readAllStandardOutput());
}

} // namespace vigilon::test
