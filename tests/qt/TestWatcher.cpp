// SPDX-License-Identifier: MIT
// A minimal StatusNotifierWatcher for the tray tests, on whatever session bus
// DBUS_SESSION_BUS_ADDRESS names (a private one from dbus-run-session). It
// owns org.kde.StatusNotifierWatcher, says it has a host (all that Qt's tray
// asks of a watcher besides registering), and reports each item that
// registers on standard error:
//   ready                       once the name is owned
//   registered <service> <path> per RegisterStatusNotifierItem
// It ends on a signal, and with the test that started it.
#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <csignal>
#include <cstdio>

#include <sys/prctl.h>

namespace {

class WatcherAdaptor final : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
public:
    explicit WatcherAdaptor(QObject *parent)
        : QDBusAbstractAdaptor(parent)
    {
    }
    bool hostRegistered() const { return true; }

public slots:
    void RegisterStatusNotifierItem(const QString &serviceOrPath, const QDBusMessage &message)
    {
        // Items name either their bus name or, for the sender's own name,
        // their object path.
        QString service = serviceOrPath;
        QString path = QStringLiteral("/StatusNotifierItem");
        if (serviceOrPath.startsWith(QLatin1Char('/'))) {
            service = message.service();
            path = serviceOrPath;
        }
        std::fprintf(stderr, "registered %s %s\n", qPrintable(service), qPrintable(path));
        emit StatusNotifierItemRegistered(service + path);
    }

signals:
    void StatusNotifierItemRegistered(const QString &item);
};

} // namespace

int main(int argc, char **argv)
{
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "test watcher: no session bus\n");
        return 2;
    }
    QObject root;
    new WatcherAdaptor(&root);
    if (!bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &root,
                            QDBusConnection::ExportAdaptors)) {
        std::fprintf(stderr, "test watcher: cannot register the object\n");
        return 3;
    }
    if (!bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        std::fprintf(stderr, "test watcher: the name is taken\n");
        return 4;
    }
    std::fprintf(stderr, "ready\n");
    return app.exec();
}

#include "TestWatcher.moc"
