// SPDX-License-Identifier: MIT
#include "qt/DesktopNotifier.h"

#include "qt/SessionBus.h"

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
    SessionBus &session = SessionBus::instance();
    if (session.state() == SessionBus::State::Connecting) {
        // Sent once the bus is known; the loop goes on meanwhile.
        waiting_.push_back({summary, body, failure});
        if (waiting_.size() == 1)
            session.whenKnown(this, [this] {
                std::vector<Waiting> due;
                due.swap(waiting_);
                for (const Waiting &one : due)
                    notify(one.summary, one.body, one.failure);
            });
        return;
    }
    const auto fallBack = [this, summary, body, failure] {
        ++fellBack_;
        if (fallback_)
            fallback_(summary, body, failure);
    };
    QDBusConnection bus = session.connection();
    if (!bus.isConnected()) {
        fallBack();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    QVariantMap hints;
    // Normal urgency: a notice that expires, so that those of a flapping
    // port do not pile up on the desktop. A failure stays longer.
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar(1)));
    // The desktop file's name, without its .desktop.
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("com.ardentis.Vigilon"));
    call << QStringLiteral("Vigilon") << uint(0) << QString::fromLatin1(failure ? "dialog-warning" : "dialog-information")
         << summary << escapedBody(body) << QStringList() << hints << int(failure ? kFailureMs : kRecoveryMs);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerMs), this);
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
