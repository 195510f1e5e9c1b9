// SPDX-License-Identifier: MIT
// What the Qt tests wait with: Qt's events handled until a condition holds,
// and a modal dialog answered once it is up.
#pragma once

#include "base/StringTable.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <functional>

namespace vigilon::test {

// Waits, handling Qt's events, until done() holds or timeoutMs pass.
inline bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

// Shows a window and waits until the system has put it on the screen.
inline bool shownOnScreen(QWidget &window)
{
    window.show();
    return waitFor([&window] { return window.windowHandle() && window.windowHandle()->isExposed(); }, 5000);
}

// Answers the next modal dialog of type Dialog once it is up; gives up after
// about two seconds, so that a dialog that never comes fails the test
// instead of hanging it.
template <class Dialog> void answerModal(std::function<void(Dialog &)> answer, int triesLeft = 200)
{
    QTimer::singleShot(10, [answer, triesLeft] {
        if (auto *d = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            answer(*d);
            return;
        }
        if (triesLeft > 0)
            answerModal<Dialog>(answer, triesLeft - 1);
    });
}

// The same for the next popup menu: answer chooses, or closes it.
template <class Menu> void answerPopup(std::function<void(Menu &)> answer, int triesLeft = 200)
{
    QTimer::singleShot(10, [answer, triesLeft] {
        if (auto *m = qobject_cast<Menu *>(QApplication::activePopupWidget())) {
            answer(*m);
            return;
        }
        if (triesLeft > 0)
            answerPopup<Menu>(answer, triesLeft - 1);
    });
}

// A text of the string table as a Qt label shows it.
inline QString stringText(unsigned id)
{
    return QString::fromStdString(loadString(id)).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace vigilon::test
