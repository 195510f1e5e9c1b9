// SPDX-License-Identifier: MIT
// One instance per store, with real processes holding and asking.
#include "app/qt/SingleInstance.h"
#include "tests/tray/TrayTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

#include <signal.h>

namespace vigilon::test {

class SingleInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void storesAreKeyedByTheirRealPath();
    void laterStartsAskTheHolder();
    void lockGoesWithAKilledHolder();
    void serviceStartWaitsForTheLock();

private:
    QString helper() const
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/instance_helper");
    }
    bool startHolder(Helper &holder, const QString &store)
    {
        holder.process().setProcessChannelMode(QProcess::SeparateChannels);
        holder.process().start(helper(), {QStringLiteral("hold"), store, runtime_->path()});
        return holder.process().waitForStarted(5000) &&
               waitFor([&] { return holder.process().canReadLine() ||
                                    holder.process().state() == QProcess::NotRunning; },
                       5000) &&
               holder.process().readLine() == "ready\n";
    }
    int ask(const QString &store)
    {
        QProcess asker;
        asker.start(helper(), {QStringLiteral("ask"), store, runtime_->path()});
        if (!asker.waitForFinished(10000))
            return -1;
        return asker.exitCode();
    }

    std::unique_ptr<QTemporaryDir> runtime_;
    std::unique_ptr<QTemporaryDir> stores_;
};

void SingleInstanceTest::init()
{
    runtime_ = std::make_unique<QTemporaryDir>();
    stores_ = std::make_unique<QTemporaryDir>();
    QVERIFY(runtime_->isValid() && stores_->isValid());
}

void SingleInstanceTest::storesAreKeyedByTheirRealPath()
{
    const std::string a = stores_->filePath(QStringLiteral("a.sqlite")).toStdString();
    const std::string b = stores_->filePath(QStringLiteral("b.sqlite")).toStdString();
    QVERIFY(SingleInstance::keyFor(a) != SingleInstance::keyFor(b));
    QDir(stores_->path()).mkdir(QStringLiteral("sub"));
    const std::string roundabout = stores_->filePath(QStringLiteral("sub/../a.sqlite")).toStdString();
    QCOMPARE(SingleInstance::keyFor(roundabout), SingleInstance::keyFor(a));

    SingleInstance first(a, runtime_->path().toStdString());
    QVERIFY(first.tryLock());
    QVERIFY(first.lockPath().startsWith(runtime_->path()));
    QCOMPARE(QFileInfo(first.lockPath()).permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup),
             QFile::Permissions());
    // The same store through another spelling is taken; another store is free.
    SingleInstance second(roundabout, runtime_->path().toStdString());
    QVERIFY(!second.tryLock());
    QVERIFY(second.error().empty());
    SingleInstance other(b, runtime_->path().toStdString());
    QVERIFY(other.tryLock());
}

void SingleInstanceTest::laterStartsAskTheHolder()
{
    const QString store = stores_->filePath(QStringLiteral("s.sqlite"));
    Helper holder;
    QVERIFY(startHolder(holder, store));

    QCOMPARE(ask(store), 0);
    QVERIFY(waitFor([&] { return holder.process().canReadLine(); }, 5000));
    QCOMPARE(holder.process().readLine(), QByteArray("shown\n"));
    QCOMPARE(ask(store), 0);
    QVERIFY(waitFor([&] { return holder.process().canReadLine(); }, 5000));
    QCOMPARE(holder.process().readLine(), QByteArray("shown\n"));

    // A second holder on the same store is refused, on another it is not.
    Helper refused;
    refused.process().start(helper(), {QStringLiteral("hold"), store, runtime_->path()});
    QVERIFY(refused.process().waitForFinished(5000));
    QCOMPARE(refused.process().exitCode(), 3);
    Helper elsewhere;
    QVERIFY(startHolder(elsewhere, stores_->filePath(QStringLiteral("other.sqlite"))));

    // Nobody holds a third store: nobody answers there.
    QCOMPARE(ask(stores_->filePath(QStringLiteral("third.sqlite"))), 1);
}

void SingleInstanceTest::lockGoesWithAKilledHolder()
{
    const QString store = stores_->filePath(QStringLiteral("s.sqlite"));
    Helper holder;
    QVERIFY(startHolder(holder, store));
    SingleInstance here(store.toStdString(), runtime_->path().toStdString());
    QVERIFY(!here.tryLock());

    holder.kill(); // SIGKILL: nothing of its own clean-up runs
    QVERIFY(here.tryLock());
    // The socket it left behind does not stop the new holder from serving.
    QVERIFY(here.listen([] {}));
    QVERIFY(here.error().empty());
}

void SingleInstanceTest::serviceStartWaitsForTheLock()
{
    const QString store = stores_->filePath(QStringLiteral("s.sqlite"));
    Helper holder;
    QVERIFY(startHolder(holder, store));

    Helper waiter;
    waiter.process().start(helper(), {QStringLiteral("wait"), store, runtime_->path()});
    QVERIFY(waiter.process().waitForStarted(5000));
    QVERIFY(waitFor([&] { return waiter.process().canReadLine(); }, 5000));
    QCOMPARE(waiter.process().readLine(), QByteArray("waiting\n"));
    // Still waiting a while later.
    QVERIFY(!waiter.process().waitForFinished(700));

    holder.stop();
    QVERIFY(waiter.process().waitForFinished(5000));
    QCOMPARE(waiter.process().readAllStandardOutput(), QByteArray("locked\n"));
    QCOMPARE(waiter.process().exitCode(), 0);
}

} // namespace vigilon::test

QTEST_GUILESS_MAIN(vigilon::test::SingleInstanceTest)
#include "SingleInstanceTest.moc"
