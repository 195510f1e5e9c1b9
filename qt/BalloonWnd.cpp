// SPDX-License-Identifier: MIT
#include "qt/BalloonWnd.h"

#include "app/dialogs/DialogLayout.h"

#include <QAbstractScrollArea>
#include <QGuiApplication>
#include <QScreen>
#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QToolTip>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace vigilon {

namespace {
// A rounded rectangle (0, 0, w, h) with a corner ellipse of ew by eh, row by
// row, covering the pixels whose centres lie inside.
QRegion roundRectRegion(int w, int h, int ew, int eh)
{
    QRegion region;
    const double rx = ew / 2.0, ry = eh / 2.0;
    for (int y = 0; y < h; ++y) {
        const double cy = y + 0.5;
        double inset = 0;
        double dy = 0;
        if (cy < ry)
            dy = ry - cy;
        else if (cy > h - ry)
            dy = cy - (h - ry);
        if (dy > 0) {
            const double t = dy / ry;
            inset = rx - rx * std::sqrt(std::max(0.0, 1.0 - t * t));
        }
        const int left = static_cast<int>(std::floor(inset + 0.5));
        const int right = w - left;
        if (right > left)
            region += QRect(left, y, right - left, 1);
    }
    return region;
}

// The region shrunk by dx pixels at its left and right edges and dy at its
// top and bottom; what lies between the two is the frame of that width.
QRegion eroded(const QRegion &region, int dx, int dy)
{
    QRegion inner = region;
    for (int i = 1; i <= dx; ++i)
        inner &= region.translated(i, 0) & region.translated(-i, 0);
    for (int i = 1; i <= dy; ++i)
        inner &= region.translated(0, i) & region.translated(0, -i);
    return inner;
}
} // namespace

CBalloonWnd::CBalloonWnd()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    showTimer_.setSingleShot(true);
    hideTimer_.setSingleShot(true);
    connect(&showTimer_, &QTimer::timeout, this, [this] { hover_.timerFired(BalloonHover::Timer::Show); });
    connect(&hideTimer_, &QTimer::timeout, this, [this] { hover_.timerFired(BalloonHover::Timer::Hide); });
    setFont(QStringLiteral("Verdana"), 14, 0, false, false);
    windowFromPoint_ = [](const QPoint &p) { return QApplication::widgetAt(p); };
}

CBalloonWnd::~CBalloonWnd() = default;

void CBalloonWnd::createHint(QWidget *parent)
{
    parent_ = parent;
    // A top-level popup that belongs to the parent's window.
    setParent(parent ? parent->window() : nullptr, windowFlags());
    resize(0, 0);
}

void CBalloonWnd::setFont(const QString &face, int height, int weight, bool italic, bool underline)
{
    QFont font(face);
    font.setPixelSize(height);
    // Weight 0 is the face's normal weight; others as the system counts them.
    font.setWeight(weight <= 0 ? QFont::Normal : QFont::Weight(std::clamp(weight, 1, 1000)));
    font.setItalic(italic);
    font.setUnderline(underline);
    font_ = font;
}

void CBalloonWnd::addTool(QWidget *target, const QString &text)
{
    tools_.insert(target, text);
}

QWidget *CBalloonWnd::targetAt(const QPoint &globalPos) const
{
    QWidget *w = windowFromPoint_ ? windowFromPoint_(globalPos) : nullptr;
    if (!w)
        return nullptr;
    if (tools_.contains(w))
        return w;
    // The client area of a registered list is its viewport.
    if (auto *area = qobject_cast<QAbstractScrollArea *>(w->parentWidget())) {
        if (area->viewport() == w && tools_.contains(area))
            return area;
    }
    return nullptr;
}

void CBalloonWnd::relayEvent(QEvent *event, const QPoint &globalPos)
{
    switch (event->type()) {
    case QEvent::MouseMove:
        hover_.pointerMoved(HintPoint{globalPos.x(), globalPos.y()});
        return;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        hover_.buttonPressed();
        return;
    default:
        return;
    }
}

BalloonHover::Under CBalloonWnd::lookAt(HintPoint at)
{
    const QPoint point(at.x, at.y);
    if (windowFromPoint_ && windowFromPoint_(point) == this)
        return BalloonHover::Under::Balloon;
    QWidget *target = targetAt(point);
    if (!target)
        return BalloonHover::Under::Nothing;
    text_ = tools_.value(target);
    return BalloonHover::Under::Target;
}

