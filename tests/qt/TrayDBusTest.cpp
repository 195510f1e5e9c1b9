// SPDX-License-Identifier: MIT
// The tray icon as a StatusNotifierItem, on a private session bus with a
// test watcher (tests/qt/TestWatcher.cpp) and no X11 tray: the item
// registers, a left press opens the menu, it registers again after the
// watcher restarts and "Logon" = 1 is written; the real program started
// before the watcher says it needs a restart, and one started after it
// registers its item. How Qt exports the tip, menu and icons over the bus is
// Qt's; our tip on a real tray is TrayX11Test's.
#include "store/posix/SqliteRegistry.h"
#include "tests/qt/TrayTestSupport.h"

#include <QAction>
#include <QMenu>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QSystemTrayIcon>
#include <QTest>

namespace vigilon::test {

namespace {

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

// An item registered with the watcher.
struct Item {
    QString service;
    QString path;

    // The process that owns the item's bus name.
    qint64 ownerPid() const
    {
        const QDBusReply<uint> pid = QDBusConnection::sessionBus().interface()->servicePid(service);
        return pid.isValid() ? qint64(pid.value()) : -1;
    }
};

} // namespace

class TrayDBusTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qgetenv("VIGILON_PRIVATE_BUS") != "1")
            QSKIP("needs a private session bus (dbus-run-session is not installed; Debian package dbus)");
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server (run under Xvfb)");
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        // Qt looks for a watcher once, at the first tray question: it must be
        // there before anything asks. No X11 tray runs, so only the watcher can
        // show the icon.
        QVERIFY(startWatcher());
        QVERIFY(QSystemTrayIcon::isSystemTrayAvailable());
    }

    void init()
    {
        notes_.clear();
        if (!watcher_ || !watcher_->running())
            QVERIFY(startWatcher());
        watcher_->output();
        watcher_->skipSeenOutput(); // what earlier tests registered
    }

    // The item registers; the menu's states follow the frame's (which states
    // when: MainFrame's and Monitoring's tests), and a left press, which a
    // StatusNotifier host sends as Activate, opens it.
    void itemRegistersItsMenuFollowsAndALeftPressOpensIt()
    {
        TrayFrame f;
        const Item item = nextRegistration();
        QVERIFY2(!item.service.isEmpty(), "the item did not register with the watcher");
        QCOMPARE(item.ownerPid(), QCoreApplication::applicationPid());
        QMenu &menu = f.tray()->menu();
        const QList<QAction *> actions = menu.actions();
        QVERIFY(actions[0]->isCheckable() && !actions[0]->isChecked());
        bool grayed = false;
        f.prompter.onMessage = [&](const FakePrompter::Message &) { grayed = !actions[0]->isEnabled(); };
        QVERIFY(f.frame().toggleMonitoring(false));
        QVERIFY(grayed);
        QVERIFY(actions[0]->isEnabled() && actions[0]->isChecked());

        QVERIFY(!menu.isVisible());
        QDBusMessage activate = QDBusMessage::createMethodCall(item.service, item.path, kItemInterface,
                                                               QStringLiteral("Activate"));
        activate << 40 << 10;
        // Sent without waiting: this process serves the item itself.
        QDBusConnection::sessionBus().asyncCall(activate, 5000);
        QVERIFY(waitFor([&] { return menu.isVisible(); }, 3000));
        menu.hide();
    }

    void registersAgainAfterTheWatcherRestarts()
    {
        TrayFrame f;
        TrayWatcher watcher(f.frame(), watcherOptions(notes_));
        int announced = 0;
        connect(&watcher, &TrayWatcher::taskbarCreated, this, [&announced] { ++announced; });
        QVERIFY(!nextRegistration().service.isEmpty());
        // The bus is asked without a wait; the answer comes to the loop.
        QVERIFY(waitFor([&] { return watcher.busSettled(); }, 5000));
        QVERIFY(watcher.trayExists());
        QCOMPARE(f.logonValue(), 0xFFFFFFFFu); // not written yet

        stopWatcher();
        QVERIFY(waitFor([&] { return !watcher.trayExists(); }, 5000));
        QTest::qWait(500);
        QCOMPARE(announced, 0); // a tray that goes is no new taskbar

        QVERIFY(startWatcher());
        Item item = nextRegistration();
        QVERIFY2(!item.service.isEmpty(), "the item did not register with the new watcher");
        QVERIFY(waitFor([&] { return announced == 1; }, 5000));
        // Qt may register once by itself before the icon is added again: the
        // last registration is the one that stays.
        for (Item later = nextRegistration(500); !later.service.isEmpty(); later = nextRegistration(500))
            item = later;
        QCOMPARE(item.ownerPid(), QCoreApplication::applicationPid());
        QCOMPARE(f.logonValue(), 1u);
        QVERIFY(watcher.trayExists());
        // Qt already talks to watchers here: no restart needed, nothing to say.
        QTest::qWait(500);
        QCOMPARE(announced, 1);
        QVERIFY(notes_.empty());
    }

    void realProgramAsksForARestartOrRegisters()
    {
        if (qEnvironmentVariableIsEmpty("VIGILON_BIN_DIR"))
            QSKIP("VIGILON_BIN_DIR is not set");
        TempDir dir;

        // Started before the watcher, on a store that has been used (the
        // program's key exists): it says it needs a restart and sets Logon.
        stopWatcher();
        QVERIFY(reg::SqliteRegistry::open(dir / "early.sqlite")->createKey(kProgramKey));
        std::unique_ptr<ChildProcess> early = startProgram(dir, dir / "early.sqlite");
        QVERIFY(servesLaterStarts(dir));
        QVERIFY(startWatcher());
        QVERIFY(early->waitForOutput("started again", 5000));
        QVERIFY(waitFor([&] {
            const auto store = reg::SqliteRegistry::open(dir / "early.sqlite");
            return store && storedDword(*store, kProgramKey, kLogonValue) == 1;
        }, 3000));
        QCOMPARE(QString::fromStdString(early->output()).count(QStringLiteral("org.kde.StatusNotifierWatcher")), 1);
        endsWell(*early);

        // Started after it: its item registers, and nothing is said.
        std::unique_ptr<ChildProcess> late = startProgram(dir, dir / "late.sqlite");
        QVERIFY(servesLaterStarts(dir));
        const Item item = nextRegistration(10000);
        QVERIFY2(!item.service.isEmpty(), "the program's item did not register");
        QCOMPARE(item.ownerPid(), qint64(late->pid()));
        // The item answers from the program's loop, so its start is over and
        // a stop signal ends it in order.
        QDBusMessage get = QDBusMessage::createMethodCall(item.service, item.path,
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
        get << QStringLiteral("org.kde.StatusNotifierItem") << QStringLiteral("Id");
        QCOMPARE(QDBusConnection::sessionBus().call(get, QDBus::Block, 5000).type(), QDBusMessage::ReplyMessage);
        QVERIFY(late->output().find("started again") == std::string::npos);
        endsWell(*late);
    }

private:
    bool startWatcher()
    {
        watcher_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{QCoreApplication::applicationDirPath().toStdString() + "/tray_test_watcher"});
        std::string line;
        return waitFor([&] { return watcher_->nextLine(line) || !watcher_->running(); }, 5000) && line == "ready";
    }

    void stopWatcher()
    {
        watcher_.reset();
        QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
        QVERIFY(waitFor([bus] { return !bus->isServiceRegistered(QString::fromLatin1(TrayWatcher::kWatcherService)).value(); },
                        5000));
    }
    // The next item the watcher reported, or one with an empty service.

    Item nextRegistration(int timeoutMs = 5000)
    {
        std::string line;
        if (!watcher_ || !waitFor([&] { return watcher_->nextLine(line); }, timeoutMs))
            return {};
        const QStringList words = QString::fromStdString(line).split(QLatin1Char(' '));
        if (words.size() != 3 || words[0] != QLatin1String("registered"))
            return {};
        return {words[1], words[2]};
    }

    std::unique_ptr<ChildProcess> watcher_; // ends with the test
    std::vector<std::string> notes_;
};

} // namespace vigilon::test

QTEST_MAIN(vigilon::test::TrayDBusTest)
#include "TrayDBusTest.moc"
