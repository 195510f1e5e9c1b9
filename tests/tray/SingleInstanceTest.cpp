// SPDX-License-Identifier: MIT
// One instance per store: the lock's key and file, and a lock and socket
// left by a holder that was killed. Later starts that ask the holder or wait
// for it are InstanceProgramTest's, with the real program.
#include "app/qt/SingleInstance.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vigilon::test {

class SingleInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void storesAreKeyedByTheirRealPath()
    {
        const std::string a = stores_ / "a.sqlite";
        const std::string b = stores_ / "b.sqlite";
        QVERIFY(SingleInstance::keyFor(a) != SingleInstance::keyFor(b));
        QDir(QString::fromStdString(stores_.path())).mkdir(QStringLiteral("sub"));
        const std::string roundabout = stores_ / "sub/../a.sqlite";
        QCOMPARE(SingleInstance::keyFor(roundabout), SingleInstance::keyFor(a));

        SingleInstance first(a, runtime_.path());
        QVERIFY(first.tryLock());
        QVERIFY(first.lockPath().startsWith(QString::fromStdString(runtime_.path())));
        QCOMPARE(QFileInfo(first.lockPath()).permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup),
                 QFile::Permissions());
        // The same store through another spelling is taken; another store is free.
        SingleInstance second(roundabout, runtime_.path());
        QVERIFY(!second.tryLock());
        QVERIFY(second.error().empty());
        SingleInstance other(b, runtime_.path());
        QVERIFY(other.tryLock());
        // Nobody serves a third store: nobody answers there.
        QVERIFY(!SingleInstance(stores_ / "c.sqlite", runtime_.path()).askToShow(300));
    }

    void aKilledHoldersLockAndSocketAreTakenOver()
    {
        const std::string store = stores_ / "s.sqlite";
        SingleInstance here(store, runtime_.path());
        int ready[2];
        QCOMPARE(pipe(ready), 0);
        const pid_t holder = fork();
        if (holder == 0) {
            SingleInstance first(store, runtime_.path());
            const char locked = first.tryLock() ? 'y' : 'n';
            (void)!write(ready[1], &locked, 1);
            sleep(30); // bounded: killed long before
            _exit(0);
        }
        char locked = 0;
        QCOMPARE(read(ready[0], &locked, 1), ssize_t(1));
        QCOMPARE(locked, 'y');
        QVERIFY(!here.tryLock());

        // Killed, nothing of its own clean-up runs: its socket stays behind.
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, QFile::encodeName(here.socketPath()).constData(), sizeof address.sun_path - 1);
        const int leftover = socket(AF_UNIX, SOCK_STREAM, 0);
        QCOMPARE(bind(leftover, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        close(leftover);
        kill(holder, SIGKILL);
        QCOMPARE(waitpid(holder, nullptr, 0), holder);
        close(ready[0]);
        close(ready[1]);

        QVERIFY(here.tryLock());
        QVERIFY(here.listen([] {}));
        QVERIFY(here.error().empty());
    }

private:
    TempDir runtime_;
    TempDir stores_;
};

} // namespace vigilon::test

QTEST_GUILESS_MAIN(vigilon::test::SingleInstanceTest)
#include "SingleInstanceTest.moc"
