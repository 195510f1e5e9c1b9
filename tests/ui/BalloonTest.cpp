// SPDX-License-Identifier: MIT
// The balloon hint: shape and placement, the two delays, and what the
// pointer and the buttons do to it.
#include "ui/qt/BalloonWnd.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QTest>

using namespace vigilon;

namespace {
void send(CBalloonWnd &b, QEvent::Type type, const QPoint &global, Qt::MouseButton button = Qt::NoButton)
{
    QMouseEvent event(type, QPointF(0, 0), QPointF(global), button, button, Qt::NoModifier);
    b.relayEvent(&event, global);
}

struct Rig {
    QWidget owner;
    QWidget target{&owner};
    QWidget other{&owner};
    CBalloonWnd balloon;
    QWidget *under = nullptr;

    Rig()
    {
        balloon.createHint(&owner);
        balloon.addTool(&target, QStringLiteral("first"));
        balloon.setWindowFromPoint([this](const QPoint &) { return under; });
        under = &target;
    }
};
} // namespace

class BalloonTest : public QObject {
    Q_OBJECT
private slots:
    // The region: the body without its corners, plus the tail; a second
    // line makes the body taller and the longer line sets its width.
    void shapeOfOneAndTwoLines()
    {
        QFont font(QStringLiteral("IPAPGothic"));
        font.setPixelSize(14);
        const QFontMetrics fm(font);
        const CBalloonWnd::Layout a = CBalloonWnd::layoutFor(font, QStringLiteral("ここを'追加'をクリック"));
        const QString longer = QStringLiteral("a much longer second line of text");
        const CBalloonWnd::Layout b = CBalloonWnd::layoutFor(font, QStringLiteral("short\r\n") + longer);
        QVERIFY(b.bodyHeight > a.bodyHeight + fm.height() - 2);
        QVERIFY(b.bodyWidth > fm.horizontalAdvance(longer));
        QVERIFY(a.region.contains(QPoint(a.bodyWidth / 2, a.bodyHeight / 2)));
        QVERIFY(!a.region.contains(QPoint(0, 0)));
        QVERIFY(!a.region.contains(QPoint(a.bodyWidth - 1, a.bodyHeight - 1)));
        QVERIFY(a.region.contains(QPoint(a.tip.x() - 2, a.bodyHeight + 5)));
        QVERIFY(!a.region.contains(QPoint(a.bodyWidth - 30, a.bodyHeight + 5)));
        QVERIFY(a.region.boundingRect().bottom() <= a.tip.y());
    }

