// SPDX-License-Identifier: MIT
// The port list: rows, check boxes, clicks as real mouse events at computed
// places, and adding, editing and deleting through the placeholder row and
// the port settings dialog, with what lands in the store.
#include "base/StringTable.h"
#include "app/text/TimeText.h"
#include "qt/ResponseGraphWnd.h"
#include "qt/ResponseMonitorDlg.h"
#include "tests/qt/UiFakes.h"
#include "tests/support/FrameTestPeer.h"
#include "qt/BalloonWnd.h"
#include "qt/PortListCtrl.h"
#include "qt/PortSettingsDlg.h"
#include "qt/OutageListDlg.h"
#include "tests/support/FakeHistory.h"
#include "tests/support/TempDir.h"

#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>

#include <fstream>
#include <iterator>

using namespace vigilon;
using namespace vigilon::test;

namespace {

QPoint stateIcon(CPortListCtrl *list, int row)
{
    return list->stateImageRect(row).center();
}

// In column 0, right of the images.
QPoint nameCell(CPortListCtrl *list, int row)
{
    const QRect r = list->visualRect(list->model()->index(row, 0));
    return QPoint(r.left() + CPortListCtrl::TextLeft + 10, r.center().y());
}

QPoint commandCell(CPortListCtrl *list, int row)
{
    return list->visualRect(list->model()->index(row, 1)).center();
}

void click(CPortListCtrl *list, const QPoint &p)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, p);
}

// What the system delivers for a double click: press, release, double
// click, release.
void doubleClick(CPortListCtrl *list, const QPoint &p)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, p);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, p);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, p);
}

// The pointer moves over the list with no button held.
void hover(CPortListCtrl *list, const QPoint &p)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(p), QPointF(list->viewport()->mapToGlobal(p)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &move);
}


} // namespace

class PortListTest : public QObject {
    Q_OBJECT
private slots:
    // The uptime column, last and right-aligned, shows the kept history's
    // 24 hours as it comes; the outage list shows the entry's outages and
    // exports them to the file chosen.
    void theUptimeColumnAndTheOutageListShowTheKeptHistory()
    {
        UiHarness h;
        h.store({{80, GenericTcp, 1, 0, "", "Generic TCP (80)"}, {81, GenericTcp, 0, 0, "", "Generic TCP (81)"}});
        FakeHistory kept(h.loop);
        const OutageView refused{1796706185000, 1796706250000, false, FailureReason::of(FailureKind::Refused), true};
        kept.uptimes[FakeHistory::key("Generic TCP (80)", 80)] = UptimeView{0.99996, 1, 1, {}};
        kept.outages[FakeHistory::key("Generic TCP (80)", 80)] = {refused};
        h.history = &kept;
        h.create();
        CPortListCtrl *list = h.dialog().list();
        QCOMPARE(list->horizontalHeader()->visualIndex(kUptimeColumn), kListColumns - 1);
        QCOMPARE(list->itemText(0, kUptimeColumn), QStringLiteral("\u2013"));
        h.loop.runPosted();
        QCOMPARE(list->itemText(0, kUptimeColumn), QStringLiteral("99.99 %"));
        QCOMPARE(list->itemText(1, kUptimeColumn), QStringLiteral("\u2013"));
        QVERIFY(list->item(0, kUptimeColumn)->textAlignment() & Qt::AlignRight);
        QVERIFY(qobject_cast<QCheckBox *>(h.dialog().control(CMonitorDlg::IdHistory))->isChecked());

        COutageListDlg outages(h.frame(), h.prompter, h.frame().entryView(0).id, "Generic TCP (80)");
        h.loop.runPosted();
        QCOMPARE(outages.list()->topLevelItemCount(), 1);
        QCOMPARE(outages.list()->topLevelItem(0)->text(3), QString::fromStdString(reasonTextShown(refused.reason)));
        QVERIFY(outages.exportButton()->isEnabled());
        TempDir dir;
        h.prompter.fileAnswer = dir.path() + "/outages.csv";
        QTest::mouseClick(outages.exportButton(), Qt::LeftButton);
        std::ifstream written(h.prompter.fileAnswer, std::ios::binary);
        QCOMPARE(std::string(std::istreambuf_iterator<char>(written), {}),
                 outagesCsv({refused}, h.clock.nowMillis()));
    }

