// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "qt/DesktopNotifier.h"

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>

#include <map>
#include <memory>

namespace vigilon {

// The tray icon with its menu; commands go to the frame.
class QtTrayIcon final : public QObject, public TrayIcon {
    Q_OBJECT
public:
    explicit QtTrayIcon(Monitor &frame);
    ~QtTrayIcon() override;

    bool add(unsigned icon, const std::string &tip) override;
    void modify(unsigned icon, const std::string &tip) override;
    void remove() override;
    void setItemChecked(unsigned command, bool checked) override;
    void setItemEnabled(unsigned command, bool enabled) override;
    // Through the desktop's notification service; where none runs, the
    // tray's own message when the tray can show one.
    void notify(const std::string &summary, const std::string &body, bool failure) override;
    // Tips are not cut by the desktop (the StatusNotifier item's tool tip,
    // or the embedded icon's, takes any length); a few lines are enough.
    TextLimit tipLimit() const override { return {512, TextUnit::Characters}; }
    DesktopNotifier &notifier() { return notifier_; }

    QMenu &menu() { return menu_; }

    static QIcon loadIcon(unsigned id);

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    Monitor &frame_;
    QSystemTrayIcon tray_;
    QMenu menu_;
    std::map<unsigned, QAction *> actions_;
    unsigned currentIcon_ = 0;
    DesktopNotifier notifier_;
};

} // namespace vigilon
