// SPDX-License-Identifier: MIT
// The main dialog against a real frame: fields and their checks, start and
// stop, status texts, port test, target change, exit, layout.
#include <QCheckBox>
#include "base/StringTable.h"
#include "store/Settings.h"
#include "tests/qt/UiFakes.h"
#include "qt/DialogUnits.h"
#include "qt/PortListCtrl.h"
#include "qt/TargetHostDlg.h"
#include "qt/UpDownCtrl.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <tuple>

using namespace vigilon;
using namespace vigilon::test;

namespace {

QPushButton *button(CMonitorDlg &d, int id)
{
    return qobject_cast<QPushButton *>(d.control(id));
}

// Replaces a field's text as typing over a selection does: one change.
void typeInto(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Backspace);
    else
        QTest::keyClicks(edit, text);
}

const std::vector<StoredPort> kOneActive = {{80, GenericTcp, 1, 0, "", "Generic TCP (80)"}};
} // namespace

class MonitorDlgTest : public QObject {
    Q_OBJECT
private slots:
    // Start is the default button. Each up-down control stands over the right
    // end of its field, covering the field's border, at the field's height.
    // Letters never get into a field, and the arrows stop at their ends
    // (what a typed value is checked against: DialogRules.fieldsOpenWithin...).
    // The two boxes drive the frame: notifications stored off, autostart
    // installed through the service host and shown as it reports.
    void notificationAndAutostartBoxes()
    {
        struct Host final : ServiceHostSetup {
            std::string programName() const override { return "vigilsvc"; }
            bool installed() override { return state; }
            bool run(bool install, std::function<void(const Run &)> done) override
            {
                state = install;
                done({true, {}, {}});
                return true;
            }
            bool state = true;
        } host;
        UiHarness h;
        h.store(kOneActive);
        h.serviceHost = &host;
        h.create();
        CMonitorDlg &d = h.dialog();
        auto *notify = qobject_cast<QCheckBox *>(d.control(CMonitorDlg::IdNotify));
        auto *autostart = qobject_cast<QCheckBox *>(d.control(CMonitorDlg::IdAutostart));
        QVERIFY(notify && autostart);
        QVERIFY(notify->isChecked());
        QVERIFY(autostart->isChecked() && autostart->isEnabled());
        QTest::mouseClick(notify, Qt::LeftButton, {}, QPoint(6, notify->height() / 2));
        QVERIFY(!h.frame().notificationsEnabled());
        QTest::mouseClick(autostart, Qt::LeftButton, {}, QPoint(6, autostart->height() / 2));
        QVERIFY(!host.state);
        QVERIFY(!autostart->isChecked() && autostart->isEnabled());
        QVERIFY(h.prompter.messages.empty());
        QVERIFY(!notify->geometry().intersects(d.control(CMonitorDlg::IdStartStop)->geometry()));
    }

    void defaultButtonFieldsAndArrows()
    {
        UiHarness h(kOneActive);
        CMonitorDlg &d = h.dialog();
        QVERIFY(button(d, CMonitorDlg::IdStartStop)->isDefault());
        for (const auto &[edit, spin] : {std::pair<QLineEdit *, CUpDownCtrl *>{d.intervalEdit(), d.intervalSpin()},
                                         {d.retryEdit(), d.retrySpin()}}) {
            QCOMPARE(edit->geometry().right(), spin->geometry().left() + 1);
            QCOMPARE(spin->geometry().top(), edit->geometry().top());
            QCOMPARE(spin->geometry().height(), edit->geometry().height());
        }
        typeInto(d.intervalEdit(), QStringLiteral("4x"));
        QCOMPARE(d.intervalEdit()->text(), QStringLiteral("4"));
        typeInto(d.intervalEdit(), QStringLiteral("998"));
        for (int i = 0; i < 2; ++i)
            QTest::mouseClick(d.intervalSpin()->upButton(), Qt::LeftButton);
        QCOMPARE(d.intervalEdit()->text(), QStringLiteral("999"));
        typeInto(d.retryEdit(), QStringLiteral("5"));
        QTest::mouseClick(d.retrySpin()->upButton(), Qt::LeftButton);
        QCOMPARE(d.retryEdit()->text(), QStringLiteral("5"));
        QTest::keyClick(d.retryEdit(), Qt::Key_Down);
        QCOMPARE(d.retryEdit()->text(), QStringLiteral("4"));
        QVERIFY(h.prompter.messages.empty());
    }

