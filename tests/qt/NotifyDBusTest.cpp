// SPDX-License-Identifier: MIT
// Desktop notifications over a private session bus: a stand-in notification
// service, on a connection of its own, records the Notify calls that the
// tray icon makes; without the service the notice falls back quietly.
#include "qt/QtTrayIcon.h"
#include "tests/qt/TrayTestSupport.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QTest>
#include <QVariantMap>

namespace vigilon::test {

namespace {

const QString kName = QStringLiteral("org.freedesktop.Notifications");

struct NotifyCall {
    QString app, icon, summary, body;
    uint replaces = 0;
    QVariantMap hints;
    int timeout = 0;
};

class NotificationsAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    explicit NotificationsAdaptor(QObject *parent, std::vector<NotifyCall> &calls)
        : QDBusAbstractAdaptor(parent)
        , calls_(calls)
    {
    }

public slots:
    uint Notify(const QString &app, uint replaces, const QString &icon, const QString &summary, const QString &body,
                const QStringList &, const QVariantMap &hints, int timeout)
    {
        calls_.push_back({app, icon, summary, body, replaces, hints, timeout});
        return uint(calls_.size());
    }

private:
    std::vector<NotifyCall> &calls_;
};

// The stand-in service, owning the well-known name while it lives.
class StandInService {
public:
    StandInService()
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("stand-in")))
    {
        new NotificationsAdaptor(&root_, calls);
        registered = bus_.isConnected() &&
                     bus_.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &root_,
                                         QDBusConnection::ExportAdaptors) &&
                     bus_.registerService(kName);
    }
    ~StandInService()
    {
        bus_.unregisterService(kName);
        bus_.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
        QDBusConnection::disconnectFromBus(QStringLiteral("stand-in"));
    }
    std::vector<NotifyCall> calls;
    bool registered = false;

private:
    QObject root_;
    QDBusConnection bus_;
};

} // namespace

class NotifyDBusTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qgetenv("VIGILON_PRIVATE_BUS") != "1")
            QSKIP("needs a private session bus (dbus-run-session is not installed; Debian package dbus)");
        QVERIFY(QDBusConnection::sessionBus().isConnected());
    }

    // The tray's notice reaches the service once, as a warning that names
    // what the core wrote, its text never read as markup, under the desktop
    // file's name; of normal urgency, so that it expires (a failure later
    // than a recovery) and notices never pile up.
    void aNoticeIsOneNotifyCallOnTheBus()
    {
        StandInService service;
        QVERIFY(service.registered);
        TrayFrame f;
        QtTrayIcon &tray = *f.tray();
        tray.notify("2 ports changed", "web on h failed: refused\r\n<b>mail</b> & co on h failed: timed out", true);
        QVERIFY(waitFor([&] { return tray.notifier().delivered() == 1; }, 5000));
        QCOMPARE(service.calls.size(), std::size_t(1));
        const NotifyCall &call = service.calls[0];
        QCOMPARE(call.app, QStringLiteral("Vigilon"));
        QCOMPARE(call.summary, QStringLiteral("2 ports changed"));
        QCOMPARE(call.body,
                 QStringLiteral("web on h failed: refused\n&lt;b&gt;mail&lt;/b&gt; &amp; co on h failed: timed out"));
        QCOMPARE(call.hints.value(QStringLiteral("urgency")).value<uchar>(), uchar(1));
        QVERIFY(QFile::exists(QStringLiteral(VIGILON_SOURCE_DIR "/res/linux/") +
                              call.hints.value(QStringLiteral("desktop-entry")).toString() +
                              QStringLiteral(".desktop")));
        QCOMPARE(call.timeout, DesktopNotifier::kFailureMs);
        const int failureMs = call.timeout;
        QCOMPARE(tray.notifier().fellBack(), 0);

        tray.notify("Recovered: web", "web on h answers again", false);
        QVERIFY(waitFor([&] { return tray.notifier().delivered() == 2; }, 5000));
        QCOMPARE(service.calls.at(1).hints.value(QStringLiteral("urgency")).value<uchar>(), uchar(1));
        QVERIFY(service.calls.at(1).timeout > 0 && service.calls.at(1).timeout < failureMs);
    }

    // Nobody serves the name: the notice goes to the fallback, no box, no
    // wait.
    void withoutTheServiceItFallsBackQuietly()
    {
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(kName).value());
        std::vector<QString> fallen;
        DesktopNotifier notifier([&fallen](const QString &summary, const QString &, bool) { fallen.push_back(summary); });
        notifier.notify(QStringLiteral("Failed: web"), QStringLiteral("web on h failed"), true);
        QVERIFY2(fallen.empty(), "the call does not wait for an answer");
        QVERIFY(waitFor([&] { return notifier.fellBack() == 1; }, 5000));
        QCOMPARE(fallen, std::vector<QString>{QStringLiteral("Failed: web")});
        QCOMPARE(notifier.delivered(), 0);
        QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
                std::none_of(QApplication::topLevelWidgets().begin(), QApplication::topLevelWidgets().end(),
                             [](QWidget *w) { return w->isVisible(); }));
    }
};

} // namespace vigilon::test

QTEST_MAIN(vigilon::test::NotifyDBusTest)
#include "NotifyDBusTest.moc"
