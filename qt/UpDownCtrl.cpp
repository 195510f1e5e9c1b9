// SPDX-License-Identifier: MIT
#include "qt/UpDownCtrl.h"

#include "app/dialogs/DataExchange.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <algorithm>

namespace vigilon {

CUpDownCtrl::CUpDownCtrl(QLineEdit *buddy, QWidget *parent)
    : QWidget(parent)
    , buddy_(buddy)
    , up_(new QToolButton(this))
    , down_(new QToolButton(this))
{
    for (QToolButton *b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setIconSize(QSize(6, 6));
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    connect(up_, &QToolButton::clicked, this, [this] { step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
    buddy_->installEventFilter(this);
}

void CUpDownCtrl::setRange(int low, int high)
{
    low_ = std::min(low, high);
    high_ = std::max(low, high);
}

void CUpDownCtrl::setPos(int pos)
{
    const int clamped = std::clamp(pos, low_, high_);
    buddy_->setText(QString::number(clamped));
}

int CUpDownCtrl::pos() const
{
    std::int64_t value = 0;
    if (!DataExchange::parse(buddy_->text().toStdString(), true, value))
        return low_;
    return static_cast<int>(std::clamp<std::int64_t>(value, low_, high_));
}

void CUpDownCtrl::step(int delta)
{
    if (!isEnabled())
        return;
    const int next = std::clamp(pos() + delta, low_, high_);
    buddy_->setText(QString::number(next));
}

void CUpDownCtrl::alignRightOfBuddy()
{
    constexpr int buddyBorder = 2;
    const int w = width();
    QRect b = buddy_->geometry();
    b.setRight(b.right() - (w - buddyBorder));
    buddy_->setGeometry(b);
    setGeometry(b.right() + 1 - buddyBorder, b.top(), w, b.height());
    raise();
}

bool CUpDownCtrl::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            step(key->key() == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CUpDownCtrl::resizeEvent(QResizeEvent *)
{
    const int half = height() / 2;
    up_->setGeometry(0, 0, width(), half);
    down_->setGeometry(0, half, width(), height() - half);
}

} // namespace vigilon
