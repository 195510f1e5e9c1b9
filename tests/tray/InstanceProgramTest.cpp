// SPDX-License-Identifier: MIT
// One instance per store with the real program under Xvfb and trayer: a
// later start without "-service" has the first show its main dialog and
// ends; one with "-service" waits for the first to end and then monitors;
// instances on other stores never meet.
#include "app/base/MonitorPort.h"
#include "app/store/Settings.h"
#include "app/store/SqliteRegistry.h"
#include "tests/tray/TrayTestSupport.h"

#include <QDir>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace vigilon::test {

namespace {

// Only loopback is ever watched here.
const QString kHost = QStringLiteral("127.0.0.9");

// Whether a mapped window whose name holds text exists.
bool viewableWindowNamed(const QString &text)
{
    const QStringList lines = windowTree().split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (!line.contains(text))
            continue;
        const QString id = line.trimmed().section(QLatin1Char(' '), 0, 0);
        QProcess info;
        info.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
        if (info.waitForFinished(5000) && info.readAllStandardOutput().contains("Map State: IsViewable"))
            return true;
    }
    return false;
}

// Live processes whose program is the given path (as started, argv[0]).
QList<qint64> processesOf(const QString &program)
{
    QList<qint64> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number)
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmdline.open(QIODevice::ReadOnly) || cmdline.readAll().split('\0').value(0) != program.toLocal8Bit())
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z "))
            pids << pid;
    }
    return pids;
}

} // namespace

class InstanceProgramTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void laterStartShowsTheFirstsDialogAndEnds();
    void serviceStartWaitsForTheFirstThenMonitors();
    void serviceHostEndsAndStartsTheProgramAgain();
    void cleanupTestCase();

private:
    QString storePath(const QString &name) const { return dir_->filePath(name + QStringLiteral(".sqlite")); }
    QProcessEnvironment environmentFor(const QString &store) const;
    QProcess *start(const QString &store, const QStringList &arguments);
    bool servesLaterStarts(int timeoutMs = 10000)
    {
        const QDir run(dir_->filePath(QStringLiteral("run")));
        return waitFor([&] { return !run.entryList({QStringLiteral("*.sock")}, QDir::System).isEmpty(); }, timeoutMs);
    }

    Helper trayer_;
    QString program_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::vector<std::unique_ptr<QProcess>> programs_;
};

void InstanceProgramTest::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server (run under Xvfb)");
    for (const char *tool : {"trayer", "xwininfo"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    program_ = QString::fromLocal8Bit(qgetenv("VIGILON_BIN_DIR")) + QStringLiteral("/vigilon");
    QVERIFY2(QFileInfo(program_).isExecutable(), qPrintable(program_));
    // The X11 tray only, so that no main dialog shows for want of a tray.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QVERIFY(trayer_.start(QStringLiteral("trayer"), {QStringLiteral("--edge"), QStringLiteral("top")}));
    QVERIFY(waitFor([] { return windowTree().contains(QLatin1String("\"trayer\"")); }, 10000));
}

void InstanceProgramTest::init()
{
    programs_.clear();
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("run")));
    QFile::setPermissions(dir_->filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QProcessEnvironment InstanceProgramTest::environmentFor(const QString &store) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VIGILON_REGISTRY"), store);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_->filePath(QStringLiteral("run")));
    return env;
}

QProcess *InstanceProgramTest::start(const QString &store, const QStringList &arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environmentFor(store));
    process->start(program_, arguments);
    process->waitForStarted(5000);
    programs_.push_back(std::move(process));
    return programs_.back().get();
}

void InstanceProgramTest::laterStartShowsTheFirstsDialogAndEnds()
{
    QProcess *first = start(storePath(QStringLiteral("a")), {QStringLiteral("-service"), QStringLiteral("-t") + kHost});
    QVERIFY(servesLaterStarts());
    QTest::qWait(500);
    QVERIFY2(!viewableWindowNamed(kHost), "service mode starts hidden");

    QProcess *second = start(storePath(QStringLiteral("a")), {});
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(waitFor([] { return viewableWindowNamed(kHost); }, 5000));
    QCOMPARE(first->state(), QProcess::Running);

    // Another store is another program.
    QProcess *other = start(storePath(QStringLiteral("b")), {QStringLiteral("-service")});
    QVERIFY(!other->waitForFinished(1500));
    QVERIFY(!other->readAllStandardError().contains("another Vigilon"));

    for (QProcess *p : {first, other}) {
        p->terminate();
        QVERIFY(p->waitForFinished(10000));
        QCOMPARE(p->exitCode(), 0);
    }
}

