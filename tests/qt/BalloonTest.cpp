// SPDX-License-Identifier: MIT
// The balloon hint: shape and placement, the two delays, and what the
// pointer and the buttons do to it.
#include "qt/BalloonWnd.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>

#include <cmath>

using namespace vigilon;

namespace {
void send(CBalloonWnd &b, QEvent::Type type, const QPoint &global, Qt::MouseButton button = Qt::NoButton)
{
    QMouseEvent event(type, QPointF(0, 0), QPointF(global), button, button, Qt::NoModifier);
    b.relayEvent(&event, global);
}

// The contrast ratio of two colours as readability guides count it (1 to 21).
double contrast(QRgb a, QRgb b)
{
    const auto luminance = [](QRgb c) {
        const auto channel = [](int v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
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

    // In a light and in a dark theme, in the middle of the screen and at its
    // top left corner.
    void showsAfterTheDelayWithTheTipOnThePointerReadableAndOnScreen()
    {
        QPalette dark;
        for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button, QPalette::ToolTipBase})
            dark.setColor(role, QColor(0x2a, 0x2a, 0x2e));
        for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::ToolTipText})
            dark.setColor(role, QColor(0xe8, 0xe8, 0xe8));
        dark.setColor(QPalette::Midlight, QColor(0x3a, 0x3a, 0x3e));
        const struct {
            QPalette palette;
            QPoint pointer;
        } cases[] = {{QApplication::palette(), QPoint(400, 300)}, {dark, QPoint(3, 2)}};
        for (const auto &c : cases) {
            Rig r;
            r.balloon.setPalette(c.palette);
            send(r.balloon, QEvent::MouseMove, c.pointer);
            QCOMPARE(r.balloon.pendingTimer(), int(CBalloonWnd::ShowTimer));
            QCOMPARE(r.balloon.showTimer().interval(), 500);
            QVERIFY(!r.balloon.isVisible());
            QTRY_VERIFY_WITH_TIMEOUT(r.balloon.isVisible(), 5000);
            QCOMPARE(r.balloon.pendingTimer(), int(CBalloonWnd::HideTimer));
            QCOMPARE(r.balloon.hideTimer().interval(), 4000);
            const CBalloonWnd::Layout l = CBalloonWnd::layoutFor(r.balloon.hintFont(), QStringLiteral("first"));
            QCOMPARE(r.balloon.hintFont().pixelSize(), 14);
            QCOMPARE(r.balloon.mask(), l.region);
            // Placed by the screen's real geometry (where, for a pointer near
            // an edge: DialogLayout.theBalloonPointsItsTail...).
            const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
            QCOMPARE(r.balloon.geometry().size(), l.windowSize);
            QVERIFY(screen.contains(r.balloon.geometry()));
            if (screen.contains(QRect(c.pointer - l.tip, l.windowSize)))
                QCOMPARE(r.balloon.geometry().topLeft(), c.pointer - l.tip);

            // Text and edge that stand out from the fill in either theme.
            const QImage painted = r.balloon.grab().toImage();
            const int midY = l.bodyHeight / 2;
            const QRgb fill = painted.pixel(3, midY);
            const QRgb edge = painted.pixel(0, midY);
            double best = 1;
            for (int y = 10; y < l.bodyHeight - 10; ++y)
                for (int x = 12; x < l.bodyWidth - 12; ++x)
                    best = std::max(best, contrast(painted.pixel(x, y), fill));
            QVERIFY2(best >= 7, qPrintable(QString::number(best)));
            QVERIFY(contrast(edge, fill) >= 4.5);
            if (c.pointer == cases[0].pointer) {
                // Hidden again after its display time, with the pointer still there.
                QTRY_VERIFY_WITH_TIMEOUT(!r.balloon.isVisible(), 10000);
                QCOMPARE(r.balloon.pendingTimer(), 0);
            }
        }
    }

    // A move restarts the delay at the new point; a tool registered again
    // shows its new text; hiding stops the timers. (A pointer at rest asking nothing more is
    // BalloonHover's: DialogRulesTest.)
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
        r.balloon.hideHint();
        QCOMPARE(r.balloon.pendingTimer(), 0);
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
