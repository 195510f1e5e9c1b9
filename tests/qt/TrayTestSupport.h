// SPDX-License-Identifier: MIT
// The tray tests' frame, with the real Qt tray icon and everything else
// faked, and what the tests wait for and look at.
#pragma once

#include "app/MainFrame.h"
#include "base/PollEventLoop.h"
#include "base/StringTable.h"
#include "qt/QtTrayIcon.h"
#include "qt/TrayWatcher.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FrameParts.h"
#include "tests/support/TempDir.h"
#include "tests/support/qt/QtWait.h"

#include <QDir>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QString>
#include <QTest>

#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vigilon::test {

// Why the tests on a real X11 tray cannot run here (they need an X server,
// trayer and xwininfo); empty when they can.
inline QString x11TrayMissing()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return QStringLiteral("needs an X server (run under Xvfb)");
    for (const char *tool : {"trayer", "xwininfo"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
    }
    return {};
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

// A tray watcher that looks often and notes what it would say in notes.
inline TrayWatcher::Options watcherOptions(std::vector<std::string> &notes, int noTrayMs = 60000)
{
    TrayWatcher::Options options;
    options.pollMs = 100;
    options.noTrayMs = noTrayMs;
    options.note = [&notes](const std::string &text) { notes.push_back(text); };
    return options;
}

// The real program (in VIGILON_BIN_DIR) on a store, with a runtime folder of
// its own in dir.
inline std::unique_ptr<ChildProcess> startProgram(const TempDir &dir, const std::string &store,
                                                  std::vector<std::string> arguments = {})
{
    if (std::filesystem::create_directory(dir / "run"))
        std::filesystem::permissions(dir / "run", std::filesystem::perms::owner_all);
    arguments.insert(arguments.begin(), qgetenv("VIGILON_BIN_DIR").toStdString() + "/vigilon");
    return std::make_unique<ChildProcess>(arguments,
                                          std::vector<std::string>{"VIGILON_REGISTRY=" + store, "XDG_RUNTIME_DIR=" + dir / "run"});
}

// Whether a program started on dir serves later starts within timeoutMs.
inline bool servesLaterStarts(const TempDir &dir, int timeoutMs = 10000)
{
    const QDir run(QString::fromStdString(dir / "run"));
    return waitFor([&] { return !run.entryList({QStringLiteral("*.sock")}, QDir::System).isEmpty(); }, timeoutMs);
}

// Ends a program as the session does and checks that it ends well.
inline void endsWell(ChildProcess &program)
{
    program.signal(SIGTERM);
    QCOMPARE(program.waitForExit(10000), 0);
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

private:
    std::unique_ptr<TrayIcon> createTrayIcon(Monitor &frame) override
    {
        auto icon = std::make_unique<QtTrayIcon>(frame);
        tray_ = icon.get();
        return icon;
    }
    MainDialogWindow *createMainDialog(DialogFace &, std::shared_ptr<MainDialogController> rules) override
    {
        dialogs_.push_back(std::make_unique<FakeMainDialog>(fakeUi.journal, std::move(rules)));
        dialog_ = dialogs_.back().get();
        return dialog_;
    }
    std::unique_ptr<AboutBoxView> createAboutBox(Monitor &) override { return nullptr; }
    bool runResponseMonitorDialog(ResponseGraphParams &) override { return false; }
    std::unique_ptr<ResponseGraph> createResponseGraph(const ResponseGraphParams &, std::function<void()>) override
    {
        return nullptr;
    }
    void showOutages(DialogFace &, std::uint32_t, const std::string &) override {}
    void quit() override {}

    QtTrayIcon *tray_ = nullptr;
    FakeMainDialog *dialog_ = nullptr;
    std::vector<std::unique_ptr<FakeMainDialog>> dialogs_;
};

} // namespace vigilon::test
