// SPDX-License-Identifier: MIT
// One instance per store with the real program under Xvfb and trayer: a
// later start without "-service" has the first show its main dialog and
// ends; one with "-service" waits for the first to end and then monitors;
// instances on other stores never meet.
#include "store/posix/SqliteRegistry.h"
#include "tests/qt/TrayTestSupport.h"

#include <QFileInfo>
#include <QTcpServer>
#include <QTest>

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
    void initTestCase()
    {
        if (const QString missing = x11TrayMissing(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        const QString program = qEnvironmentVariable("VIGILON_BIN_DIR") + QStringLiteral("/vigilon");
        QVERIFY2(QFileInfo(program).isExecutable(), qPrintable(program));
        // The X11 tray only, so that no main dialog shows for want of a tray.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        trayer_ = std::make_unique<ChildProcess>(std::vector<std::string>{"trayer", "--edge", "top"});
        QVERIFY(waitFor([] { return windowTree().contains(QLatin1String("\"trayer\"")); }, 10000));
    }

    void init()
    {
        dir_ = std::make_unique<TempDir>();
    }

    void laterStartShowsTheFirstsDialogAndEnds()
    {
        auto first = startProgram(*dir_, storePath("a"), {"-service", "-t" + kHost.toStdString()});
        QVERIFY(servesLaterStarts(*dir_));
        QTest::qWait(500);
        QVERIFY2(!viewableWindowNamed(kHost), "service mode starts hidden");

        QCOMPARE(startProgram(*dir_, storePath("a"), {})->waitForExit(10000), 0);
        QVERIFY(waitFor([] { return viewableWindowNamed(kHost); }, 5000));
        QVERIFY(first->running());

        // Another store is another program.
        auto other = startProgram(*dir_, storePath("b"), {"-service"});
        QCOMPARE(other->waitForExit(1500), -1);
        QVERIFY(other->output().find("another Vigilon") == std::string::npos);
        endsWell(*first);
        endsWell(*other);
    }

    void serviceStartWaitsForTheFirstThenMonitors()
    {
        // A check of the entry succeeds once its connection is made.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const std::string store = storePath("s");
        QCOMPARE(storePorts(*reg::SqliteRegistry::open(store), {{server.serverPort(), GenericTcp, 1, 0, "", "loop"}}, 1, 1,
                            "127.0.0.1"),
                 reg::Status::Ok);

        auto first = startProgram(*dir_, store, {"-service"});
        QVERIFY(servesLaterStarts(*dir_));
        auto second = startProgram(*dir_, store, {"-service", "--verbose"});
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

private:
    std::string storePath(const std::string &name) const { return *dir_ / (name + ".sqlite"); }

    std::unique_ptr<ChildProcess> trayer_; // ends with the test
    std::unique_ptr<TempDir> dir_;
};

} // namespace vigilon::test

QTEST_MAIN(vigilon::test::InstanceProgramTest)
#include "InstanceProgramTest.moc"
