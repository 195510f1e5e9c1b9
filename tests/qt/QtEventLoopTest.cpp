// SPDX-License-Identifier: MIT
// The Qt loop adapter: timers, posts from other threads and socket watches.
// The probes on it are the real program's (tests/e2e).
#include "app/qt/QtEventLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace vigilon;

namespace {

// Runs the Qt loop until done() holds or timeoutMs pass.
bool spin(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return done();
}

} // namespace

class QtEventLoopTest : public QObject {
    Q_OBJECT

private slots:
    void timersRepeatRestartAndDieByOwnerAndId()
    {
        QtEventLoop loop;
        int owner = 0, other = 0;
        int repeats = 0, once = 0, others = 0;
        loop.setTimer(&owner, 1, 10, [&] { ++repeats; });
        loop.setTimer(&owner, 2, 10, [&] {
            ++once;
            loop.killTimer(&owner, 2);
        });
        loop.setTimer(&other, 1, 10, [&] { ++others; });
        spin([&] { return repeats >= 3; }, 2000);
        QVERIFY(repeats >= 3);
        QCOMPARE(once, 1);
        QVERIFY(!loop.hasTimer(&owner, 2));

        int replaced = 0;
        loop.setTimer(&owner, 1, 5000, [&] { ++replaced; });
        const int before = repeats;
        QTest::qWait(60);
        QCOMPARE(repeats, before);
        QCOMPARE(replaced, 0);
        loop.killTimers(&owner);
        QVERIFY(!loop.hasTimer(&owner, 1));
        QVERIFY(loop.hasTimer(&other, 1));
        loop.killTimers(&other);
        QCOMPARE(loop.timerCount(), std::size_t(0));
    }

    void postFromAnotherThread()
    {
        QtEventLoop loop;
        std::atomic<bool> ran{false};
        std::thread poster([&] { loop.post([&] { ran = true; }); });
        poster.join();
        QVERIFY(spin([&] { return ran.load(); }, 2000));
    }

    void connectedCarriesTheErrorOnceAndAFailedSocketStaysQuiet()
    {
        QtEventLoop loop;
        // A loopback port that was free a moment ago: nobody listens there.
        const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        QCOMPARE(bind(probe, reinterpret_cast<sockaddr *>(&address), length), 0);
        getsockname(probe, reinterpret_cast<sockaddr *>(&address), &length);
        close(probe);

        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        int calls = 0, error = -1;
        loop.watchSocket(fd, EventLoop::Connected, [&](unsigned events, int e) {
            if (events & EventLoop::Connected) {
                ++calls;
                error = e;
            }
        });
        spin([&] { return calls > 0; }, 2000);
        QTest::qWait(50);
        QCOMPARE(calls, 1);
        QCOMPARE(error, ECONNREFUSED);
        loop.unwatchSocket(fd);
        close(fd);
    }

    void readableAndUnwatchInsideTheCallback()
    {
        QtEventLoop loop;
        int pair[2];
        QCOMPARE(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        int calls = 0;
        loop.watchSocket(pair[0], EventLoop::Readable, [&](unsigned events, int) {
            QVERIFY(events & EventLoop::Readable);
            ++calls;
            loop.unwatchSocket(pair[0]);
        });
        QCOMPARE(write(pair[1], "x", 1), ssize_t(1));
        spin([&] { return calls > 0; }, 2000);
        QTest::qWait(30);
        QCOMPARE(calls, 1);
        QCOMPARE(loop.watchCount(), std::size_t(0));
        close(pair[0]);
        close(pair[1]);
    }
};

QTEST_GUILESS_MAIN(QtEventLoopTest)
#include "QtEventLoopTest.moc"