void CBalloonWnd::showHint(const QString &text, const QPoint &point)
{
    text_ = text;
    hover_.showAt(HintPoint{point.x(), point.y()});
}

void CBalloonWnd::hideHint()
{
    hover_.hide();
}

bool CBalloonWnd::tipVisible()
{
    return QToolTip::isVisible();
}

void CBalloonWnd::runTimer(BalloonHover::Timer timer, int ms)
{
    (timer == BalloonHover::Timer::Show ? showTimer_ : hideTimer_).start(ms);
}

void CBalloonWnd::cancelTimer(BalloonHover::Timer timer)
{
    (timer == BalloonHover::Timer::Show ? showTimer_ : hideTimer_).stop();
}

int CBalloonWnd::pendingTimer() const
{
    if (showTimer_.isActive())
        return ShowTimer;
    if (hideTimer_.isActive())
        return HideTimer;
    return 0;
}

CBalloonWnd::Layout CBalloonWnd::layoutFor(const QFont &font, const QString &text)
{
    Layout layout;
    const QFontMetrics metrics(font);
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QRect measured = metrics.boundingRect(QRect(0, 0, 0, 0), Qt::AlignLeft | Qt::AlignTop, shown);
    const BalloonShape shape = balloonShape(measured.width(), measured.height());
    layout.bodyWidth = shape.bodyWidth;
    layout.bodyHeight = shape.bodyHeight;
    layout.windowSize = QSize(shape.window.width, shape.window.height);
    layout.tip = QPoint(shape.tipX, shape.tipY);
    QPolygon tail;
    for (const auto &corner : shape.tail)
        tail << QPoint(corner[0], corner[1]);
    layout.region = roundRectRegion(shape.bodyWidth, shape.bodyHeight, 12, 10) | QRegion(tail, Qt::OddEvenFill);
    return layout;
}

void CBalloonWnd::showWindow(HintPoint at)
{
    const QPoint anchor(at.x, at.y);
    layout_ = layoutFor(font_, text_);
    setMask(layout_.region);
    // The tip on the anchor, unless the balloon would leave the screen.
    QPoint topLeft = anchor - layout_.tip;
    if (const QScreen *screen = QGuiApplication::screenAt(anchor)) {
        const QRect area = screen->availableGeometry();
        const BalloonShape shape = balloonShape(layout_.bodyWidth - 24, layout_.bodyHeight - 20);
        int x = 0, y = 0;
        placeBalloon(shape, anchor.x(), anchor.y(),
                     LayoutRect{area.left(), area.top(), area.x() + area.width(), area.y() + area.height()}, x, y);
        topLeft = QPoint(x, y);
    }
    setGeometry(QRect(topLeft, layout_.windowSize));
    show();
    raise();
    update();
}

void CBalloonWnd::paintEvent(QPaintEvent *)
{
    const Layout layout = layoutFor(font_, text_);
    QPainter painter(this);
    // Fill, edge and text from the tool-tip pair of the palette, which every
    // theme keeps readable together (light and dark alike); the band between
    // edge and fill is a blend of the two.
    const QPalette &pal = palette();
    const QColor fill = pal.color(QPalette::ToolTipBase);
    const QColor ink = pal.color(QPalette::ToolTipText);
    const QColor band = QColor::fromRgbF(fill.redF() * 0.75f + ink.redF() * 0.25f,
                                         fill.greenF() * 0.75f + ink.greenF() * 0.25f,
                                         fill.blueF() * 0.75f + ink.blueF() * 0.25f);
    for (const QRect &r : layout.region)
        painter.fillRect(r, fill);
    // A 1-pixel edge over a 3-pixel band.
    const QRegion outer = layout.region - eroded(layout.region, 3, 3);
    for (const QRect &r : outer)
        painter.fillRect(r, band);
    const QRegion inner = layout.region - eroded(layout.region, 1, 1);
    for (const QRect &r : inner)
        painter.fillRect(r, ink);
    QString shown = text_;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    painter.setPen(ink);
    painter.setFont(font_);
    painter.drawText(rect().adjusted(12, 10, 0, 0), Qt::AlignLeft | Qt::AlignTop, shown);
}

} // namespace vigilon