void InstanceProgramTest::serviceStartWaitsForTheFirstThenMonitors()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    connect(&server, &QTcpServer::newConnection, &server, [&server] {
        while (QTcpSocket *peer = server.nextPendingConnection()) {
            peer->close();
            peer->deleteLater();
        }
    });
    const QString store = storePath(QStringLiteral("s"));
    {
        auto registry = reg::SqliteRegistry::open(store.toStdString());
        QVERIFY(registry);
        PortList ports;
        auto entry = std::make_unique<MonitorPort>();
        entry->active = 1;
        entry->port = server.serverPort();
        entry->protocol = GenericTcp;
        entry->name = "loop";
        ports.push_back(std::move(entry));
        appendPlaceholder(ports); // the list's empty last row, never stored
        QCOMPARE(saveSettings(*registry, "127.0.0.1", 1, 1, ports), reg::Status::Ok);
    }

    QProcess *first = start(store, {QStringLiteral("-service")});
    QVERIFY(servesLaterStarts());
    QProcess *second = start(store, {QStringLiteral("-service"), QStringLiteral("--verbose")});
    QByteArray errors;
    QVERIFY(waitFor([&] {
        errors += second->readAllStandardError();
        return errors.contains("waiting until it ends");
    }, 5000));
    // The first monitors from 2 s on; the second only waits.
    QVERIFY(!second->waitForFinished(4000));
    errors += second->readAllStandardError();
    QVERIFY2(!errors.contains("\tloop\t"), errors.constData());
    QCOMPARE(errors.count("another Vigilon"), 1);

    first->terminate();
    QVERIFY(first->waitForFinished(10000));
    QVERIFY2(waitFor([&] {
        errors += second->readAllStandardError();
        return errors.contains("\tloop\tOk\t");
    }, 10000), errors.constData());
    QCOMPARE(errors.count("another Vigilon"), 1);
    second->terminate();
    QVERIFY(second->waitForFinished(10000));
    QCOMPARE(second->exitCode(), 0);
}

// Vigilsvc's end-then-start after a logon: the fresh Vigilon gets the store's
// lock and serves, without waiting for anybody.
void InstanceProgramTest::serviceHostEndsAndStartsTheProgramAgain()
{
    const QString vigilsvc = QString::fromLocal8Bit(qgetenv("VIGILSVC_BIN"));
    QVERIFY2(QFileInfo(vigilsvc).isExecutable(), qPrintable(vigilsvc));
    // Vigilsvc starts the vigilon next to it.
    const QString host = dir_->filePath(QStringLiteral("vigilsvc"));
    const QString monitor = dir_->filePath(QStringLiteral("vigilon"));
    QVERIFY(QFile::copy(vigilsvc, host));
    QVERIFY(QFile::setPermissions(host, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(QFile::link(program_, monitor));
    const QString store = storePath(QStringLiteral("svc"));
    QVERIFY(reg::SqliteRegistry::open(store.toStdString())->createKey(kProgramKey));

    QProcess supervisor;
    supervisor.setProcessEnvironment(environmentFor(store));
    supervisor.start(host, {QStringLiteral("-debug")});
    QVERIFY(supervisor.waitForStarted(5000));
    QVERIFY(waitFor([&] { return processesOf(monitor).size() == 1; }, 10000));
    const qint64 first = processesOf(monitor).value(0);
    QVERIFY(servesLaterStarts());

    QCOMPARE(setLogonFlag(*reg::SqliteRegistry::open(store.toStdString()), 1), reg::Status::Ok);
    // Ended at the next round, started again one round later.
    QVERIFY(waitFor([&] {
        const QList<qint64> now = processesOf(monitor);
        return now.size() == 1 && now[0] != first;
    }, 30000));
    QVERIFY(servesLaterStarts());
    QProcess *asker = start(store, {});
    QVERIFY(asker->waitForFinished(10000));
    QCOMPARE(asker->exitCode(), 0);
    const QByteArray errors = supervisor.readAllStandardError();
    QVERIFY2(!errors.contains("another Vigilon"), errors.constData());

    supervisor.terminate();
    QVERIFY(supervisor.waitForFinished(10000));
    QVERIFY(waitFor([&] { return processesOf(monitor).isEmpty(); }, 5000));
}

void InstanceProgramTest::cleanupTestCase()
{
    for (auto &p : programs_) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(3000);
        }
    }
    trayer_.stop();
}

} // namespace vigilon::test

QTEST_MAIN(vigilon::test::InstanceProgramTest)
#include "InstanceProgramTest.moc"
