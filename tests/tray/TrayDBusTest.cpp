// SPDX-License-Identifier: MIT
// The tray icon as a StatusNotifierItem, on a private session bus with a
// test watcher (tests/tray/TestWatcher.cpp) and no X11 tray: the item
// registers, its tip read back over D-Bus, a left press opens
// the menu, it registers again after the watcher restarts and "Logon" = 1 is
// written; the real program started before the watcher says it needs a
// restart, and one started after it registers its item.
#include "app/qt/TrayWatcher.h"
#include "app/store/SqliteRegistry.h"
#include "tests/support/TempDir.h"
#include "tests/tray/TrayTestSupport.h"

#include <QAction>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QSystemTrayIcon>
#include <QTest>

#include <csignal>

namespace vigilon::test {

namespace {

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

// Calls over the bus while this process keeps serving its own objects.
QDBusMessage call(const QDBusMessage &message)
{
    QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(message, 5000);
    waitFor([&] { return pending.isFinished(); }, 6000);
    return pending.reply();
}

// An item registered with the watcher, read over the bus.
struct Item {
    QString service;
    QString path;

    QVariant property(const QString &name) const
    {
        QDBusMessage get = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
        get << kItemInterface << name;
        const QDBusMessage reply = call(get);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return {};
        return reply.arguments().first().value<QDBusVariant>().variant();
    }

    // The process that owns the item's bus name.
    qint64 ownerPid() const
    {
        const QDBusReply<uint> pid = QDBusConnection::sessionBus().interface()->servicePid(service);
        return pid.isValid() ? qint64(pid.value()) : -1;
    }

    // The tip's title; a null string when it cannot be read.
    QString tipTitle() const
    {
        const QVariant value = property(QStringLiteral("ToolTip"));
        if (!value.canConvert<QDBusArgument>())
            return {};
        const QDBusArgument arg = value.value<QDBusArgument>();
        QString iconName, title, text;
        arg.beginStructure();
        arg >> iconName;
        skipPixmaps(arg);
        arg >> title >> text;
        arg.endStructure();
        return title;
    }

private:
    // Skips an array of (width, height, ARGB bytes).
    static void skipPixmaps(const QDBusArgument &arg)
    {
        arg.beginArray();
        while (!arg.atEnd()) {
            int width = 0;
            int height = 0;
            QByteArray pixels;
            arg.beginStructure();
            arg >> width >> height >> pixels;
            arg.endStructure();
        }
        arg.endArray();
    }
};

std::uint32_t storedLogon(const std::string &storePath)
{
    auto registry = reg::SqliteRegistry::open(storePath);
    return registry ? storedDword(*registry, kProgramKey, kLogonValue) : 0xFFFFFFFFu;
}

} // namespace

class TrayDBusTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void itemCarriesTheTipAndTheMenuFollows();
    void leftPressOpensTheMenu();
    void registersAgainAfterTheWatcherRestarts();
    void realProgramAsksForARestartOrRegisters();
    void cleanupTestCase();

private:
    bool startWatcher();
    void stopWatcher();
    // The next item the watcher reported, or one with an empty service.
    Item nextRegistration(int timeoutMs = 5000);
    std::unique_ptr<ChildProcess> startProgram(const TempDir &dir, const std::string &store);

    std::unique_ptr<ChildProcess> watcher_;
    std::vector<std::string> notes_;
    std::string programDir_;
};

bool TrayDBusTest::startWatcher()
{
    watcher_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{QCoreApplication::applicationDirPath().toStdString() + "/tray_test_watcher"});
    std::string line;
    return waitFor([&] { return watcher_->nextLine(line) || !watcher_->running(); }, 5000) && line == "ready";
}

void TrayDBusTest::stopWatcher()
{
    watcher_.reset();
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    QVERIFY(waitFor([bus] { return !bus->isServiceRegistered(QString::fromLatin1(TrayWatcher::kWatcherService)).value(); },
                    5000));
}

Item TrayDBusTest::nextRegistration(int timeoutMs)
{
    std::string line;
    if (!watcher_ || !waitFor([&] { return watcher_->nextLine(line); }, timeoutMs))
        return {};
    const QStringList words = QString::fromStdString(line).split(QLatin1Char(' '));
    if (words.size() != 3 || words[0] != QLatin1String("registered"))
        return {};
    return {words[1], words[2]};
}

void TrayDBusTest::initTestCase()
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
    programDir_ = qgetenv("VIGILON_BIN_DIR").toStdString();
}

void TrayDBusTest::init()
{
    notes_.clear();
    if (!watcher_ || !watcher_->running())
        QVERIFY(startWatcher());
    watcher_->output();
    watcher_->skipSeenOutput(); // what earlier tests registered
}

