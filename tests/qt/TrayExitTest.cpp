// SPDX-License-Identifier: MIT
// The ways out of the program: exit chosen in the tray menu with a click,
// with and without a graph window open, ends in order once the menu is done
// with the click; and the program as main() runs it, ended by each path a
// user, the system or the session takes, leaves its store as an orderly end
// does.
#include "store/posix/SqliteRegistry.h"
#include "qt/MonitorDlg.h"
#include "qt/QtFrameUi.h"
#include "qt/QtMonitorApp.h"
#include "qt/QtTrayIcon.h"
#include "qt/ResponseMonitorDlg.h"
#include "qt/UiText.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FrameParts.h"
#include "tests/support/FrameTestPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/qt/QtWait.h"

#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <filesystem>

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
    QtFrameUi ui{prompter, SystemClock::instance()};
};

enum class Way { DialogExit, TrayExit, Sigterm, Sighup, SessionEnd, SessionEndOverQuestion };

QMenu *trayMenu()
{
    for (QWidget *w : QApplication::allWidgets()) {
        auto *menu = qobject_cast<QMenu *>(w);
        if (menu && !menu->actions().isEmpty() && menu->actions().last()->text() == QStringLiteral("終了(&X)"))
            return menu;
    }
    return nullptr;
}

QPushButton *dialogExitButton()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!qobject_cast<CMonitorDlg *>(w) || !w->isVisible())
            continue;
        for (QPushButton *button : w->findChildren<QPushButton *>()) {
            if (button->text() == uiText(sid::ExitButton))
                return button;
        }
    }
    return nullptr;
}

// The question box up, if any.
QMessageBox *question()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (box && box->isVisible() && box->button(QMessageBox::Yes))
            return box;
    }
    return nullptr;
}

// What the session manager's last word does to a Qt program.
void endSession()
{
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
}

class TrayExitTest : public QObject {
    Q_OBJECT
private slots:
    void everyWayOutEndsInOrder_data()
    {
        QTest::addColumn<int>("wayNumber");
        QTest::newRow("the main dialog's exit") << int(Way::DialogExit);
        QTest::newRow("the tray menu's exit") << int(Way::TrayExit);
        QTest::newRow("SIGTERM") << int(Way::Sigterm);
        QTest::newRow("SIGHUP") << int(Way::Sighup);
        QTest::newRow("the session's end") << int(Way::SessionEnd);
        QTest::newRow("the session's end over the exit question") << int(Way::SessionEndOverQuestion);
    }

    // Started with another target than the stored one and "Logon" set: the
    // end saves the target and clears "Logon". Only the user's own exits
    // ask, and the session's end never waits on the question.
    void everyWayOutEndsInOrder()
    {
        QFETCH(int, wayNumber);
        const auto way = static_cast<Way>(wayNumber);
        TempDir dir;
        const std::string store = dir / "registry.sqlite";
        {
            auto registry = reg::SqliteRegistry::open(store);
            QVERIFY(registry && registry->createKey(kProgramKey));
            QCOMPARE(setLogonFlag(*registry, 1), reg::Status::Ok);
            QCOMPARE(storePorts(*registry, {{7, GenericTcp, 0, 0, "", "idle"}}, 5, 1, "127.0.0.1"), reg::Status::Ok);
        }
        std::filesystem::create_directory(dir / "run");
        std::filesystem::permissions(dir / "run", std::filesystem::perms::owner_all);
        const ScopedEnv env{{"VIGILON_REGISTRY", store}, {"XDG_RUNTIME_DIR", dir / "run"}};
        CommandLine line;
        line.targetGiven = true;
        line.targetHost = "127.0.0.9";
        QtMonitorApp app(line);

        bool acted = false, gaveUp = false;
        QStringList asked;
        QTimer driver;
        driver.callOnTimeout([&] {
            if (QMessageBox *box = question(); box && !asked.contains(box->text())) {
                asked << box->text();
                if (way == Way::SessionEndOverQuestion)
                    endSession();
                else
                    box->button(QMessageBox::Yes)->click();
                return;
            }
            if (acted || !dialogExitButton() || !trayMenu())
                return;
            acted = true;
            switch (way) {
            case Way::DialogExit:
            case Way::SessionEndOverQuestion:
                dialogExitButton()->click();
                break;
            case Way::TrayExit:
                trayMenu()->actions().last()->trigger();
                break;
            case Way::Sigterm:
                std::raise(SIGTERM);
                break;
            case Way::Sighup:
                std::raise(SIGHUP);
                break;
            case Way::SessionEnd:
                endSession();
                break;
            }
        });
        driver.start(10);
        QTimer giveUp;
        giveUp.setSingleShot(true);
        giveUp.callOnTimeout([&] {
            gaveUp = true;
            QCoreApplication::exit(2);
        });
        giveUp.start(15000);

        QCOMPARE(app.run(), 0);
        QVERIFY(acted && !gaveUp);
        const bool userExit = way == Way::DialogExit || way == Way::TrayExit || way == Way::SessionEndOverQuestion;
        QCOMPARE(asked, userExit ? QStringList{uiText(sid::ConfirmExit)} : QStringList{});
        auto registry = reg::SqliteRegistry::open(store);
        QVERIFY(registry);
        QCOMPARE(storedDword(*registry, kProgramKey, kLogonValue), 0u);
        QCOMPARE(storedString(*registry, kMonitorKey, "Target"), std::string("127.0.0.9"));
    }

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
            f.frame->openResponseMonitor(0);
            QVERIFY(FrameTestPeer::graphs(*f.frame).isOpen(id));
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
        QVERIFY(f.frame->closed() && !FrameTestPeer::graphs(*f.frame).isOpen(id));
        QCOMPARE(f.prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmExitWhileMonitoring)});
    }
};

} // namespace vigilon::test

QTEST_MAIN(vigilon::test::TrayExitTest)
#include "TrayExitTest.moc"
