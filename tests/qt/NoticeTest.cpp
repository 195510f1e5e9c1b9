// SPDX-License-Identifier: MIT
// Messages raised by monitoring on Qt: one box that never waits, later
// messages counted in it, and a program that ends while it is open.
#include "app/AlertAction.h"
#include "app/MainFrame.h"
#include "app/qt/QtPrompter.h"
#include "app/store/MemoryRegistry.h"
#include "app/store/Settings.h"
#include "tests/support/FakeEventLoop.h"
#include "tests/support/FakeFrameParts.h"

#include <QApplication>
#include <QMessageBox>
#include <QAbstractButton>
#include <QTest>

using namespace vigilon;
using namespace vigilon::test;

namespace {
std::vector<QMessageBox *> openBoxes()
{
    std::vector<QMessageBox *> boxes;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            boxes.push_back(box);
    }
    return boxes;
}
} // namespace

class NoticeTest : public QObject {
    Q_OBJECT
private slots:
    void laterMessagesAreCountedInTheOneBox()
    {
        QtPrompter prompter;
        prompter.notice("first", "", mb::Ok);
        prompter.notice("second", "", mb::Ok);
        prompter.notice("third", "", mb::Ok);
        QCOMPARE(openBoxes().size(), std::size_t(1));
        QVERIFY(!openBoxes()[0]->isModal());
        QCOMPARE(openBoxes()[0]->text(), QStringLiteral("first\n\n(このほかに 2 件のメッセージがありました)"));
        QCOMPARE(openBoxes()[0]->windowTitle(), QStringLiteral("Vigilon"));
        // Closed by the user: the next message has a box of its own.
        openBoxes()[0]->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(openBoxes().empty());
        prompter.notice("fourth", "", mb::Ok);
        QCOMPARE(openBoxes().size(), std::size_t(1));
        QCOMPARE(openBoxes()[0]->text(), QStringLiteral("fourth"));
    }

    // Alert programs that cannot be started, in an unattended session: the
    // rounds go on under the one open box, and the program ends cleanly
    // while it is open (the sanitizer build checks the end).
    void failingAlertsLeaveOneBoxAndTheProgramEndsUnderIt()
    {
        auto prompter = std::make_unique<QtPrompter>();
        FakeClock clock;
        FakeEventLoop loop(clock);
        reg::MemoryRegistry registry;
        FakeFrameUi ui;
        FakeSocketLibrary sockets(ui.journal);
        FakeProbeFactory probes;
        probes.outcomeAtStart = 0;

        PortList list;
        for (std::uint32_t port : {80u, 81u, 82u}) {
            auto entry = std::make_unique<MonitorPort>();
            entry->port = port;
            entry->active = 1;
            entry->name = "port " + std::to_string(port);
            entry->command = "/nonexistent/alert.exe %TARGET%";
            list.push_back(std::move(entry));
        }
        appendPlaceholder(list);
        QCOMPARE(saveSettings(registry, "127.0.0.1", 5, 0, list), reg::Status::Ok);

        FrameContext context;
        context.serviceMode = true;
        context.loop = &loop;
        context.clock = &clock;
        context.prompter = prompter.get();
        context.registry = &registry;
        context.ui = &ui;
        context.sockets = &sockets;
        context.probes = &probes;
        context.runCommand = makeCommandRunner(*prompter, loop, [] { return std::string("127.0.0.1"); });
        auto frame = std::make_unique<CMainFrame>(context);
        QCOMPARE(frame->create(), 0);
        loop.advance(2000); // the service start
        QVERIFY(frame->running());
        QCOMPARE(openBoxes().size(), std::size_t(1));
        QVERIFY(openBoxes()[0]->text().contains(QStringLiteral("このほかに 2 件")));
        // Later rounds run under the open box.
        const std::size_t before = probes.started.size();
        loop.advance(10000);
        QCOMPARE(probes.started.size(), before + 6);
        QCOMPARE(openBoxes().size(), std::size_t(1));

        frame->exitNow();
        loop.runPosted();
        QVERIFY(frame->closed());
        frame.reset();
        prompter.reset();
        QVERIFY(openBoxes().empty());
    }
};

QTEST_MAIN(NoticeTest)
#include "NoticeTest.moc"
