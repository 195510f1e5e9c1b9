// SPDX-License-Identifier: MIT
// The tray icon as a StatusNotifierItem, on a private session bus with a
// test watcher (tests/tray/TestWatcher.cpp) and no X11 tray: the item
// registers, its tip, icon and menu read back over D-Bus, a left press opens
// the menu, it registers again after the watcher restarts and "Logon" = 1 is
// written; the real program started before the watcher says it needs a
// restart, and one started after it registers its item.
#include "app/base/StringTable.h"
#include "app/qt/TrayWatcher.h"
#include "app/store/Settings.h"
#include "app/store/SqliteRegistry.h"
#include "tests/tray/TrayTestSupport.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>

namespace vigilon::test {

namespace {

const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

QString tipFor(unsigned id, const QString &host)
{
    QString text = QString::fromStdString(loadString(id));
    text.replace(QStringLiteral("%s"), host);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

// A menu label as dbusmenu carries it: the first "&" becomes "_".
QString dbusLabel(const char *text)
{
    QString label = QString::fromUtf8(text);
    const qsizetype amp = label.indexOf(QLatin1Char('&'));
    if (amp >= 0 && amp + 1 < label.size())
        label[amp] = QLatin1Char('_');
    return label;
}

// Calls over the bus while this process keeps serving its own objects.
QDBusMessage call(const QDBusMessage &message)
{
    QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(message, 5000);
    waitFor([&] { return pending.isFinished(); }, 6000);
    return pending.reply();
}

QVariant itemProperty(const QString &service, const QString &path, const QString &name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << kItemInterface << name;
    const QDBusMessage reply = call(get);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().first().value<QDBusVariant>().variant();
}

struct ToolTip {
    bool read = false;
    QString title;
    QString text;
};

ToolTip itemToolTip(const QString &service, const QString &path)
{
    ToolTip tip;
    const QVariant value = itemProperty(service, path, QStringLiteral("ToolTip"));
    if (!value.canConvert<QDBusArgument>())
        return tip;
    const QDBusArgument arg = value.value<QDBusArgument>();
    QString iconName;
    arg.beginStructure();
    arg >> iconName;
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
    arg >> tip.title >> tip.text;
    arg.endStructure();
    tip.read = true;
    return tip;
}

// What the item shows as its icon: the name and a digest of the pixmaps.
QByteArray iconFingerprint(const QString &service, const QString &path)
{
    QCryptographicHash digest(QCryptographicHash::Sha1);
    int images = 0;
    digest.addData(itemProperty(service, path, QStringLiteral("IconName")).toString().toUtf8());
    const QVariant pixmaps = itemProperty(service, path, QStringLiteral("IconPixmap"));
    if (pixmaps.canConvert<QDBusArgument>()) {
        const QDBusArgument arg = pixmaps.value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            int width = 0;
            int height = 0;
            QByteArray pixels;
            arg.beginStructure();
            arg >> width >> height >> pixels;
            arg.endStructure();
            digest.addData(pixels);
            if (width > 0 && height > 0 && pixels.size() == qsizetype(width) * height * 4)
                ++images;
        }
        arg.endArray();
    }
    // No picture at all is no icon.
    return images == 0 ? QByteArray() : digest.result().toHex();
}

struct MenuEntry {
    QString label;
    QString type;
    bool enabled = true;
    bool checkable = false;
    int checked = -1;
};

// The top level of the item's exported menu (com.canonical.dbusmenu).
QList<MenuEntry> itemMenu(const QString &service, const QString &path)
{
    QList<MenuEntry> entries;
    const QDBusObjectPath menuPath = itemProperty(service, path, QStringLiteral("Menu")).value<QDBusObjectPath>();
    if (menuPath.path().isEmpty())
        return entries;
    QDBusMessage getLayout = QDBusMessage::createMethodCall(service, menuPath.path(), QStringLiteral("com.canonical.dbusmenu"),
                                                            QStringLiteral("GetLayout"));
    getLayout << 0 << 1 << QStringList();
    const QDBusMessage reply = call(getLayout);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() < 2)
        return entries;
    const QDBusArgument root = reply.arguments().at(1).value<QDBusArgument>();
    int id = 0;
    QVariantMap properties;
    root.beginStructure();
    root >> id >> properties;
    root.beginArray();
    while (!root.atEnd()) {
        QDBusVariant child;
        root >> child;
        const QDBusArgument item = child.variant().value<QDBusArgument>();
        int childId = 0;
        QVariantMap p;
        item.beginStructure();
        item >> childId >> p;
        item.beginArray();
        while (!item.atEnd()) {
            QDBusVariant grandChild;
            item >> grandChild;
        }
        item.endArray();
        item.endStructure();
        if (p.value(QStringLiteral("visible"), true).toBool() == false)
            continue;
        MenuEntry entry;
        entry.label = p.value(QStringLiteral("label")).toString();
        entry.type = p.value(QStringLiteral("type")).toString();
        entry.enabled = p.value(QStringLiteral("enabled"), true).toBool();
        entry.checkable = p.value(QStringLiteral("toggle-type")).toString() == QLatin1String("checkmark");
        entry.checked = p.value(QStringLiteral("toggle-state"), -1).toInt();
        entries << entry;
    }
    root.endArray();
    root.endStructure();
    return entries;
}

// The process that owns a bus name.
qint64 ownerPid(const QString &service)
{
    const QDBusReply<uint> pid = QDBusConnection::sessionBus().interface()->servicePid(service);
    return pid.isValid() ? qint64(pid.value()) : -1;
}

std::uint32_t storedLogon(const std::string &storePath)
{
    auto registry = reg::SqliteRegistry::open(storePath);
    auto key = registry ? registry->openKey(kProgramKey, reg::KeyQueryValue) : nullptr;
    reg::Value value;
    std::uint32_t flag = 0xFFFFFFFF;
    if (key && key->queryValue(kLogonValue, value) == reg::Status::Ok)
        reg::dwordFromValue(value, flag);
    return flag;
}

} // namespace

class TrayDBusTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void itemCarriesTheTipIconAndMenu();
    void leftPressOpensTheMenu();
    void registersAgainAfterTheWatcherRestarts();
    void programStartedBeforeTheWatcherAsksForARestart();
    void programStartedAfterTheWatcherRegisters();
    void cleanupTestCase();

private:
    bool startWatcher();
    void stopWatcher();
    // The next "service path" the watcher reported, or empty.
    QStringList nextRegistration(int timeoutMs = 5000);
    TrayWatcher::Options watcherOptions()
    {
        TrayWatcher::Options options;
        options.pollMs = 100;
        options.noTrayMs = 60000;
        options.note = [this](const std::string &text) { notes_.push_back(text); };
        return options;
    }
    QProcess *startProgram(const QString &storePath, const QString &runtime);

    Helper watcher_;
    std::vector<std::string> notes_;
    QString programDir_;
};

bool TrayDBusTest::startWatcher()
{
    watcher_.process().setProcessChannelMode(QProcess::ForwardedErrorChannel);
    watcher_.process().start(QCoreApplication::applicationDirPath() + QStringLiteral("/tray_test_watcher"), {});
    if (!watcher_.process().waitForStarted(5000))
        return false;
    if (!waitFor([this] { return watcher_.process().canReadLine() || watcher_.process().state() == QProcess::NotRunning; },
                 5000))
        return false;
    return watcher_.process().readLine() == "ready\n";
}

void TrayDBusTest::stopWatcher()
{
    watcher_.kill();
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    QVERIFY(waitFor([bus] { return !bus->isServiceRegistered(QString::fromLatin1(TrayWatcher::kWatcherService)).value(); },
                    5000));
}

QStringList TrayDBusTest::nextRegistration(int timeoutMs)
{
    if (!waitFor([this] { return watcher_.process().canReadLine(); }, timeoutMs))
        return {};
    const QString line = QString::fromLocal8Bit(watcher_.process().readLine()).trimmed();
    QStringList words = line.split(QLatin1Char(' '));
    if (words.size() != 3 || words[0] != QLatin1String("registered"))
        return {};
    words.removeFirst();
    return words;
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
    programDir_ = QString::fromLocal8Bit(qgetenv("VIGILON_BIN_DIR"));
}

void TrayDBusTest::init()
{
    notes_.clear();
    if (watcher_.process().state() == QProcess::NotRunning)
        QVERIFY(startWatcher());
    watcher_.process().readAll();
}

