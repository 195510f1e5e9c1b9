// SPDX-License-Identifier: MIT
// One instance per store with the real program under Xvfb and trayer: a
// later start without "-service" has the first show its main dialog and
// ends; one with "-service" waits for the first to end and then monitors;
// instances on other stores never meet.
#include "app/store/SqliteRegistry.h"
#include "tests/support/TempDir.h"
#include "tests/tray/TrayTestSupport.h"

#include <QDir>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <csignal>
#include <filesystem>

namespace vigilon::test {

namespace {

// Only loopback is ever watched here.
const QString kHost = QStringLiteral("127.0.0.9");

// Whether a mapped window whose name holds text exists.
bool viewableWindowNamed(const QString &text)
{
    for (const QString &line : windowTree().split(QLatin1Char('\n'))) {
        if (line.contains(text) &&
            run({"xwininfo", "-id", line.trimmed().section(QLatin1Char(' '), 0, 0).toStdString()}, {}, 5000)
                    .out.find("Map State: IsViewable") != std::string::npos)
            return true;
    }
    return false;
}

} // namespace

class InstanceProgramTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void laterStartShowsTheFirstsDialogAndEnds();
    void serviceStartWaitsForTheFirstThenMonitors();
    void cleanupTestCase();

private:
    std::string storePath(const std::string &name) const { return *dir_ / (name + ".sqlite"); }
    std::vector<std::string> environmentFor(const std::string &store) const
    {
        return {"VIGILON_REGISTRY=" + store, "XDG_RUNTIME_DIR=" + *dir_ / "run"};
    }
    std::unique_ptr<ChildProcess> start(const std::string &store, std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), program_);
        return std::make_unique<ChildProcess>(arguments, environmentFor(store));
    }
    bool servesLaterStarts(int timeoutMs = 10000)
    {
        const QDir run(QString::fromStdString(*dir_ / "run"));
        return waitFor([&] { return !run.entryList({QStringLiteral("*.sock")}, QDir::System).isEmpty(); }, timeoutMs);
    }
    static void endsWell(ChildProcess &program)
    {
        program.signal(SIGTERM);
        QCOMPARE(program.waitForExit(10000), 0);
    }

    std::unique_ptr<ChildProcess> trayer_;
    std::string program_;
    std::unique_ptr<TempDir> dir_;
};

void InstanceProgramTest::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server (run under Xvfb)");
    for (const char *tool : {"trayer", "xwininfo"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
    }
    program_ = qgetenv("VIGILON_BIN_DIR").toStdString() + "/vigilon";
    QVERIFY2(QFileInfo(QString::fromStdString(program_)).isExecutable(), program_.c_str());
    // The X11 tray only, so that no main dialog shows for want of a tray.
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    trayer_ = std::make_unique<ChildProcess>(std::vector<std::string>{"trayer", "--edge", "top"});
    QVERIFY(waitFor([] { return windowTree().contains(QLatin1String("\"trayer\"")); }, 10000));
}

void InstanceProgramTest::init()
{
    dir_ = std::make_unique<TempDir>();
    QVERIFY(std::filesystem::create_directory(*dir_ / "run"));
    std::filesystem::permissions(*dir_ / "run", std::filesystem::perms::owner_all);
}

void InstanceProgramTest::laterStartShowsTheFirstsDialogAndEnds()
{
    auto first = start(storePath("a"), {"-service", "-t" + kHost.toStdString()});
    QVERIFY(servesLaterStarts());
    QTest::qWait(500);
    QVERIFY2(!viewableWindowNamed(kHost), "service mode starts hidden");

    QCOMPARE(start(storePath("a"), {})->waitForExit(10000), 0);
    QVERIFY(waitFor([] { return viewableWindowNamed(kHost); }, 5000));
    QVERIFY(first->running());

    // Another store is another program.
    auto other = start(storePath("b"), {"-service"});
    QCOMPARE(other->waitForExit(1500), -1);
    QVERIFY(other->output().find("another Vigilon") == std::string::npos);
    endsWell(*first);
    endsWell(*other);
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
    const std::string store = storePath("s");
    QCOMPARE(storePorts(*reg::SqliteRegistry::open(store), {{server.serverPort(), GenericTcp, 1, 0, "", "loop"}}, 1, 1,
                        "127.0.0.1"),
             reg::Status::Ok);

    auto first = start(store, {"-service"});
    QVERIFY(servesLaterStarts());
    auto second = start(store, {"-service", "--verbose"});
    // Answering the server's connections needs our own loop to run.
    QVERIFY(waitFor([&] { return second->waitForOutput("waiting until it ends", 0); }, 5000));
    // The first monitors from 2 s on; the second only waits.
    QTest::qWait(4000);
    QVERIFY(second->running());
    QVERIFY2(second->output().find("\tloop\t") == std::string::npos, second->output().c_str());

    endsWell(*first);
    QVERIFY2(waitFor([&] { return second->waitForOutput("\tloop\tOk\t", 0); }, 10000), second->output().c_str());
    QCOMPARE(QString::fromStdString(second->output()).count(QStringLiteral("another Vigilon")), 1);
    endsWell(*second);
}

void InstanceProgramTest::cleanupTestCase()
{
    trayer_.reset();
}

} // namespace vigilon::test

QTEST_MAIN(vigilon::test::InstanceProgramTest)
#include "InstanceProgramTest.moc"