    // What a row holds comes from the dialog rules and only has to reach
    // its cells, tick and image.
    void rowsReachTheirCells()
    {
        const std::string longCommand = "notify --all --verbose --target %TARGET% --with-a-long-tail";
        UiHarness h({{65535, GenericTcp, 1, 250, "notify %TARGET%", "Generic TCP (65535)"},
                     {8080, Http, 0, 0, longCommand, "HTTP (8080)", "::1"}});
        CPortListCtrl *list = h.dialog().list();
        QCOMPARE(list->itemCount(), 3);
        const char *row0[] = {"Generic TCP (65535)", "notify %TARGET%", "0", "", "0", "250"};
        for (int c = 0; c < 6; ++c)
            QCOMPARE(list->itemText(0, c), QString::fromUtf8(row0[c]));
        const int states[] = {CPortListCtrl::StateTicked, CPortListCtrl::StateUnticked, CPortListCtrl::StateUnticked};
        for (int r = 0; r < 3; ++r)
            QCOMPARE(list->itemState(r), states[r]);
        QCOMPARE(list->itemImage(2), int(ImageIdle));

        // The longest name and a whole date fit their columns at the
        // default widths, and every header shows whole.
        QVERIFY(!list->cellTextCut(0, 0));
        list->setCellText(0, 3, QString::fromStdString(formatLocalTime(loadString(sid::DateTimeFormat), 2113919938u)));
        QVERIFY(!list->cellTextCut(0, 3));
        for (int c = 0; c < kListColumns; ++c)
            QCOMPARE(list->headerTextShown(c), list->horizontalHeaderItem(c)->text());
        // The host column, stored as the seventh, shows right after the
        // name (what it says is the rules': DialogRulesTest).
        QCOMPARE(list->horizontalHeaderItem(kHostColumn)->text(), stringText(sid::ColumnHost));
        QCOMPARE(list->horizontalHeader()->visualIndex(kHostColumn), 1);
        QCOMPARE(list->horizontalHeader()->visualIndex(1), 2);
        QCOMPARE(list->itemText(1, kHostColumn), QStringLiteral("::1"));

        // A cut cell tells itself whole in its tool tip; one that shows all
        // of its text has none.
        QVERIFY(shownOnScreen(h.dialog()));
        const auto tipAt = [list](int row, int column) {
            QToolTip::hideText();
            (void)QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 3000);
            const QPoint at = list->visualRect(list->model()->index(row, column)).center();
            QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
            QCoreApplication::sendEvent(list->viewport(), &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QVERIFY(list->cellTextCut(1, 1));
        QCOMPARE(tipAt(1, 1), QString::fromStdString(longCommand));
        QCOMPARE(tipAt(0, 0), QString());
        QCOMPARE(tipAt(2, 0), QString());
    }

    // Real mouse events at computed places: only the state icon toggles on
    // a single click, a double click in column 0 toggles once. The questions
    // and what is saved are the dialog rules' (DialogRules tests).
    void clicksReachTheRulesAtTheirPlaces()
    {
        UiHarness h({{80, GenericTcp, 0, 0, "", "Generic TCP (80)"}});
        CPortListCtrl *list = h.dialog().list();
        QCOMPARE(list->hitTest(stateIcon(list, 0)).flags, unsigned(CPortListCtrl::HitOnStateIcon));
        QCOMPARE(list->hitTest(list->imageRect(0).center()).flags, unsigned(CPortListCtrl::HitOnIcon));
        QCOMPARE(list->hitTest(nameCell(list, 0)).flags, unsigned(CPortListCtrl::HitOnLabel));
        QCOMPARE(list->hitTest(commandCell(list, 1)).row, 1);
        const QRect last = list->visualRect(list->model()->index(1, 0));
        QCOMPARE(list->hitTest(QPoint(5, last.bottom() + 30)).row, -1);

        click(list, nameCell(list, 0));
        click(list, commandCell(list, 0));
        QVERIFY(h.prompter.messages.empty());
        click(list, stateIcon(list, 0));
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmActivatePort)});
        QCOMPARE(list->itemState(0), int(CPortListCtrl::StateTicked));
        h.prompter.messages.clear();
        doubleClick(list, nameCell(list, 0));
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmDeactivatePort)});
        QCOMPARE(list->itemState(0), int(CPortListCtrl::StateUnticked));
    }

    void clickWhileMonitoringOpensAGraphWindowThatGetsSamples()
    {
        UiHarness h({{80, GenericTcp, 1, 100, "", "Generic TCP (80)"}});
        h.ui.realGraphParts = true;
        CMonitorDlg &d = h.dialog();
        QVERIFY(shownOnScreen(d));
        QTest::mouseClick(qobject_cast<QPushButton *>(d.control(CMonitorDlg::IdStartStop)), Qt::LeftButton);
        QVERIFY(d.monitoring());
        const std::uint32_t id = h.frame().entryView(0).id;

        // The file proposed, the entry's own in the documents folder, kept.
        QTemporaryDir dir;
        qputenv("XDG_DOCUMENTS_DIR", dir.path().toUtf8());
        const QString file = dir.filePath(QStringLiteral("127.0.0.1 Generic TCP (80).csv"));
        QString portText;
        answerModal<CResponseMonitorDlg>([&portText](CResponseMonitorDlg &dialog) {
            portText = dialog.portEdit()->text();
            dialog.historyEdit()->setText(QStringLiteral("10"));
            dialog.recordCheck()->click();
            QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        });
        click(d.list(), commandCell(d.list(), 0));
        QCOMPARE(portText, QStringLiteral("Generic TCP (80)"));
        auto *w = dynamic_cast<CResponseGraphWnd *>(FrameTestPeer::graphs(h.frame()).window(id));
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(w->recording());
        // The dialog's choices reach the window (the frame's defaults, shown
        // in the dialog above, and which results are samples are
        // DialogRules'), and so do samples.
        QCOMPARE(w->model().params().maxHistory, 10u);
        QVERIFY(h.loop.fire(&FrameTestPeer::engine(h.frame()), 1));
        h.loop.runPosted();
        QCOMPARE(w->model().currentValues().at(0), 3u);
        QVERIFY(QFile(file).size() > 0);
        qunsetenv("XDG_DOCUMENTS_DIR");

        // Its row again: no second dialog.
        const auto asked = h.ui.responseMonitorRequests.size();
        click(d.list(), commandCell(d.list(), 0));
        QCOMPARE(h.ui.responseMonitorRequests.size(), asked);
        QCOMPARE(FrameTestPeer::graphs(h.frame()).window(id), static_cast<ResponseGraph *>(w));

        // Closed, then asked again: a window that cannot be made is said so,
        // and Cancel makes none.
        FrameTestPeer::graphs(h.frame()).close(id);
        QVERIFY(!FrameTestPeer::graphs(h.frame()).window(id));
        h.ui.failGraph = true;
        answerModal<CResponseMonitorDlg>([](CResponseMonitorDlg &dialog) { QTest::mouseClick(dialog.okButton(), Qt::LeftButton); });
        click(d.list(), commandCell(d.list(), 0));
        QVERIFY(!FrameTestPeer::graphs(h.frame()).window(id));
        QCOMPARE(h.prompter.messages.back().text, std::string("グラフ ウィンドウを作成できません。"));
        answerModal<CResponseMonitorDlg>([](CResponseMonitorDlg &dialog) { dialog.reject(); });
        click(d.list(), commandCell(d.list(), 0));
        QVERIFY(!FrameTestPeer::graphs(h.frame()).window(id));
        QCOMPARE(h.ui.graphsAsked, 2);
    }

    // Keys sent to the real list mean what the mouse does, and never reach
    // the dialog's default button; the menu key and the right button open
    // the context menu, whose choice is carried out.
    void keysAndTheContextMenuWorkTheList()
    {
        UiHarness h({{80, GenericTcp, 1, 0, "", "Generic TCP (80)"}, {81, GenericTcp, 0, 0, "", "Generic TCP (81)"}});
        CMonitorDlg &d = h.dialog();
        CPortListCtrl *list = d.list();
        QVERIFY(shownOnScreen(d));
        d.activateWindow();
        list->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(list));

        // Enter on the placeholder adds; F2 on a row edits it.
        QString opened;
        const auto cancelOpened = [&opened](CPortSettingsDlg &dialog) {
            opened = dialog.portEdit()->text() + (dialog.deleteButton()->isEnabled() ? "+delete" : "");
            dialog.reject();
        };
        list->setCurrentCell(2, 0);
        answerModal<CPortSettingsDlg>(cancelOpened);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(opened, QStringLiteral("0"));
        QVERIFY(h.prompter.messages.empty()); // no question to start monitoring
        QVERIFY(!d.monitoring());
        list->setCurrentCell(0, 0);
        answerModal<CPortSettingsDlg>(cancelOpened);
        QTest::keyClick(list, Qt::Key_F2);
        QCOMPARE(opened, QStringLiteral("80+delete"));

        // Space asks to untick; Delete asks and deletes exactly that row.
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmDeactivatePort)});
        QCOMPARE(list->itemState(0), int(CPortListCtrl::StateUnticked));
        list->setCurrentCell(1, 0);
        h.prompter.messages.clear();
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{"ポート(81)監視の登録を削除しますか?"});
        QCOMPARE(list->itemCount(), 2);
        QCOMPARE(list->itemText(1, 0), stringText(sid::AddPlaceholderName));

        // Ctrl+C copies the selected rows, the placeholder left out.
        list->selectAll();
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Generic TCP (80)\t(127.0.0.1)\t\t0\t\t0\t0\t\u2013\n"));

        // The menu key: the items for the current row, and the choice done.
        list->selectionModel()->setCurrentIndex(list->model()->index(0, 0), QItemSelectionModel::ClearAndSelect |
                                                                              QItemSelectionModel::Rows);
        QStringList items;
        answerPopup<QMenu>([&items](QMenu &menu) {
            QAction *toggle = nullptr;
            for (QAction *action : menu.actions()) {
                if (action->isSeparator())
                    continue;
                items << action->text() + (action->isEnabled() ? "" : " (off)");
                if (action->text() == stringText(sid::ListMenuActivate))
                    toggle = action;
            }
            if (toggle)
                toggle->trigger();
            menu.close();
        });
        h.prompter.messages.clear();
        QTest::keyClick(list, Qt::Key_Menu);
        const QStringList expected{stringText(sid::ListMenuAdd), stringText(sid::ListMenuEdit),
                                   stringText(sid::ListMenuDelete), stringText(sid::ListMenuActivate),
                                   stringText(sid::ListMenuGraph) + " (off)",
                                   stringText(sid::ListMenuOutages) + " (off)", stringText(sid::ListMenuCopy),
                                   stringText(sid::ListMenuQuietHour), stringText(sid::ListMenuQuietEightHours),
                                   stringText(sid::ListMenuQuietUntilResumed), stringText(sid::ListMenuResume) + " (off)"};
        QCOMPARE(items, expected);
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmActivatePort)});
        QCOMPARE(list->itemState(0), int(CPortListCtrl::StateTicked));

        // The right button on the placeholder makes it current: only adding.
        items.clear();
        answerPopup<QMenu>([&items](QMenu &menu) {
            for (QAction *action : menu.actions()) {
                if (!action->isSeparator() && action->isEnabled())
                    items << action->text();
            }
            menu.close();
        });
        const QPoint placeholder = commandCell(list, 1);
        QContextMenuEvent right(QContextMenuEvent::Mouse, placeholder, list->viewport()->mapToGlobal(placeholder));
        QApplication::sendEvent(list->viewport(), &right);
        QCOMPARE(list->currentRow(), 1);
        QCOMPARE(items, QStringList{stringText(sid::ListMenuAdd)});
    }

    // Home and End, with or without Ctrl, go to the first and last row and
    // highlight it alone, leaving the columns where they are; Space acts on
    // the row it shows highlighted, also where Ctrl and an arrow moved the
    // current row away from the highlight.
    void homeAndEndReachTheRowsThatSpaceThenActsOn()
    {
        UiHarness h({{80, GenericTcp, 1, 0, "", "Generic TCP (80)"},
                     {81, GenericTcp, 0, 0, "", "Generic TCP (81)"},
                     {82, GenericTcp, 1, 0, "", "Generic TCP (82)"}});
        CMonitorDlg &d = h.dialog();
        CPortListCtrl *list = d.list();
        QVERIFY(shownOnScreen(d));
        list->setFocus();
        list->setColumnWidth(1, list->viewport()->width() * 2); // the columns reach beyond the view
        QVERIFY(list->horizontalScrollBar()->maximum() > 0);
        list->setCurrentCell(1, 0);
        list->horizontalScrollBar()->setValue(list->horizontalScrollBar()->maximum() / 2);
        const int scrolled = list->horizontalScrollBar()->value();
        const auto highlighted = [list] { return list->selectedRowNumbers(); };

        for (const Qt::KeyboardModifiers mods : {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(Qt::ControlModifier)}) {
            QTest::keyClick(list, Qt::Key_End, mods);
            QCOMPARE(list->currentRow(), 3);
            QCOMPARE(highlighted(), std::vector<int>{3});
            QTest::keyClick(list, Qt::Key_Home, mods);
            QCOMPARE(list->currentRow(), 0);
            QCOMPARE(highlighted(), std::vector<int>{0});
            QCOMPARE(list->horizontalScrollBar()->value(), scrolled);
        }

        QTest::keyClick(list, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(list->currentRow(), 1);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmActivatePort)});
        QCOMPARE(list->itemState(1), int(CPortListCtrl::StateTicked));
        QCOMPARE(list->itemState(0), int(CPortListCtrl::StateTicked));
        QCOMPARE(highlighted(), std::vector<int>{1});
    }

    // A port already in the list is refused at OK: the dialog stays open
    // with what was typed, and nothing is added.
    void aDuplicateKeepsTheDialogOpenWithWhatWasTyped()
    {
        UiHarness h({{80, GenericTcp, 0, 0, "", "Generic TCP (80)"}});
        CPortListCtrl *list = h.dialog().list();
        list->setCurrentCell(1, 0);
        bool open = false;
        QString typed;
        answerModal<CPortSettingsDlg>([&](CPortSettingsDlg &d) {
            d.portEdit()->setText(QStringLiteral("80"));
            d.commandEdit()->setText(QStringLiteral("notify %TARGET%"));
            QTest::mouseClick(d.okButton(), Qt::LeftButton);
            open = d.isVisible();
            typed = d.portEdit()->text() + " " + d.commandEdit()->text();
            d.reject();
        });
        QTest::keyClick(list, Qt::Key_Return);
        QVERIFY(open);
        QCOMPARE(typed, QStringLiteral("80 notify %TARGET%"));
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{loadString(sid::DuplicatePort)});
        QCOMPARE(list->itemCount(), 2);
    }

    // The list is one tab stop: Tab leaves it, whatever its rows. Over a row
    // the hint is asked for at the pointer; a button press, or the pointer
    // below the last row, hides it again.
    void listIsOneTabStopAndDrivesTheHint()
    {
        UiHarness h({{80, GenericTcp, 0, 0, "", "Generic TCP (80)"}, {81, GenericTcp, 0, 0, "", "Generic TCP (81)"}});
        CMonitorDlg &d = h.dialog();
        QVERIFY(shownOnScreen(d));
        d.activateWindow();
        d.list()->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(d.list()));
        QTest::keyClick(d.list(), Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != d.list());

        CBalloonWnd *hint = d.list()->hintWindow();
        QWidget *viewport = d.list()->viewport();
        const QPoint over = nameCell(d.list(), 0);
        hover(d.list(), over);
        QCOMPARE(hint->pendingTimer(), int(CBalloonWnd::ShowTimer));
        QCOMPARE(hint->text(), stringText(sid::ListHintEntries));
        QCOMPARE(hint->anchor(), viewport->mapToGlobal(over));
        QCOMPARE(hint->hintFont().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        QTest::mousePress(viewport, Qt::RightButton, {}, over);
        QCOMPARE(hint->pendingTimer(), 0);
        QTest::mouseRelease(viewport, Qt::RightButton, {}, over);

        hover(d.list(), over + QPoint(1, 0));
        QCOMPARE(hint->pendingTimer(), int(CBalloonWnd::ShowTimer));
        hover(d.list(), QPoint(20, viewport->height() - 5));
        QCOMPARE(hint->pendingTimer(), 0);
        QVERIFY(!hint->isVisible());

        // The list's own tool tip takes the hint down, and the hint does not
        // come up over it while the pointer stays in the tip's cell.
        d.list()->setCellText(1, 1, QString(200, QLatin1Char('x')));
        const QPoint cut = d.list()->visualRect(d.list()->model()->index(1, 1)).center();
        hover(d.list(), cut);
        QTRY_VERIFY_WITH_TIMEOUT(hint->isVisible(), 5000);
        QHelpEvent help(QEvent::ToolTip, cut, viewport->mapToGlobal(cut));
        QCoreApplication::sendEvent(viewport, &help);
        QVERIFY(QToolTip::isVisible());
        QVERIFY(!hint->isVisible());
        hover(d.list(), cut + QPoint(1, 0));
        QCOMPARE(hint->pendingTimer(), int(CBalloonWnd::ShowTimer));
        QTRY_COMPARE_WITH_TIMEOUT(hint->pendingTimer(), 0, 5000);
        QVERIFY(QToolTip::isVisible());
        QVERIFY(!hint->isVisible());
        QToolTip::hideText();
    }
};

QTEST_MAIN(PortListTest)
#include "PortListTest.moc"