void TrayDBusTest::itemCarriesTheTipIconAndMenu()
{
    TrayFrame f(false, "10.1.2.3");
    const QStringList item = nextRegistration();
    QVERIFY2(!item.isEmpty(), "the item did not register with the watcher");
    const QString &service = item[0];
    const QString &path = item[1];
    QCOMPARE(ownerPid(service), QCoreApplication::applicationPid());

    ToolTip tip = itemToolTip(service, path);
    QVERIFY(tip.read);
    QCOMPARE(tip.title, tipFor(sid::TrayTipStopped, QStringLiteral("10.1.2.3")));
    const QByteArray stoppedIcon = iconFingerprint(service, path);
    QVERIFY2(!stoppedIcon.isEmpty(), "the item has no picture");

    const QList<MenuEntry> menu = itemMenu(service, path);
    QCOMPARE(menu.size(), 6);
    const char *labels[] = {"サービスの開始/停止(&S)", "ダイアログボックス表示/非表示(&D)", nullptr,
                            "ヘルプ(&H)...", "バージョン情報(&A)", "終了(&X)"};
    for (int i = 0; i < 6; ++i) {
        if (!labels[i]) {
            QCOMPARE(menu[i].type, QStringLiteral("separator"));
            continue;
        }
        QCOMPARE(menu[i].label, dbusLabel(labels[i]));
        QVERIFY2(menu[i].enabled, qPrintable(menu[i].label));
    }
    QVERIFY(menu[0].checkable);
    QCOMPARE(menu[0].checked, 0);
    QVERIFY(!menu[1].checkable);

    // While the start question is open its item is grayed, and only that one.
    QCOMPARE(f.frame().portsForTest().front()->active, 1);
    QList<MenuEntry> asking;
    f.prompter().onMessage = [&](const FakePrompter::Message &) { asking = itemMenu(service, path); };
    QVERIFY(f.frame().toggleMonitoring(false));
    f.prompter().onMessage = nullptr;
    QCOMPARE(asking.size(), 6);
    QVERIFY(!asking[0].enabled);
    QVERIFY(asking[1].enabled && asking[3].enabled && asking[4].enabled && asking[5].enabled);

    // Running: the tip, the check mark, the icon and the item's enabled flag follow.
    QVERIFY(waitFor([&] { return itemToolTip(service, path).title ==
                                 tipFor(sid::TrayTipRunning, QStringLiteral("10.1.2.3")); },
                    3000));
    const QList<MenuEntry> running = itemMenu(service, path);
    QCOMPARE(running.size(), 6);
    QVERIFY(running[0].enabled);
    QCOMPARE(running[0].checked, 1);
    const QByteArray runningIcon = iconFingerprint(service, path);
    QVERIFY(!runningIcon.isEmpty());
    QVERIFY(runningIcon != stoppedIcon);
    f.frame().portsForTest().front()->status = Failed;
    f.frame().refreshTrayState();
    QVERIFY(waitFor([&] { return iconFingerprint(service, path) != runningIcon; }, 3000));
}

void TrayDBusTest::leftPressOpensTheMenu()
{
    TrayFrame f;
    const QStringList item = nextRegistration();
    QVERIFY(!item.isEmpty());
    QVERIFY(!f.tray()->menu().isVisible());
    QDBusMessage activate = QDBusMessage::createMethodCall(item[0], item[1], kItemInterface, QStringLiteral("Activate"));
    activate << 40 << 10;
    call(activate);
    QVERIFY(waitFor([&] { return f.tray()->menu().isVisible(); }, 3000));
    f.tray()->menu().hide();
}

