// SPDX-License-Identifier: MIT
// The tray tests' frame, with the real Qt tray icon and everything else
// faked, and what the tests wait for and look at.
#pragma once

#include "app/MainFrame.h"
#include "app/base/PollEventLoop.h"
#include "app/base/StringTable.h"
#include "app/qt/QtTrayIcon.h"
#include "app/store/MemoryRegistry.h"
#include "app/store/Settings.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeFrameParts.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>
#include <string>

namespace vigilon::test {

// Waits, handling Qt's events, until done() holds or timeoutMs pass.
inline bool waitFor(const std::function<bool()> &done, int timeoutMs)
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

// The tip the tray shows for a text of the string table and a target.
inline QString tipFor(unsigned id, const QString &host)
{
    QString text = QString::fromStdString(loadString(id));
    text.replace(QStringLiteral("%s"), host);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

// The X11 windows below root, as `xwininfo -root -tree` lists them.
inline QString windowTree()
{
    return QString::fromStdString(run({"xwininfo", "-root", "-tree"}, {}, 5000).out);
}

// The frame with the real Qt tray icon; its one PING entry answers at once,
// its dialog only remembers whether it shows.
class TrayFrame final : private FrameUi {
public:
    explicit TrayFrame(bool serviceMode = false, const std::string &targetHost = "127.0.0.1")
        : sockets_(journal_)
    {
        registry_.createKey(kProgramKey);
        PortList ports;
        ports.push_back(std::make_unique<MonitorPort>());
        ports.back()->active = 1;
        ports.back()->port = 7;
        ports.back()->protocol = Ping;
        ports.back()->name = "PING";
        appendPlaceholder(ports); // the list's empty last row, never stored
        saveSettings(registry_, targetHost, 5, 1, ports);
        probes_.outcomeAtStart = 1;
        probes_.responseAtStart = 1;

        FrameContext context;
        context.serviceMode = serviceMode;
        context.targetGiven = true;
        context.targetHost = targetHost;
        context.loop = &loop_;
        context.clock = &SystemClock::instance();
        context.prompter = &prompter;
        context.registry = &registry_;
        context.ui = this;
        context.sockets = &sockets_;
        context.probes = &probes_;
        frame_ = std::make_unique<CMainFrame>(context);
        frame_->create();
    }

    CMainFrame &frame() { return *frame_; }
    QtTrayIcon *tray() const { return tray_; }
    FakeMainDialog *dialog() const { return dialog_; }
    // The store's Logon, 0xFFFFFFFF while it has none.
    std::uint32_t logonFlag()
    {
        auto key = registry_.openKey(kProgramKey, reg::KeyQueryValue);
        reg::Value value;
        std::uint32_t flag = 0xFFFFFFFF;
        if (key && key->queryValue(kLogonValue, value) == reg::Status::Ok)
            reg::dwordFromValue(value, flag);
        return flag;
    }

    FakePrompter prompter;

private:
    std::unique_ptr<TrayIcon> createTrayIcon(CMainFrame &frame) override
    {
        auto icon = std::make_unique<QtTrayIcon>(frame);
        tray_ = icon.get();
        return icon;
    }
    std::unique_ptr<MainDialogView> createMainDialog(CMainFrame &, const MainDialogInit &) override
    {
        auto view = std::make_unique<FakeMainDialog>(journal_);
        dialog_ = view.get();
        return view;
    }
    std::unique_ptr<AboutBoxView> createAboutBox(CMainFrame &) override { return nullptr; }
    void openResponseGraph(std::uint32_t, const ResponseGraphParams &, std::function<bool()>) override {}
    void responseSample(std::uint32_t, std::uint32_t) override {}
    void closeResponseGraph(std::uint32_t) override {}
    void quit() override {}

    Journal journal_;
    reg::MemoryRegistry registry_;
    PollEventLoop loop_;
    FakeSocketLibrary sockets_;
    FakeProbeFactory probes_;
    QtTrayIcon *tray_ = nullptr;
    FakeMainDialog *dialog_ = nullptr;
    std::unique_ptr<CMainFrame> frame_;
};

} // namespace vigilon::test
