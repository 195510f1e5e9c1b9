// SPDX-License-Identifier: MIT
#pragma once

#include "app/MainFrame.h"
#include "app/base/PollEventLoop.h"
#include "app/qt/QtTrayIcon.h"
#include "app/store/MemoryRegistry.h"
#include "tests/support/FakePrompter.h"

#include <QProcess>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vigilon::test {

using RecordingPrompter = FakePrompter;

class FakeDialog final : public MainDialogView {
public:
    void show() override
    {
        visible = true;
        ++shows;
    }
    void hide() override { visible = false; }
    void setMonitoring(bool) override {}
    void updateStateControls() override {}
    void updateStatusText(bool) override {}
    void updateRow(int, const EntryView &) override {}
    void setRowImage(int, int) override {}
    bool visible = false;
    int shows = 0;
};

// The frame with the real Qt tray icon and everything else faked: sockets
// that start, ping checks that answer, a dialog that only remembers.
class TrayFrame {
public:
    explicit TrayFrame(bool serviceMode = false, const std::string &targetHost = "127.0.0.1");
    ~TrayFrame();

    CMainFrame &frame() { return *frame_; }
    QtTrayIcon *tray() const;
    FakeDialog *dialog() const;
    reg::MemoryRegistry &registry() { return registry_; }
    RecordingPrompter &prompter() { return prompter_; }
    std::uint32_t logonFlag();

private:
    class Ui;
    class Sockets;
    class Probes;
    reg::MemoryRegistry registry_;
    PollEventLoop loop_;
    RecordingPrompter prompter_;
    std::unique_ptr<Ui> ui_;
    std::unique_ptr<Sockets> sockets_;
    std::unique_ptr<Probes> probes_;
    std::unique_ptr<CMainFrame> frame_;
};

// A program run for the length of a test, ended by SIGTERM and then SIGKILL.
class Helper {
public:
    Helper() = default;
    ~Helper() { stop(); }
    bool start(const QString &program, const QStringList &arguments);
    void stop();
    void kill();
    QProcess &process() { return process_; }

private:
    QProcess process_;
};

// Waits, handling Qt's events, until done() holds or timeoutMs pass.
bool waitFor(const std::function<bool()> &done, int timeoutMs);

// Names of the X11 windows below root, as `xwininfo -root -tree` lists them.
QString windowTree();

} // namespace vigilon::test
