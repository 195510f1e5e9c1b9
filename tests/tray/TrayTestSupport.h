// SPDX-License-Identifier: MIT
// The tray tests' frame, with the real Qt tray icon and everything else
// faked, and what the tests wait for and look at.
#pragma once

#include "app/MainFrame.h"
#include "app/base/PollEventLoop.h"
#include "app/base/StringTable.h"
#include "app/qt/QtTrayIcon.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FrameParts.h"
#include "tests/support/qt/QtWait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>
#include <string>

namespace vigilon::test {


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
class TrayFrame final : private RealTime, private FrameUi, public FrameParts {
public:
    explicit TrayFrame(bool serviceMode = false, const std::string &targetHost = "127.0.0.1")
        : FrameParts(pollLoop, SystemClock::instance())
    {
        makeProgramKey();
        storeConfiguration({{7, Ping, 1, 0, "", "PING"}}, 5, 1, targetHost);
        probes.outcomeAtStart = 1;
        probes.responseAtStart = 1;
        frameUi = this;
        makeFrame(serviceMode, targetHost);
    }
    ~TrayFrame() override { FrameParts::frame.reset(); }

    CMainFrame &frame() { return *FrameParts::frame; }
    QtTrayIcon *tray() const { return tray_; }
    FakeMainDialog *dialog() const { return dialog_; }
    // The store's Logon, 0xFFFFFFFF while it has none.
    std::uint32_t logonFlag() { return logonValue(); }

private:
    std::unique_ptr<TrayIcon> createTrayIcon(CMainFrame &frame) override
    {
        auto icon = std::make_unique<QtTrayIcon>(frame);
        tray_ = icon.get();
        return icon;
    }
    std::unique_ptr<MainDialogView> createMainDialog(CMainFrame &, const MainDialogInit &) override
    {
        auto view = std::make_unique<FakeMainDialog>(fakeUi.journal);
        dialog_ = view.get();
        return view;
    }
    std::unique_ptr<AboutBoxView> createAboutBox(CMainFrame &) override { return nullptr; }
    void openResponseGraph(std::uint32_t, const ResponseGraphParams &, std::function<bool()>) override {}
    void responseSample(std::uint32_t, std::uint32_t) override {}
    void closeResponseGraph(std::uint32_t) override {}
    void quit() override {}

    QtTrayIcon *tray_ = nullptr;
    FakeMainDialog *dialog_ = nullptr;
};

} // namespace vigilon::test
