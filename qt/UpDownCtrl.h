// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace vigilon {

// An up-down control bound to an edit, its buddy: the arrows (and the Up and
// Down keys in the buddy) step the number shown in the buddy within the
// range; setPos() moves to the nearest number of the range and writes it
// into the buddy. The buddy itself accepts any number typed.
class CUpDownCtrl final : public QWidget {
    Q_OBJECT
public:
    CUpDownCtrl(QLineEdit *buddy, QWidget *parent);

    void setRange(int low, int high);
    int low() const { return low_; }
    int high() const { return high_; }
    // Clamps pos to the range and writes it into the buddy.
    void setPos(int pos);
    // The buddy's number clamped to the range; the low end when it holds
    // none.
    int pos() const;
    void step(int delta);
    // Stands at the buddy's right edge, as a right-aligned up-down control
    // places itself: the buddy gives up the control's width less its own
    // 2-pixel border, which the control covers, and the control takes the
    // buddy's top and height. Call once both have their template places.
    void alignRightOfBuddy();

    QToolButton *upButton() const { return up_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QLineEdit *buddy_;
    QToolButton *up_;
    QToolButton *down_;
    int low_ = 0;
    int high_ = 100;
};

} // namespace vigilon
