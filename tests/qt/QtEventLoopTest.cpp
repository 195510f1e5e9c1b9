// SPDX-License-Identifier: MIT
// The Qt loop adapter keeps the loops' contract. The probes on it are the
// real program's (tests/e2e).
#include "qt/QtEventLoop.h"
#include "tests/support/EventLoopContract.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <atomic>

#include <sys/epoll.h>
#include <sys/syscall.h>

using namespace vigilon;

// The loop's changes to its epoll set, counted: this definition stands in
// for the C library's.
namespace {
std::atomic<int> epollChanges{0};

// Runs the Qt loop until done or timeoutMs have passed.
void runUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}
} // namespace
extern "C" int epoll_ctl(int epfd, int op, int fd, epoll_event *event) noexcept
{
    ++epollChanges;
    return static_cast<int>(syscall(SYS_epoll_ctl, epfd, op, fd, event));
}

class QtEventLoopTest : public QObject {
    Q_OBJECT

private slots:
    void keepsTheEventLoopContract()
    {
        QtEventLoop loop;
        const test::contract::Failures failures = test::contract::all(loop, runUntil);
        QVERIFY2(failures.empty(), failures.empty() ? "" : failures.front().c_str());
        QCOMPARE(loop.timerCount(), std::size_t(0));
        QCOMPARE(loop.watchCount(), std::size_t(0));
    }

    // A check's connect costs one change of the set: it is registered once,
    // for one report, and neither the report nor the unwatch and close
    // after it take another. A socket watched on after its connect is
    // registered again and reports what comes.
    void aConnectIsRegisteredOnce()
    {
        QtEventLoop loop;
        sockaddr_in address{};
        const int server = test::contract::listener(address, 8);
        for (const bool watchOn : {false, true}) {
            const int fd = test::contract::streamSocket(true);
            ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
            epollChanges = 0;
            int connected = 0, readable = 0, error = -1;
            loop.watchSocket(fd, EventLoop::Connected, [&](unsigned events, int e) {
                if (events & EventLoop::Connected) {
                    ++connected;
                    error = e;
                }
            });
            runUntil([&] { return connected > 0; }, 2000);
            QCOMPARE(connected, 1);
            QCOMPARE(error, 0);
            if (watchOn) {
                loop.watchSocket(fd, EventLoop::Readable,
                                 [&](unsigned events, int) { readable += (events & EventLoop::Readable) != 0; });
                const int accepted = ::accept(server, nullptr, nullptr);
                QVERIFY(test::contract::sendByte(accepted) == 1);
                runUntil([&] { return readable > 0; }, 2000);
                QVERIFY(readable > 0);
                QCOMPARE(epollChanges.load(), 2);
                ::close(accepted);
            }
            loop.unwatchSocket(fd);
            ::close(fd);
            if (!watchOn)
                QCOMPARE(epollChanges.load(), 1);
            if (!watchOn)
                ::close(::accept(server, nullptr, nullptr));
        }
        ::close(server);
        QCOMPARE(loop.watchCount(), std::size_t(0));
    }
};

QTEST_GUILESS_MAIN(QtEventLoopTest)
#include "QtEventLoopTest.moc"
