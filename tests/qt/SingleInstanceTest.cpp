// SPDX-License-Identifier: MIT
// One instance per store: the lock's key and file, a lock and socket left by
// a holder that was killed, and what the check takes from its surroundings:
// only a private runtime folder, and only a few descriptors however many
// connect. Later starts that ask the holder or wait for it are
// InstanceProgramTest's, with the real program.
#include "qt/SingleInstance.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Network.h"
#include "tests/support/TempDir.h"
#include "tests/support/qt/QtWait.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vigilon::test {
namespace {

int connectTo(const QString &path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path - 1);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void storesAreKeyedByTheirRealPath()
    {
        const std::string a = stores_ / "a.sqlite";
        const std::string b = stores_ / "b.sqlite";
        QDir(QString::fromStdString(stores_.path())).mkdir(QStringLiteral("sub"));
        const std::string roundabout = stores_ / "sub/../a.sqlite";

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

    void anOpenRuntimeFolderIsNotUsed()
    {
        TempDir runtime;
        const ScopedEnv env{{"XDG_RUNTIME_DIR", runtime.path()}};
        QVERIFY(::chmod(runtime.path().c_str(), 0777) == 0);
        const QString open = SingleInstance("/x/registry.sqlite").socketPath();
        QVERIFY(::chmod(runtime.path().c_str(), 0700) == 0);
        const QString closed = SingleInstance("/x/registry.sqlite").socketPath();
        QVERIFY2(!open.startsWith(QString::fromStdString(runtime.path())), qPrintable(open));
        QVERIFY2(closed.startsWith(QString::fromStdString(runtime.path())), qPrintable(closed));
    }

    // Idle connections by the hundred hold neither a request up nor more
    // than a few of our descriptors; each is closed after its deadline.
    void idleConnectionsNeverHoldARequestUp()
    {
        SingleInstance holder(stores_ / "idle.sqlite", runtime_.path());
        int shown = 0;
        QVERIFY(holder.tryLock() && holder.listen([&] { ++shown; }));
        const int before = openDescriptorCount();
        std::vector<int> idle;
        for (int i = 0; i < 300; ++i) {
            const int fd = connectTo(holder.socketPath());
            if (fd >= 0)
                idle.push_back(fd);
            QCoreApplication::processEvents();
        }
        QVERIFY(idle.size() >= 40);
        const int held = openDescriptorCount() - before - int(idle.size());
        QVERIFY2(held <= SingleInstance::MaxClients + 4, qPrintable(QString::number(held)));

        // Asked while the idle ones are open: answered before the newest
        // idle one is let go at its deadline, not in a turn after them.
        const int asker = connectTo(holder.socketPath());
        QVERIFY(asker >= 0);
        QCOMPARE(::write(asker, "show\n", 5), ssize_t(5));
        char answer[4] = {};
        QVERIFY(waitFor([&] { return ::read(asker, answer, 3) == 3; }, 10000));
        char byte;
        QVERIFY(::read(idle.back(), &byte, 1) == -1 && errno == EAGAIN);
        QCOMPARE(QByteArray(answer), QByteArray("ok\n"));
        QCOMPARE(shown, 1);
        close(asker);
        QVERIFY(waitFor([&] { return ::read(idle.back(), &byte, 1) == 0; }, SingleInstance::ServeMs + 1500));
        for (int fd : idle)
            close(fd);
    }

    // A folder of that name that is not ours and private is never used,
    // and the lock is taken in another private place.
    void aForeignFolderUnderTheTemporaryDirectoryIsPassedOver()
    {
        TempDir tmp, home;
        const std::string taken = tmp / ("vigilon-" + std::to_string(geteuid()));
        QVERIFY(::mkdir(taken.c_str(), 0777) == 0 && ::chmod(taken.c_str(), 0777) == 0);
        if (geteuid() == 0)
            QVERIFY(::chown(taken.c_str(), 65534, 65534) == 0);
        const ScopedEnv env{{"XDG_RUNTIME_DIR", std::nullopt}, {"XDG_CACHE_HOME", std::nullopt},
                            {"TMPDIR", tmp.path()}, {"HOME", home.path()}};
        SingleInstance first(stores_ / "t.sqlite"), second(stores_ / "t.sqlite");
        const bool firstLocked = first.tryLock(), secondLocked = second.tryLock();
        QVERIFY2(firstLocked, first.error().c_str());
        QVERIFY(!secondLocked && second.error().empty());
        QVERIFY2(first.lockPath().startsWith(QString::fromStdString(home.path())), qPrintable(first.lockPath()));
    }

private:
    TempDir runtime_;
    TempDir stores_;
};

} // namespace vigilon::test

QTEST_GUILESS_MAIN(vigilon::test::SingleInstanceTest)
#include "SingleInstanceTest.moc"