    // Which widgets the rules' "settings" are, and that Exit and the list
    // stay usable while monitoring.
    void startAndStopSwitchTheWidgets()
    {
        UiHarness h(kOneActive);
        CMonitorDlg &d = h.dialog();
        QTest::mouseClick(button(d, CMonitorDlg::IdStartStop), Qt::LeftButton);
        QVERIFY(h.frame().running());
        QCOMPARE(button(d, CMonitorDlg::IdStartStop)->text(), stringText(sid::StopButton));
        for (int id : {CMonitorDlg::IdPortTest, CMonitorDlg::IdInterval, CMonitorDlg::IdIntervalSpin,
                       CMonitorDlg::IdRetry, CMonitorDlg::IdRetrySpin, CMonitorDlg::IdTarget})
            QVERIFY2(!d.control(id)->isEnabled(), qPrintable(QString::number(id)));
        QVERIFY(d.control(CMonitorDlg::IdExit)->isEnabled());
        QVERIFY(d.control(CMonitorDlg::IdList)->isEnabled());
        QTest::mouseClick(button(d, CMonitorDlg::IdStartStop), Qt::LeftButton);
        QVERIFY(!h.frame().running());
        for (int id : {CMonitorDlg::IdPortTest, CMonitorDlg::IdIntervalSpin, CMonitorDlg::IdTarget})
            QVERIFY(d.control(id)->isEnabled());
    }

