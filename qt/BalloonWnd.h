// SPDX-License-Identifier: MIT
#pragma once

#include "app/dialogs/BalloonHover.h"

#include <QFont>
#include <QHash>
#include <QPoint>
#include <QPointer>
#include <QRegion>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

class QEvent;

namespace vigilon {

// A hint in a speech balloon: a rounded body with a tail whose tip touches
// the pointer, shown when the pointer has rested over a registered target
// for showDelay ms and hidden again after displayTime ms, on a mouse button,
// or when the pointer moves over no target.
class CBalloonWnd final : public QWidget, private BalloonHover::Balloon {
    Q_OBJECT
public:
    static constexpr int ShowTimer = 100;
    static constexpr int HideTimer = 101;

    CBalloonWnd();
    ~CBalloonWnd() override;

    // Makes the popup owned by the parent's window.
    void createHint(QWidget *parent);
    void setFont(const QString &face, int height, int weight, bool italic, bool underline);
    const QFont &hintFont() const { return font_; }
    // Registers a target; registering it again replaces its text.
    void addTool(QWidget *target, const QString &text);
    QString toolText(QWidget *target) const { return tools_.value(target); }

    // The owner passes every mouse message meant for a target (or a window
    // inside it) here before it is handled. globalPos: where the pointer is.
    void relayEvent(QEvent *event, const QPoint &globalPos);
    void showHint(const QString &text, const QPoint &point);
    void hideHint();
    // A target's own tool tip is about to show: the hint goes, and stays
    // away while the tip shows.
    void tipShowing() { hover_.tipShowing(); }

    int showDelay() const { return hover_.showDelay(); }
    int displayTime() const { return hover_.displayTime(); }
    QPoint anchor() const { return QPoint(hover_.anchor().x, hover_.anchor().y); }
    QString text() const { return text_; }
    // 100 while the show delay runs, 101 while the hint is up, 0 otherwise.
    int pendingTimer() const;
    const QTimer &showTimer() const { return showTimer_; }
    const QTimer &hideTimer() const { return hideTimer_; }

    // The balloon's shape for a text: body width w = text width + 24 and
    // height h = text height + 20, the window w by h + 20.
    struct Layout {
        int bodyWidth = 0;
        int bodyHeight = 0;
        QSize windowSize;
        QPoint tip; // in window coordinates
        QRegion region;
    };
    static Layout layoutFor(const QFont &font, const QString &text);

    // Finds the window under a point; the toolkit's lookup unless replaced.
    void setWindowFromPoint(std::function<QWidget *(const QPoint &)> lookup) { windowFromPoint_ = std::move(lookup); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QWidget *targetAt(const QPoint &globalPos) const;

    // BalloonHover::Balloon
    BalloonHover::Under lookAt(HintPoint at) override;
    void runTimer(BalloonHover::Timer timer, int ms) override;
    void cancelTimer(BalloonHover::Timer timer) override;
    void showWindow(HintPoint anchor) override;
    void hideWindow() override { hide(); }
    bool tipVisible() override;

    BalloonHover hover_{*this};
    QString text_;
    QFont font_;
    QHash<QWidget *, QString> tools_;
    QPointer<QWidget> parent_;
    QTimer showTimer_;
    QTimer hideTimer_;
    Layout layout_;
    std::function<QWidget *(const QPoint &)> windowFromPoint_;
};

} // namespace vigilon
