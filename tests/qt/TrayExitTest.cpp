// SPDX-License-Identifier: MIT
// Exit chosen in the tray menu with a click, with and without a graph window
// open: the program ends in order once the menu is done with the click.
#include "qt/QtFrameUi.h"
#include "qt/QtTrayIcon.h"
#include "qt/ResponseMonitorDlg.h"
#include "tests/support/FrameParts.h"
#include "tests/support/qt/QtWait.h"

#include <QMenu>
#include <QTest>
#include <QTimer>

namespace vigilon::test {

// The program's own windows around a frame on a stored PING entry.
struct ProgramFrame : RealTime, FrameParts {
    ProgramFrame() : FrameParts(pollLoop, SystemClock::instance())
    {
        storeConfiguration({{7, Ping, 1, 0, "", "PING"}}, 5, 1, "127.0.0.1");
        probes.outcomeAtStart = 1;
        frameUi = &ui;
        makeFrame(false, "127.0.0.1");
    }
    ~ProgramFrame() override { frame.reset(); }
    QtFrameUi ui{prompter};
};

class TrayExitTest : public QObject {
    Q_OBJECT
private slots:
    void exitEndsOnceTheMenuIsDone_data()
    {
        QTest::addColumn<bool>("graph");
        QTest::newRow("no graph window") << false;
        QTest::newRow("graph window open") << true;
    }

    // The program's loop runs the click and returns the status the frame
    // ends it with.
    void exitEndsOnceTheMenuIsDone()
    {
        QFETCH(bool, graph);
        ProgramFrame f;
        QVERIFY(f.created && f.frame->toggleMonitoring(true));
        const std::uint32_t id = f.entry(0).id;
        if (graph) {
            answerModal<CResponseMonitorDlg>([](CResponseMonitorDlg &d) { d.accept(); });
            f.frame->OpenResponseMonitor(0);
            QVERIFY(f.ui.graphWindows().isOpen(id));
        }
        f.prompter.messages.clear();
        QMenu &menu = f.ui.trayIcon()->menu();
        menu.popup(QPoint(40, 40));
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        QAction *exit = menu.actions().last();
        QCOMPARE(exit->text(), QStringLiteral("終了(&X)"));
        bool endedInsideTheClick = false;
        QTimer::singleShot(0, &menu, [&] {
            QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(exit).center());
            endedInsideTheClick = f.frame->closed();
        });
        QTimer giveUp;
        giveUp.callOnTimeout([] { QCoreApplication::exit(2); });
        giveUp.start(10000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!endedInsideTheClick);
        QVERIFY(f.frame->closed() && !f.ui.graphWindows().isOpen(id));
        QCOMPARE(f.prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmExitWhileMonitoring)});
    }
};

} // namespace vigilon::test

QTEST_MAIN(vigilon::test::TrayExitTest)
#include "TrayExitTest.moc"
