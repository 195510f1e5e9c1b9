// SPDX-License-Identifier: MIT
#include "qt/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

namespace vigilon {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// The body may be read as markup by the service: the text stays text.
QString escapedBody(const QString &text)
{
    return text.toHtmlEscaped();
}
} // namespace

DesktopNotifier::DesktopNotifier(Fallback fallback, QObject *parent)
    : QObject(parent)
    , fallback_(std::move(fallback))
{
}

void DesktopNotifier::notify(const QString &summary, const QString &body, bool failure)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const auto fallBack = [this, summary, body, failure] {
        ++fellBack_;
        if (fallback_)
            fallback_(summary, body, failure);
    };
    if (!bus.isConnected()) {
        fallBack();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    QVariantMap hints;
    // 1 normal, 2 critical: a failure stays until the user has seen it.
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(failure ? 2 : 1)));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("vigilon"));
    call << QStringLiteral("Vigilon") << uint(0) << QString::fromLatin1(failure ? "dialog-warning" : "dialog-information")
         << summary << escapedBody(body) << QStringList() << hints << int(-1);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, fallBack](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError())
            fallBack();
        else
            ++delivered_;
    });
}

} // namespace vigilon
