// SPDX-License-Identifier: MIT
// The tray icon on a real X11 tray (trayer under Xvfb): its menu on either
// button, docked with its tip and again when the tray restarts; the main
// dialog when there is no tray; the exit question's Japanese buttons.
#include "qt/QtMonitorApp.h"
#include "qt/QtPrompter.h"
#include "tests/qt/TrayTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QTranslator>

namespace vigilon::test {

namespace {

QWidget *trayWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QLatin1String("QSystemTrayIconSys") && widget->isVisible())
            return widget;
    }
    return nullptr;
}

// Whether our icon's window sits in the tray: its parent is no longer the
// root window.
bool docked()
{
    const QWidget *icon = trayWindow();
    const std::string info =
        icon ? run({"xwininfo", "-tree", "-id", std::to_string(icon->winId())}, {}, 5000).out : std::string();
    const std::size_t parent = info.find("Parent window id:");
    return parent != std::string::npos && info.find("(the root window)", parent) > info.find('\n', parent);
}

} // namespace

class TrayX11Test : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (const QString missing = x11TrayMissing(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        // No StatusNotifier watcher may steal the icon from the X11 tray.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    }

    void init()
    {
        notes_.clear();
        if (!trayer_ || !trayer_->running())
            QVERIFY(startTrayer());
    }

    void bothButtonsOpenTheMenu()
    {
        TrayFrame f;
        QVERIFY(waitFor([] { return docked(); }, 5000));
        QWidget *icon = trayWindow();
        QMenu &menu = f.tray()->menu();
        // The pointer where the press happens, as with a real click.
        QCursor::setPos(icon->mapToGlobal(QPoint(5, 5)));
        QVERIFY(waitFor([&] { return QCursor::pos() == icon->mapToGlobal(QPoint(5, 5)); }, 2000));
        for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
            QVERIFY(!menu.isVisible());
            QTest::mousePress(icon, button, {}, QPoint(5, 5));
            QVERIFY2(waitFor([&] { return menu.isVisible(); }, 2000), button == Qt::LeftButton ? "left" : "right");
            menu.hide();
            QTest::mouseRelease(icon, button, {}, QPoint(5, 5));
            QVERIFY(waitFor([&] { return !menu.isVisible(); }, 2000));
        }
    }

    void dockedWithItsTipAndAgainAfterTheTrayRestarts()
    {
        TrayFrame f(false, "10.1.2.3");
        TrayWatcher watcher(f.frame(), watcherOptions(notes_));
        int announced = 0;
        connect(&watcher, &TrayWatcher::taskbarCreated, this, [&announced] { ++announced; });
        QVERIFY(waitFor([] { return docked(); }, 5000));
        QCOMPARE(trayWindow()->toolTip(), tipFor(sid::TrayTipStopped, QStringLiteral("10.1.2.3")));
        QVERIFY(f.frame().toggleMonitoring(true));
        QCOMPARE(f.logonValue(), 0xFFFFFFFFu); // not written yet

        stopTrayer();
        QVERIFY(startTrayer());
        QVERIFY(waitFor([&] { return announced == 1; }, 5000));
        QCOMPARE(f.logonValue(), 1u);
        // Re-added as running (which icon when is MainFrame's and Monitoring's).
        // The old panel is gone with its process: any panel is the new one.
        QVERIFY(waitFor([&] { return docked(); }, 5000));
        QCOMPARE(trayWindow()->toolTip(), tipFor(sid::TrayTipRunning, QStringLiteral("10.1.2.3")));

        // Once per appearance.
        QTest::qWait(500);
        QCOMPARE(announced, 1);
        QVERIFY(notes_.empty());
    }

    void noTrayShowsTheMainDialogOnce()
    {
        {
            // With a tray, service mode keeps its dialog hidden.
            TrayFrame f(true);
            TrayWatcher watcher(f.frame(), watcherOptions(notes_, 200));
            QTest::qWait(600);
            QVERIFY(!f.dialog()->visible);
            QVERIFY(notes_.empty());
        }

        stopTrayer();
        TrayFrame f(true);
        QVERIFY(!f.dialog()->visible);
        TrayWatcher watcher(f.frame(), watcherOptions(notes_, 200));
        QVERIFY(waitFor([&] { return f.dialog()->visible; }, 5000));
        QVERIFY(f.frame().dialogVisible());
        QCOMPARE(notes_.size(), std::size_t(1));
        QVERIFY(notes_[0].find("gnome-shell-extension-appindicator") != std::string::npos);

        // The icon that could not be added shows when a tray comes.
        QVERIFY(startTrayer());
        QVERIFY(waitFor([] { return docked(); }, 5000));
        QCOMPARE(f.logonValue(), 1u);
        QCOMPARE(notes_.size(), std::size_t(1));
    }

    void exitQuestionHasJapaneseButtons()
    {
        // The translation as the program installs it.
        QTranslator translator;
        QVERIFY2(installQtJapanese(translator), "qtbase_ja.qm is missing (qt6-translations-l10n)");

        QStringList texts;
        QTimer::singleShot(200, this, [&texts] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (QAbstractButton *button : box->buttons())
                texts << button->text();
            box->button(QMessageBox::No)->click();
        });
        QtPrompter prompter;
        const int answer = prompter.messageBox(loadString(sid::ConfirmExit), loadString(sid::ExitCaption),
                                               mb::YesNo | mb::IconExclamation);
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(answer, mb::IdNo);
        texts.sort();
        QCOMPARE(texts, (QStringList{QStringLiteral("いいえ(&N)"), QStringLiteral("はい(&Y)")}));
    }

private:
    bool startTrayer()
    {
        trayer_ = std::make_unique<ChildProcess>(std::vector<std::string>{"trayer", "--edge", "top", "--widthtype", "request"});
        return trayer_->started() && waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000);
    }

    void stopTrayer()
    {
        trayer_.reset();
        QVERIFY(waitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, 10000));
    }

    std::unique_ptr<ChildProcess> trayer_; // ends with the test
    std::vector<std::string> notes_;
};

} // namespace vigilon::test

QTEST_MAIN(vigilon::test::TrayX11Test)
#include "TrayX11Test.moc"