    void showsAfterTheDelayWithTheTipOnThePointer()
    {
        Rig r;
        const QPoint p(400, 300);
        send(r.balloon, QEvent::MouseMove, p);
        QCOMPARE(r.balloon.pendingTimer(), int(CBalloonWnd::ShowTimer));
        QCOMPARE(r.balloon.showTimer().interval(), 500);
        QCOMPARE(r.balloon.anchor(), p);
        QVERIFY(!r.balloon.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(r.balloon.isVisible(), 5000);
        QCOMPARE(r.balloon.text(), QStringLiteral("first"));
        QCOMPARE(r.balloon.pendingTimer(), int(CBalloonWnd::HideTimer));
        QCOMPARE(r.balloon.hideTimer().interval(), 4000);
        const CBalloonWnd::Layout l = CBalloonWnd::layoutFor(r.balloon.hintFont(), QStringLiteral("first"));
        QCOMPARE(r.balloon.geometry(), QRect(p - l.tip, l.windowSize));
        QCOMPARE(r.balloon.hintFont().pixelSize(), 14);
        QCOMPARE(r.balloon.mask(), l.region);
        // Window colour inside, a dark 1-pixel edge over a 3-pixel band of
        // the scroll-bar grey, the text in black.
        const QImage painted = r.balloon.grab().toImage();
        const QPalette &pal = r.balloon.palette();
        const int midY = l.bodyHeight / 2;
        QCOMPARE(painted.pixel(0, midY), pal.color(QPalette::WindowText).rgb());
        QCOMPARE(painted.pixel(1, midY), pal.color(QPalette::Midlight).rgb());
        QCOMPARE(painted.pixel(2, midY), pal.color(QPalette::Midlight).rgb());
        QCOMPARE(painted.pixel(3, midY), pal.color(QPalette::Base).rgb());
        QCOMPARE(painted.pixel(l.bodyWidth - 1, midY), pal.color(QPalette::WindowText).rgb());
        QCOMPARE(painted.pixel(8, l.bodyHeight - 1), pal.color(QPalette::WindowText).rgb());
        QCOMPARE(painted.pixel(8, l.bodyHeight - 3), pal.color(QPalette::Midlight).rgb());
        bool black = false;
        for (int y = 10; y < l.bodyHeight - 10 && !black; ++y)
            for (int x = 12; x < l.bodyWidth - 12 && !black; ++x)
                black = painted.pixel(x, y) == qRgb(0, 0, 0);
        QVERIFY(black);
        // Hidden again after its display time, with the pointer still there.
        QTRY_VERIFY_WITH_TIMEOUT(!r.balloon.isVisible(), 10000);
        QCOMPARE(r.balloon.pendingTimer(), 0);
    }

    // A move restarts the delay at the new point; the same point again asks
    // nothing; a tool registered again shows its new text.
    void whatAMoveAsks()
    {
        Rig r;
        r.balloon.addTool(&r.target, QStringLiteral("second"));
        send(r.balloon, QEvent::MouseMove, QPoint(100, 100));
        QTest::qWait(300);
        const int left = r.balloon.showTimer().remainingTime();
        send(r.balloon, QEvent::MouseMove, QPoint(101, 100));
        QVERIFY(r.balloon.showTimer().remainingTime() > left);
        QCOMPARE(r.balloon.anchor(), QPoint(101, 100));
        QCOMPARE(r.balloon.text(), QStringLiteral("second"));
        QVERIFY(!r.balloon.isVisible());
        r.balloon.hideHint();
        QCOMPARE(r.balloon.pendingTimer(), 0);
        send(r.balloon, QEvent::MouseMove, QPoint(101, 100));
        QCOMPARE(r.balloon.pendingTimer(), 0);
        send(r.balloon, QEvent::MouseMove, QPoint(102, 100));
        QCOMPARE(r.balloon.pendingTimer(), int(CBalloonWnd::ShowTimer));
    }

    void buttonsAndOtherWindowsHide()
    {
        Rig r;
        for (QEvent::Type press : {QEvent::MouseButtonPress, QEvent::MouseButtonDblClick}) {
            for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
                r.under = &r.target;
                send(r.balloon, QEvent::MouseMove, QPoint(10 + int(button), 10));
                QCOMPARE(r.balloon.pendingTimer(), int(CBalloonWnd::ShowTimer));
                send(r.balloon, press, QPoint(10 + int(button), 10), button);
                QCOMPARE(r.balloon.pendingTimer(), 0);
            }
        }
        send(r.balloon, QEvent::MouseMove, QPoint(30, 30));
        QTRY_VERIFY_WITH_TIMEOUT(r.balloon.isVisible(), 5000);
        r.under = &r.other;
        send(r.balloon, QEvent::MouseMove, QPoint(31, 30));
        QVERIFY(!r.balloon.isVisible());
        QCOMPARE(r.balloon.pendingTimer(), 0);
        // A release or other events do nothing.
        r.under = &r.target;
        send(r.balloon, QEvent::MouseMove, QPoint(32, 30));
        send(r.balloon, QEvent::MouseButtonRelease, QPoint(32, 30), Qt::LeftButton);
        QCOMPARE(r.balloon.pendingTimer(), int(CBalloonWnd::ShowTimer));
    }
};

QTEST_MAIN(BalloonTest)
#include "BalloonTest.moc"