    // The keys and the close box reach the rules: Exit and Esc ask the
    // frame's question (posted, as a message to the frame is), Enter in a
    // field starts, the close box while monitoring asks its own question.
    void keysButtonsAndCloseBox()
    {
        UiHarness h(kOneActive);
        CMonitorDlg &d = h.dialog();
        QVERIFY(shownOnScreen(d));
        h.prompter.answers = {mb::IdNo};
        QTest::mouseClick(button(d, CMonitorDlg::IdExit), Qt::LeftButton);
        h.loop.runPosted();
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmExit)});

        h.prompter.messages.clear();
        d.activateWindow();
        d.retryEdit()->setFocus();
        QTest::keyClick(d.retryEdit(), Qt::Key_Return);
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmStartMonitoring)});
        QVERIFY(d.monitoring());

        h.prompter.messages.clear();
        h.prompter.answers = {mb::IdNo};
        QVERIFY(!d.close());
        h.loop.runPosted();
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmExitWhileMonitoring)});
        QVERIFY(d.isVisible());

        QTest::keyClick(&d, Qt::Key_Escape);
        h.loop.runPosted();
        QVERIFY(h.frame().closed());
        QVERIFY(h.ui.quitCalled);
    }

    // The field takes no more than 64 characters (the refusal of a longer
    // host from the command line is DialogRules').
    void targetFieldTakesAtMost64Characters()
    {
        UiHarness h;
        h.create(false, true);
        CMonitorDlg &d = h.dialog();
        d.setDialogRunner([&](QDialog &dialog) {
            auto &t = static_cast<CTargetHostDlg &>(dialog);
            t.show();
            t.hostEdit()->setText(QString(64, QLatin1Char('b')));
            t.hostEdit()->end(false);
            QTest::keyClicks(t.hostEdit(), QStringLiteral("cc"));
            QTest::mouseClick(t.okButton(), Qt::LeftButton);
            return t.result();
        });
        QTest::mouseClick(button(d, CMonitorDlg::IdTarget), Qt::LeftButton);
        QCOMPARE(h.frame().targetHost(), std::string(64, 'b'));
    }

    // The tray's exit can end the program while one of the dialog's modal
    // dialogs is open: that one ends with Cancel as the main dialog goes,
    // and nothing is touched afterwards (the sanitizer build catches any use
    // after free).
    void programEndsInsideAModalDialog()
    {
        UiHarness h;
        h.create();
        CPortListCtrl *list = h.dialog().list();
        bool rejected = false;
        h.dialog().setDialogRunner([&](QDialog &dialog) {
            dialog.show();
            h.frame().exitNow();
            rejected = dialog.result() == QDialog::Rejected && !dialog.isVisible();
            return int(QDialog::Accepted);
        });
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(list->model()->index(0, 1)).center());
        QVERIFY(h.frame().closed());
        QVERIFY(rejected);
    }

    // The window's place and size and the list's widths are kept for the
    // next start; the list opens as it was, the window where it was, or
    // back on the screen when that is gone.
    void layoutIsKeptForTheNextStart()
    {
        UiHarness h(kOneActive);
        QVERIFY(shownOnScreen(h.dialog()));
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        h.dialog().move(screen.topLeft() + QPoint(40, 30));
        h.dialog().resize(600, 400);
        h.dialog().list()->setColumnWidth(1, 150);
        QTRY_COMPARE(h.dialog().size(), QSize(600, 400));
        const QRect list = h.dialog().control(CMonitorDlg::IdList)->geometry();
        h.FrameParts::frame.reset();
        const WindowLayout kept = loadWindowLayout(h.registry);
        QCOMPARE(QRect(kept.x, kept.y, kept.width, kept.height), QRect(screen.topLeft() + QPoint(40, 30), QSize(600, 400)));
        QCOMPARE(kept.columnWidths.at(1), 150);

        h.create();
        CMonitorDlg &again = h.dialog();
        // The place is the frame's, the size the inside's, as the toolkit
        // moves and sizes a window.
        QCOMPARE(QRect(again.pos(), again.size()), QRect(screen.topLeft() + QPoint(40, 30), QSize(600, 400)));
        QCOMPARE(again.list()->columnWidth(1), 150);
        // Its controls follow the size it opens with.
        QCOMPARE(again.control(CMonitorDlg::IdList)->geometry(), list);

        // Stored beyond the screen's far corner: back on it whole.
        h.FrameParts::frame.reset();
        QCOMPARE(saveWindowLayout(h.registry, WindowLayout{screen.right() + 500, screen.bottom() + 500, 600, 400, {}}),
                 reg::Status::Ok);
        h.create();
        QCOMPARE(QRect(h.dialog().pos(), h.dialog().size()),
                 QRect(screen.right() + 1 - 600, screen.bottom() + 1 - 400, 600, 400));
        QCOMPARE(h.dialog().list()->columnWidth(1), 150);
    }

    void resizeLayout()
    {
        UiHarness h;
        h.create();
        CMonitorDlg &d = h.dialog();
        QVERIFY(shownOnScreen(d));
        const auto at = [&d](int id) { return d.control(id)->geometry(); };
        d.resize(700, 420);
        QTRY_COMPARE(d.size(), QSize(700, 420));
        const QRect status = at(CMonitorDlg::IdStatus), start = at(CMonitorDlg::IdStartStop);
        const QRect logo = at(CMonitorDlg::IdLogo), list = at(CMonitorDlg::IdList), band = d.captionBand();

        // Where each control goes is DialogLayout.controlsFollowTheSize...'s;
        // here that the dialog applies it as it grows.
        const QPoint grown(120, 90);
        d.resize(d.size() + QSize(grown.x(), grown.y()));
        QTRY_COMPARE(at(CMonitorDlg::IdList), QRect(list.topLeft(), list.bottomRight() + grown));
        QCOMPARE(at(CMonitorDlg::IdStartStop), start.translated(grown.x(), 0));
        QCOMPARE(at(CMonitorDlg::IdLogo), logo.translated(grown));
        QCOMPARE(at(CMonitorDlg::IdStatus), status);
        QCOMPARE(d.captionBand(), band.translated(0, grown.y()));

        d.resize(100, 50);
        QTRY_COMPARE(d.size(), d.minimumSize());
        QVERIFY(d.width() >= CMonitorDlg::MinTrackWidth);
        QVERIFY(d.height() >= CMonitorDlg::MinTrackHeight);
        // At the smallest size no control covers another (an up-down control
        // only the border of its own field) and each label shows whole.
        const QList<QWidget *> children = d.findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        for (QWidget *a : children) {
            if (a->isWindow() || !a->isVisible())
                continue;
            if (auto *label = qobject_cast<QLabel *>(a); label && !label->text().isEmpty() &&
                                                               a != d.control(CMonitorDlg::IdStatus))
                QVERIFY2(a->width() >= label->sizeHint().width(), qPrintable(label->text()));
            for (QWidget *b : children) {
                if (b <= a || b->isWindow() || !b->isVisible())
                    continue;
                const bool spinOfField = (a == d.retryEdit() && b == d.retrySpin()) ||
                                         (b == d.retryEdit() && a == d.retrySpin()) ||
                                         (a == d.intervalEdit() && b == d.intervalSpin()) ||
                                         (b == d.intervalEdit() && a == d.intervalSpin());
                QVERIFY2(spinOfField || !a->geometry().intersects(b->geometry()),
                         qPrintable(a->objectName() + QLatin1Char('/') + b->objectName()));
            }
        }
    }
};

QTEST_MAIN(MonitorDlgTest)
#include "MonitorDlgTest.moc"
