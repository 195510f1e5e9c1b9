// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

namespace vigilon {

// Desktop notifications through the freedesktop notification service
// (org.freedesktop.Notifications.Notify on the session bus). The call never
// waits: where no service answers (no bus, no service, an error, no answer
// within kAnswerMs), the notification goes to fallback instead, without a
// word. While the bus is still being reached, notifications wait for it.
// They are of normal urgency and expire after kFailureMs (a failure) or
// kRecoveryMs.
class DesktopNotifier final : public QObject {
    Q_OBJECT
public:
    using Fallback = std::function<void(const QString &summary, const QString &body, bool failure)>;
    explicit DesktopNotifier(Fallback fallback, QObject *parent = nullptr);

    // body: plain text, lines separated by "\n".
    void notify(const QString &summary, const QString &body, bool failure);

    static constexpr int kFailureMs = 15000;
    static constexpr int kRecoveryMs = 8000;
    static constexpr int kAnswerMs = 5000;

    // Calls answered by the service, and those that fell back (tests).
    int delivered() const { return delivered_; }
    int fellBack() const { return fellBack_; }

private:
    struct Waiting {
        QString summary, body;
        bool failure = false;
    };
    std::vector<Waiting> waiting_;
    Fallback fallback_;
    int delivered_ = 0;
    int fellBack_ = 0;
};

} // namespace vigilon
