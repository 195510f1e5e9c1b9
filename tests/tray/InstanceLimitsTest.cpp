// SPDX-License-Identifier: MIT
// What the one-instance check takes from its surroundings: only a private
// runtime folder, and only a few descriptors however many connect.
#include "app/qt/SingleInstance.h"
#include "tests/support/Network.h"
#include "tests/support/qt/QtWait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

class InstanceLimitsTest : public QObject {
    Q_OBJECT
private slots:
    void anOpenRuntimeFolderIsNotUsed()
    {
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());
        const QByteArray old = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        QVERIFY(::chmod(QFile::encodeName(runtime.path()).constData(), 0777) == 0);
        const QString open = SingleInstance("/x/registry.sqlite").socketPath();
        QVERIFY(::chmod(QFile::encodeName(runtime.path()).constData(), 0700) == 0);
        const QString closed = SingleInstance("/x/registry.sqlite").socketPath();
        qputenv("XDG_RUNTIME_DIR", old);
        QVERIFY2(!open.startsWith(runtime.path()), qPrintable(open));
        QVERIFY2(closed.startsWith(runtime.path()), qPrintable(closed));
    }

    // Idle connections by the hundred: they wait their turn without our
    // descriptors, each is closed after its short deadline, and a request
    // after them is answered.
    void idleConnectionsAreServedOneAtATime()
    {
        QTemporaryDir runtime;
        QVERIFY(runtime.isValid());
        SingleInstance holder(QDir(runtime.path()).filePath(QStringLiteral("store")).toStdString(),
                              runtime.path().toStdString());
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
        waitFor([] { return false; }, 300);
        const int held = openDescriptorCount() - before - int(idle.size());
        QVERIFY2(held <= 8, qPrintable(QString::number(held)));

        // The first is closed once its deadline has passed.
        char byte;
        QVERIFY(waitFor([&] { return ::read(idle.front(), &byte, 1) == 0; }, SingleInstance::ServeMs + 1500));

        for (int fd : idle)
            close(fd);
        // The queue empties as the closed ones are taken in turn.
        int asker = -1;
        QVERIFY(waitFor([&] { return (asker = connectTo(holder.socketPath())) >= 0; }, 3000));
        QCOMPARE(::write(asker, "show\n", 5), ssize_t(5));
        char answer[4] = {};
        QVERIFY(waitFor([&] { return ::read(asker, answer, 3) == 3; }, 3000));
        QCOMPARE(QByteArray(answer), QByteArray("ok\n"));
        QCOMPARE(shown, 1);
        close(asker);
    }
};

} // namespace vigilon::test

QTEST_GUILESS_MAIN(vigilon::test::InstanceLimitsTest)
#include "InstanceLimitsTest.moc"