// The item registers and shows the tip; the menu's states follow the
// frame's (which states when: MainFrame's and Monitoring's tests; the icons
// the tray shows: TrayX11Test). How Qt exports them over the bus is Qt's.
void TrayDBusTest::itemCarriesTheTipAndTheMenuFollows()
{
    TrayFrame f(false, "10.1.2.3");
    const Item item = nextRegistration();
    QVERIFY2(!item.service.isEmpty(), "the item did not register with the watcher");
    QCOMPARE(item.ownerPid(), QCoreApplication::applicationPid());
    QCOMPARE(item.tipTitle(), tipFor(sid::TrayTipStopped, QStringLiteral("10.1.2.3")));
    const QList<QAction *> menu = f.tray()->menu().actions();
    QCOMPARE(menu.size(), 6);
    QVERIFY(menu[0]->isCheckable() && !menu[0]->isChecked());
    bool grayed = false;
    f.prompter.onMessage = [&](const FakePrompter::Message &) { grayed = !menu[0]->isEnabled(); };
    QVERIFY(f.frame().toggleMonitoring(false));
    QVERIFY(grayed);
    QVERIFY(waitFor([&] { return item.tipTitle() == tipFor(sid::TrayTipRunning, QStringLiteral("10.1.2.3")); }, 3000));
    QVERIFY(menu[0]->isEnabled() && menu[0]->isChecked());
}

void TrayDBusTest::leftPressOpensTheMenu()
{
    TrayFrame f;
    const Item item = nextRegistration();
    QVERIFY(!item.service.isEmpty());
    QVERIFY(!f.tray()->menu().isVisible());
    QDBusMessage activate = QDBusMessage::createMethodCall(item.service, item.path, kItemInterface,
                                                           QStringLiteral("Activate"));
    activate << 40 << 10;
    call(activate);
    QVERIFY(waitFor([&] { return f.tray()->menu().isVisible(); }, 3000));
    f.tray()->menu().hide();
}

void TrayDBusTest::registersAgainAfterTheWatcherRestarts()
{
    TrayFrame f;
    TrayWatcher::Options options;
    options.pollMs = 100;
    options.noTrayMs = 60000;
    options.note = [this](const std::string &text) { notes_.push_back(text); };
    TrayWatcher watcher(f.frame(), options);
    int announced = 0;
    connect(&watcher, &TrayWatcher::taskbarCreated, this, [&announced] { ++announced; });
    QVERIFY(!nextRegistration().service.isEmpty());
    QVERIFY(watcher.trayExists());
    QVERIFY(f.frame().toggleMonitoring(true));
    QCOMPARE(f.logonFlag(), 0xFFFFFFFFu); // not written yet

    stopWatcher();
    QVERIFY(!watcher.trayExists());
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
    QCOMPARE(f.logonFlag(), 1u);
    QCOMPARE(f.tray()->currentIcon(), res::IconRunning);
    QVERIFY(waitFor([&] { return item.tipTitle() == tipFor(sid::TrayTipRunning, QStringLiteral("127.0.0.1")); }, 3000));
    QVERIFY(watcher.trayExists());
    // Qt already talks to watchers here: no restart needed, nothing to say.
    QTest::qWait(500);
    QCOMPARE(announced, 1);
    QVERIFY(notes_.empty());
}

// The real program, on a store and runtime folder of its own in dir, once it
// serves later starts.
std::unique_ptr<ChildProcess> TrayDBusTest::startProgram(const TempDir &dir, const std::string &store)
{
    QDir(QString::fromStdString(dir.path())).mkpath(QStringLiteral("run"));
    auto program = std::make_unique<ChildProcess>(std::vector<std::string>{programDir_ + "/vigilon"},
                                                  std::vector<std::string>{"VIGILON_REGISTRY=" + dir / store,
                                                                           "XDG_RUNTIME_DIR=" + dir / "run"});
    const QDir run(QString::fromStdString(dir / "run"));
    waitFor([&] { return !run.entryList({QStringLiteral("*.sock")}, QDir::System).isEmpty(); }, 10000);
    return program;
}

void TrayDBusTest::realProgramAsksForARestartOrRegisters()
{
    if (programDir_.empty())
        QSKIP("VIGILON_BIN_DIR is not set");
    TempDir dir;

    // Started before the watcher, on a store that has been used (the
    // program's key exists): it says it needs a restart and sets Logon.
    stopWatcher();
    QVERIFY(reg::SqliteRegistry::open(dir / "early.sqlite")->createKey(kProgramKey));
    std::unique_ptr<ChildProcess> early = startProgram(dir, "early.sqlite");
    QVERIFY(early->running());
    QVERIFY(startWatcher());
    QVERIFY(early->waitForOutput("started again", 5000));
    QVERIFY(waitFor([&] { return storedLogon(dir / "early.sqlite") == 1; }, 3000));
    QCOMPARE(QString::fromStdString(early->output()).count(QStringLiteral("org.kde.StatusNotifierWatcher")), 1);
    early->signal(SIGTERM);
    QCOMPARE(early->waitForExit(10000), 0);

    // Started after it: its item registers, and nothing is said.
    std::unique_ptr<ChildProcess> late = startProgram(dir, "late.sqlite");
    const Item item = nextRegistration(10000);
    QVERIFY2(!item.service.isEmpty(), "the program's item did not register");
    QCOMPARE(item.ownerPid(), qint64(late->pid()));
    QCOMPARE(item.tipTitle(), tipFor(sid::TrayTipStopped, QStringLiteral("127.0.0.1")));
    QVERIFY(late->output().find("started again") == std::string::npos);
    late->signal(SIGTERM);
    QCOMPARE(late->waitForExit(10000), 0);
}

void TrayDBusTest::cleanupTestCase()
{
    watcher_.reset();
}

} // namespace vigilon::test

QTEST_MAIN(vigilon::test::TrayDBusTest)
#include "TrayDBusTest.moc"
