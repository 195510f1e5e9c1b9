// SPDX-License-Identifier: MIT
#include "qt/QtTrayIcon.h"
#include "app/QuietCommands.h"

#include <vector>
#include "qt/UiText.h"

#include "app/Monitor.h"

#include <QCoreApplication>
#include <QCursor>
#include <QPointer>

// The icons are compiled into this static library; its resources are only
// registered when something asks for them.
static void registerTrayResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(vigilon);
        return true;
    }();
    (void)done;
}

namespace vigilon {

namespace {
QString tipText(const std::string &tip)
{
    QString s = QString::fromStdString(tip);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}
} // namespace

QIcon QtTrayIcon::loadIcon(unsigned id)
{
    registerTrayResources();
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64})
        icon.addFile(QStringLiteral(":/icons/%1-%2.png").arg(id).arg(size), QSize(size, size));
    return icon;
}

QtTrayIcon::QtTrayIcon(Monitor &frame)
    : frame_(frame)
    , notifier_([this](const QString &summary, const QString &body, bool failure) {
        if (tray_.isVisible() && QSystemTrayIcon::supportsMessages())
            tray_.showMessage(summary, body, failure ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
    })
{
    struct Item {
        unsigned command;
        unsigned text;
        bool checkable;
    };
    std::vector<Item> items = {
        {res::CmdToggleMonitoring, sid::TrayToggleMonitoring, true},
        {res::CmdToggleDialog, sid::TrayToggleDialog, false},
        {res::CmdChannels, sid::TrayChannels, false},
        {0, 0, false},
    };
    // Every entry's quiet period, as the core lists the commands.
    for (const TrayQuietItem &quiet : trayQuietItems())
        items.push_back({quiet.command, quiet.text, false});
    items.insert(items.end(), {
        {0, 0, false},
        {res::CmdHelp, sid::TrayHelp, false},
        {res::CmdAbout, sid::TrayAbout, false},
        {res::CmdExit, sid::TrayExit, false},
    });
    for (const Item &item : items) {
        if (!item.text) {
            menu_.addSeparator();
            continue;
        }
        QAction *action = menu_.addAction(uiText(item.text));
        action->setCheckable(item.checkable);
        const unsigned command = item.command;
        // The command runs once the menu has returned from the click: it may
        // end the program, and the menu, which goes with this icon, must not
        // be inside its own event handling then. The application carries
        // the call, as nothing of this icon may be on the stack when the
        // command destroys it.
        connect(action, &QAction::triggered, this, [this, command] {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [icon = QPointer<QtTrayIcon>(this), command] {
                    if (icon)
                        icon->frame_.onCommand(command);
                },
                Qt::QueuedConnection);
        });
        actions_[command] = action;
    }
    // The menu is the icon's context menu, so that a StatusNotifier host can
    // show it from its exported form; Qt opens it on a right press. A left
    // press opens it by hand.
    tray_.setContextMenu(&menu_);
    connect(&tray_, &QSystemTrayIcon::activated, this, &QtTrayIcon::onActivated);
}

QtTrayIcon::~QtTrayIcon()
{
    tray_.hide();
}

void QtTrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger && !menu_.isVisible())
        menu_.popup(QCursor::pos());
}

bool QtTrayIcon::add(unsigned icon, const std::string &tip)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return false;
    currentIcon_ = icon;
    tray_.setIcon(loadIcon(icon));
    tray_.setToolTip(tipText(tip));
    // A tray that has just appeared knows nothing of an icon shown before:
    // showing it anew docks it there, or registers it with the new watcher.
    if (tray_.isVisible())
        tray_.hide();
    tray_.show();
    return true;
}

void QtTrayIcon::modify(unsigned icon, const std::string &tip)
{
    if (icon != 0) {
        currentIcon_ = icon;
        tray_.setIcon(loadIcon(icon));
    }
    tray_.setToolTip(tipText(tip));
}

void QtTrayIcon::notify(const std::string &summary, const std::string &body, bool failure)
{
    notifier_.notify(tipText(summary), tipText(body), failure);
}

void QtTrayIcon::remove()
{
    tray_.hide();
}

void QtTrayIcon::setItemChecked(unsigned command, bool checked)
{
    if (auto it = actions_.find(command); it != actions_.end())
        it->second->setChecked(checked);
}

void QtTrayIcon::setItemEnabled(unsigned command, bool enabled)
{
    if (auto it = actions_.find(command); it != actions_.end())
        it->second->setEnabled(enabled);
}

} // namespace vigilon