void TrayDBusTest::registersAgainAfterTheWatcherRestarts()
{
    TrayFrame f;
    TrayWatcher watcher(f.frame(), watcherOptions());
    int announced = 0;
    connect(&watcher, &TrayWatcher::taskbarCreated, this, [&announced] { ++announced; });
    QVERIFY(!nextRegistration().isEmpty());
    QVERIFY(watcher.trayExists());
    QVERIFY(f.frame().toggleMonitoring(true));
    QCOMPARE(f.logonFlag(), 0xFFFFFFFFu); // not written yet

    stopWatcher();
    QVERIFY(!watcher.trayExists());
    QTest::qWait(500);
    QCOMPARE(announced, 0); // a tray that goes is no new taskbar

    QVERIFY(startWatcher());
    QStringList item = nextRegistration();
    QVERIFY2(!item.isEmpty(), "the item did not register with the new watcher");
    QVERIFY(waitFor([&] { return announced == 1; }, 5000));
    // Qt may register once by itself before the icon is added again: the
    // last registration is the one that stays.
    for (QStringList later = nextRegistration(500); !later.isEmpty(); later = nextRegistration(500))
        item = later;
    QCOMPARE(ownerPid(item[0]), QCoreApplication::applicationPid());
    QCOMPARE(f.logonFlag(), 1u);
    QCOMPARE(f.tray()->currentIcon(), res::IconRunning);
    QVERIFY(waitFor([&] { return itemToolTip(item[0], item[1]).title ==
                                 tipFor(sid::TrayTipRunning, QStringLiteral("127.0.0.1")); },
                    3000));
    QVERIFY(watcher.trayExists());
    // Qt already talks to watchers here: no restart needed, nothing to say.
    QTest::qWait(500);
    QCOMPARE(announced, 1);
    QVERIFY(notes_.empty());
}

QProcess *TrayDBusTest::startProgram(const QString &storePath, const QString &runtime)
{
    auto *program = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VIGILON_REGISTRY"), storePath);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    program->setProcessEnvironment(env);
    program->start(programDir_ + QStringLiteral("/vigilon"), {});
    return program;
}

void TrayDBusTest::programStartedBeforeTheWatcherAsksForARestart()
{
    if (programDir_.isEmpty())
        QSKIP("VIGILON_BIN_DIR is not set");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir(dir.path()).mkdir(QStringLiteral("run"));
    const QString store = dir.filePath(QStringLiteral("store.sqlite"));
    stopWatcher();

    // A store that has been used: the program's key exists.
    QVERIFY(reg::SqliteRegistry::open(store.toStdString())->createKey(kProgramKey));
    QProcess *program = startProgram(store, dir.filePath(QStringLiteral("run")));
    QVERIFY(program->waitForStarted(5000));
    // Up once it serves later starts.
    QVERIFY(waitFor([&] { return !QDir(dir.filePath(QStringLiteral("run"))).entryList({QStringLiteral("*.sock")}, QDir::System).isEmpty(); },
                    10000));
    QCOMPARE(program->state(), QProcess::Running);

    QVERIFY(startWatcher());
    QByteArray errors;
    QVERIFY(waitFor([&] {
        errors += program->readAllStandardError();
        return errors.contains("started again");
    }, 5000));
    QVERIFY(waitFor([&] { return storedLogon(store.toStdString()) == 1; }, 3000));
    QCOMPARE(errors.count("org.kde.StatusNotifierWatcher"), 1);

    program->terminate();
    QVERIFY(program->waitForFinished(10000));
    QCOMPARE(program->exitCode(), 0);
}

void TrayDBusTest::programStartedAfterTheWatcherRegisters()
{
    if (programDir_.isEmpty())
        QSKIP("VIGILON_BIN_DIR is not set");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QDir(dir.path()).mkdir(QStringLiteral("run"));
    QProcess *program = startProgram(dir.filePath(QStringLiteral("store.sqlite")), dir.filePath(QStringLiteral("run")));
    QVERIFY(program->waitForStarted(5000));
    const QStringList item = nextRegistration(10000);
    QVERIFY2(!item.isEmpty(), "the program's item did not register");
    QCOMPARE(ownerPid(item[0]), program->processId());
    QCOMPARE(itemToolTip(item[0], item[1]).title, tipFor(sid::TrayTipStopped, QStringLiteral("127.0.0.1")));
    QVERIFY2(!iconFingerprint(item[0], item[1]).isEmpty(), "the program's item has no picture");
    QVERIFY(!program->readAllStandardError().contains("started again"));
    program->terminate();
    QVERIFY(program->waitForFinished(10000));
    QCOMPARE(program->exitCode(), 0);
}

void TrayDBusTest::cleanupTestCase()
{
    watcher_.stop();
}

} // namespace vigilon::test

QTEST_MAIN(vigilon::test::TrayDBusTest)
#include "TrayDBusTest.moc"
