// SPDX-License-Identifier: MIT
// The tray icon on a real X11 tray (trayer under Xvfb): docked with its tip,
// its menu on either button, docked again when the tray restarts; the main
// dialog when there is no tray; the exit question's Japanese buttons.
#include "app/qt/MonitorApp.h"
#include "app/qt/QtPrompter.h"
#include "app/qt/TrayWatcher.h"
#include "tests/tray/TrayTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
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

// The id of trayer's panel window when our icon's window sits inside it.
QString dockingPanel()
{
    QWidget *icon = trayWindow();
    if (!icon)
        return {};
    const QString ours = QStringLiteral("0x%1").arg(icon->winId(), 0, 16);
    const QStringList lines = windowTree().split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (!lines[i].contains(QLatin1String("(\"panel\" \"trayer\")")))
            continue;
        const qsizetype indent = lines[i].indexOf(QLatin1String("0x"));
        for (int j = i + 1; j < lines.size(); ++j) {
            const qsizetype at = lines[j].indexOf(QLatin1String("0x"));
            if (at < 0)
                continue;
            if (at <= indent)
                break;
            if (lines[j].mid(at).startsWith(ours + QLatin1Char(' ')))
                return lines[i].mid(indent).section(QLatin1Char(' '), 0, 0);
        }
    }
    return {};
}

} // namespace

class TrayX11Test : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void dockedWithTheTip();
    void bothButtonsOpenTheMenu();
    void dockedAgainAfterTheTrayRestarts();
    void noTrayShowsTheMainDialogOnce();
    void exitQuestionHasJapaneseButtons();
    void cleanupTestCase();

private:
    bool startTrayer();
    void stopTrayer();
    TrayWatcher::Options watcherOptions(int noTrayMs = 60000)
    {
        TrayWatcher::Options options;
        options.pollMs = 100;
        options.noTrayMs = noTrayMs;
        options.note = [this](const std::string &text) { notes_.push_back(text); };
        return options;
    }
    std::unique_ptr<ChildProcess> trayer_;
    std::vector<std::string> notes_;
};

bool TrayX11Test::startTrayer()
{
    trayer_ = std::make_unique<ChildProcess>(std::vector<std::string>{"trayer", "--edge", "top", "--widthtype", "request"});
    return trayer_->started() && waitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000);
}

void TrayX11Test::stopTrayer()
{
    trayer_.reset();
    QVERIFY(waitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, 10000));
}

void TrayX11Test::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server (run under Xvfb)");
    for (const char *tool : {"trayer", "xwininfo"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    // No StatusNotifier watcher may steal the icon from the X11 tray.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
}

void TrayX11Test::init()
{
    notes_.clear();
    if (!trayer_ || !trayer_->running())
        QVERIFY(startTrayer());
}

void TrayX11Test::dockedWithTheTip()
{
    TrayFrame f(false, "10.1.2.3");
    QVERIFY(waitFor([] { return !dockingPanel().isEmpty(); }, 5000));
    const QString stopped = tipFor(sid::TrayTipStopped, QStringLiteral("10.1.2.3"));
    QCOMPARE(f.tray()->currentTip(), stopped);
    QCOMPARE(trayWindow()->toolTip(), stopped);
    QCOMPARE(f.tray()->currentIcon(), res::IconStopped);
    QVERIFY(!f.tray()->systemTrayIcon().geometry().isEmpty());
}

void TrayX11Test::bothButtonsOpenTheMenu()
{
    TrayFrame f;
    QVERIFY(waitFor([] { return !dockingPanel().isEmpty(); }, 5000));
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

void TrayX11Test::dockedAgainAfterTheTrayRestarts()
{
    TrayFrame f;
    TrayWatcher watcher(f.frame(), watcherOptions());
    int announced = 0;
    connect(&watcher, &TrayWatcher::taskbarCreated, this, [&announced] { ++announced; });
    QVERIFY(waitFor([] { return !dockingPanel().isEmpty(); }, 5000));
    QVERIFY(f.frame().toggleMonitoring(true));
    f.frame().portsForTest().front()->status = Failed;
    f.frame().refreshTrayState();
    QCOMPARE(f.tray()->currentIcon(), res::IconFailed);
    QCOMPARE(f.logonFlag(), 0xFFFFFFFFu); // not written yet

    stopTrayer();
    QVERIFY(startTrayer());
    QVERIFY(waitFor([&] { return announced == 1; }, 5000));
    QCOMPARE(f.logonFlag(), 1u);
    // Re-added as running; the entries show again at the next result.
    QCOMPARE(f.tray()->currentIcon(), res::IconRunning);
    // The old panel is gone with its process: any panel is the new one.
    QVERIFY(waitFor([&] { return !dockingPanel().isEmpty(); }, 5000));
    QCOMPARE(trayWindow()->toolTip(), tipFor(sid::TrayTipRunning, QStringLiteral("127.0.0.1")));

    // Once per appearance.
    QTest::qWait(500);
    QCOMPARE(announced, 1);
    QVERIFY(notes_.empty());
}

void TrayX11Test::noTrayShowsTheMainDialogOnce()
{
    {
        // With a tray, service mode keeps its dialog hidden.
        TrayFrame f(true);
        TrayWatcher watcher(f.frame(), watcherOptions(200));
        QTest::qWait(600);
        QVERIFY(!f.dialog()->visible);
        QVERIFY(notes_.empty());
    }

    stopTrayer();
    TrayFrame f(true);
    QVERIFY(!f.dialog()->visible);
    TrayWatcher watcher(f.frame(), watcherOptions(200));
    QVERIFY(waitFor([&] { return f.dialog()->visible; }, 5000));
    QVERIFY(f.frame().dialogVisible());
    QCOMPARE(notes_.size(), std::size_t(1));
    QVERIFY(notes_[0].find("gnome-shell-extension-appindicator") != std::string::npos);

    // The icon that could not be added shows when a tray comes.
    QVERIFY(startTrayer());
    QVERIFY(waitFor([] { return !dockingPanel().isEmpty(); }, 5000));
    QCOMPARE(f.logonFlag(), 1u);
    QCOMPARE(notes_.size(), std::size_t(1));
}

void TrayX11Test::exitQuestionHasJapaneseButtons()
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

void TrayX11Test::cleanupTestCase()
{
    trayer_.reset();
}

} // namespace vigilon::test

QTEST_MAIN(vigilon::test::TrayX11Test)
#include "TrayX11Test.moc"
