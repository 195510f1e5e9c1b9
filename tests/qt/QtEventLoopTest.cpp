// SPDX-License-Identifier: MIT
// The Qt loop adapter keeps the loops' contract. The probes on it are the
// real program's (tests/e2e).
#include "qt/QtEventLoop.h"
#include "tests/support/EventLoopContract.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

using namespace vigilon;

class QtEventLoopTest : public QObject {
    Q_OBJECT

private slots:
    void keepsTheEventLoopContract()
    {
        QtEventLoop loop;
        const test::contract::Run run = [](const std::function<bool()> &done, int timeoutMs) {
            QElapsedTimer clock;
            clock.start();
            while (!done() && clock.elapsed() < timeoutMs)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        };
        const test::contract::Failures failures = test::contract::all(loop, run);
        QVERIFY2(failures.empty(), failures.empty() ? "" : failures.front().c_str());
        QCOMPARE(loop.timerCount(), std::size_t(0));
        QCOMPARE(loop.watchCount(), std::size_t(0));
    }
};

QTEST_GUILESS_MAIN(QtEventLoopTest)
#include "QtEventLoopTest.moc"
