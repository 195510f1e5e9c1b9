// SPDX-License-Identifier: MIT
// The port list: rows, check boxes, clicks as real mouse events at computed
// places, and adding, editing and deleting through the placeholder row and
// the port settings dialog, with what lands in the store.
#include "app/base/StringTable.h"
#include "graph/qt/ResponseGraphWnd.h"
#include "graph/qt/ResponseMonitorDlg.h"
#include "tests/ui/UiFakes.h"
#include "ui/qt/BalloonWnd.h"
#include "ui/qt/PortListCtrl.h"
#include "ui/qt/PortSettingsDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace vigilon;
using namespace vigilon::test;

namespace {
QString q(unsigned id)
{
    return QString::fromStdString(loadString(id)).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

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

void setText(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    edit->insert(text);
}

// Answers the port settings dialog: fills in what is given and presses a
// button; remembers what it was opened with.
struct SettingsAnswer {
    QString port{};
    int protocol = -1;
    QString command{};
    QString threshold{};
    enum Press { Ok, Cancel, Delete } press = Ok;

    // Seen on opening:
    QString presetPort{};
    int presetProtocol = -1;
    QString presetCommand{};
    QString presetThreshold{};
    bool deleteEnabled = false;
    int opened = 0;
    bool stayedOpen = false;

    int operator()(QDialog &dialog)
    {
        auto &d = static_cast<CPortSettingsDlg &>(dialog);
        d.show();
        ++opened;
        presetPort = d.portEdit()->text();
        presetProtocol = d.protocolCombo()->currentIndex();
        presetCommand = d.commandEdit()->text();
        presetThreshold = d.thresholdEdit()->text();
        deleteEnabled = d.deleteButton()->isEnabled();
        if (!port.isNull())
            setText(d.portEdit(), port);
        if (protocol >= 0) {
            d.protocolCombo()->setCurrentIndex(protocol);
            emit d.protocolCombo()->activated(protocol);
        }
        if (!command.isNull())
            setText(d.commandEdit(), command);
        if (!threshold.isNull())
            setText(d.thresholdEdit(), threshold);
        QPushButton *b = press == Ok ? d.okButton() : press == Cancel ? d.cancelButton() : d.deleteButton();
        QTest::mouseClick(b, Qt::LeftButton);
        stayedOpen = d.isVisible();
        if (stayedOpen)
            QTest::mouseClick(d.cancelButton(), Qt::LeftButton);
        return d.result();
    }
};

// Answers the next modal response monitor dialog once it is up; gives up
// after a while so that a dialog that never comes fails the test instead of
// hanging it.
void answerMonitorDialog(std::function<void(CResponseMonitorDlg &)> answer, int triesLeft = 200)
{
    QTimer::singleShot(10, [answer, triesLeft] {
        if (auto *d = qobject_cast<CResponseMonitorDlg *>(QApplication::activeModalWidget())) {
            answer(*d);
            return;
        }
        if (triesLeft > 0)
            answerMonitorDialog(answer, triesLeft - 1);
    });
}

} // namespace

class PortListTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useUtc(); }

    void rowsAndColumns()
    {
        UiHarness h({{"Generic TCP (80)", 80, GenericTcp, 1, "notify %TARGET%", 250},
                     {"HTTP (8080)", 8080, Http, 0, "", 0}});
        CPortListCtrl *list = h.dialog().list();
        QCOMPARE(list->itemCount(), 3);
        const unsigned headers[] = {sid::ColumnPortName, sid::ColumnCommand, sid::ColumnErrorCount,
                                    sid::ColumnLastErrorTime, sid::ColumnResponseTime, sid::ColumnThreshold};
        const int widths[] = {100, 200, 40, 120, 60, 60};
        for (int c = 0; c < 6; ++c) {
            QCOMPARE(list->horizontalHeaderItem(c)->text(), q(headers[c]));
            QCOMPARE(list->columnWidth(c), widths[c]);
        }
        QCOMPARE(list->horizontalHeaderItem(0)->textAlignment() & Qt::AlignHorizontal_Mask, int(Qt::AlignHCenter));
        QCOMPARE(list->horizontalHeaderItem(2)->textAlignment() & Qt::AlignHorizontal_Mask, int(Qt::AlignRight));
        QCOMPARE(list->itemText(0, 0), QStringLiteral("Generic TCP (80)"));
        QCOMPARE(list->itemText(0, 1), QStringLiteral("notify %TARGET%"));
        QCOMPARE(list->itemText(0, 5), QStringLiteral("250"));
        QCOMPARE(list->itemState(0), int(CPortListCtrl::StateTicked));
        QCOMPARE(list->itemState(1), int(CPortListCtrl::StateUnticked));
        // The placeholder: information image, no tick, zeros.
        QCOMPARE(list->itemText(2, 0), QStringLiteral("追加"));
        QCOMPARE(list->itemImage(2), int(ImageIdle));
        QCOMPARE(list->itemState(2), int(CPortListCtrl::StateUnticked));
        QCOMPARE(list->itemText(2, 2), QStringLiteral("0"));
        QCOMPARE(list->itemText(2, 3), QString());
        QCOMPARE(list->itemText(2, 4), QStringLiteral("0"));
    }

    void hitTestFindsTheStateIconInColumnZero()
    {
        UiHarness h({{"Generic TCP (80)", 80, GenericTcp, 0, "", 0}});
        CPortListCtrl *list = h.dialog().list();
        QCOMPARE(list->hitTest(stateIcon(list, 0)).flags, unsigned(CPortListCtrl::HitOnStateIcon));
        QCOMPARE(list->hitTest(list->imageRect(0).center()).flags, unsigned(CPortListCtrl::HitOnIcon));
        QCOMPARE(list->hitTest(nameCell(list, 0)).flags, unsigned(CPortListCtrl::HitOnLabel));
        QCOMPARE(list->hitTest(commandCell(list, 1)).row, 1);
        const QRect last = list->visualRect(list->model()->index(1, 0));
        QCOMPARE(list->hitTest(QPoint(5, last.bottom() + 30)).row, -1);
    }

    void singleClickOnTheBoxTogglesAndSaves()
    {
        UiHarness h({{"Generic TCP (80)", 80, GenericTcp, 0, "", 0}});
        CPortListCtrl *list = h.dialog().list();
        // Elsewhere in the row: nothing.
        click(list, nameCell(list, 0));
        click(list, commandCell(list, 0));
        QVERIFY(h.prompter.messages.empty());

        h.prompter.answers = {mb::IdNo};
        click(list, stateIcon(list, 0));
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmActivatePort)});
        QCOMPARE(list->itemState(0), int(CPortListCtrl::StateUnticked));
        QVERIFY(!h.frame().entryView(0).active);

        click(list, stateIcon(list, 0));
        QCOMPARE(list->itemState(0), int(CPortListCtrl::StateTicked));
        QVERIFY(h.frame().entryView(0).active);
        QCOMPARE(h.stored().ports[0]->active, 1);

        h.prompter.messages.clear();
        click(list, stateIcon(list, 0));
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmDeactivatePort)});
        QCOMPARE(list->itemState(0), int(CPortListCtrl::StateUnticked));
        QCOMPARE(h.stored().ports[0]->active, 0);
    }

    void doubleClickInColumnZeroTogglesOnce()
    {
        UiHarness h({{"Generic TCP (80)", 80, GenericTcp, 0, "", 0}});
        CPortListCtrl *list = h.dialog().list();
        doubleClick(list, nameCell(list, 0));
        QCOMPARE(h.prompter.texts(), std::vector<std::string>{loadString(sid::ConfirmActivatePort)});
        QCOMPARE(list->itemState(0), int(CPortListCtrl::StateTicked));
        QCOMPARE(h.stored().ports[0]->active, 1);
    }

    void clickWhileMonitoringOpensAGraphWindowThatGetsSamples()
    {
        UiHarness h;
        h.ui.realGraphParts = true;
        h.store({{"Generic TCP (80)", 80, GenericTcp, 1, "", 100}, {"Generic TCP (81)", 81, GenericTcp, 0, "", 0}});
        h.create();
        CMonitorDlg &d = h.dialog();
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        QTest::mouseClick(qobject_cast<QPushButton *>(d.control(CMonitorDlg::IdStartStop)), Qt::LeftButton);
        QVERIFY(d.monitoring());
        const std::uint32_t id = h.frame().entryView(0).id;

        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("run.csv"));
        QString portText;
        answerMonitorDialog([&portText, file](CResponseMonitorDlg &dialog) {
            portText = dialog.portEdit()->text();
            dialog.historyEdit()->setText(QStringLiteral("10"));
            dialog.recordCheck()->click();
            dialog.fileEdit()->setText(file);
            QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
        });
        click(d.list(), commandCell(d.list(), 0));
        QCOMPARE(portText, QStringLiteral("Generic TCP (80)"));
        auto *w = dynamic_cast<CResponseGraphWnd *>(h.ui.graphs.window(id));
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(w->recording());
        const ResponseGraphParams &p = w->model().params();
        QCOMPARE(p.seriesNames, std::string("Generic TCP (80)"));
        QCOMPARE(p.maxHistory, 10u);
        QCOMPARE(p.warningThreshold, 100u);
        QCOMPARE(p.alpha, 200u);
        QCOMPARE(p.targetHost, std::string("127.0.0.1"));
        QCOMPARE(p.sourceHost, std::string("testhost"));
        QCOMPARE(p.fontFace, std::string("ＭＳ Ｐゴシック"));
        QCOMPARE(w->model().sampleCount(), 0u);

        // A round's success is a sample; a failure only once it is declared.
        QVERIFY(h.loop.fire(&h.frame(), 1));
        QCOMPARE(w->model().sampleCount(), 1u);
        QCOMPARE(w->model().currentValues().at(0), 3u);
        h.probes.failingPorts = {80};
        QVERIFY(h.loop.fire(&h.frame(), 1));
        QCOMPARE(w->model().sampleCount(), 1u);
        QVERIFY(h.loop.fire(&h.frame(), 1));
        QCOMPARE(w->model().sampleCount(), 2u);
        QCOMPARE(w->model().currentValues().at(0), 0u);
        QFile recorded(file);
        QVERIFY(recorded.open(QIODevice::ReadOnly));
        const QByteArray lines = recorded.readAll();
        QVERIFY(lines.contains(",3\r\n") && lines.endsWith(",0\r\n"));

        // Its row again, or an unticked row: no dialog.
        const auto asked = h.ui.responseMonitorRequests.size();
        click(d.list(), commandCell(d.list(), 0));
        click(d.list(), commandCell(d.list(), 1));
        QCOMPARE(h.ui.responseMonitorRequests.size(), asked);
        QCOMPARE(h.ui.graphs.window(id), static_cast<ResponseGraph *>(w));

        // Closed, then asked again: a window that cannot be made is said so,
        // and Cancel makes none.
        h.ui.graphs.close(id);
        QVERIFY(!h.ui.graphs.window(id));
        h.ui.failGraph = true;
        answerMonitorDialog([](CResponseMonitorDlg &dialog) { QTest::mouseClick(dialog.okButton(), Qt::LeftButton); });
        click(d.list(), commandCell(d.list(), 0));
        QVERIFY(!h.ui.graphs.window(id));
        QCOMPARE(h.prompter.messages.back().text, std::string("グラフ ウィンドウを作成できません。"));
        answerMonitorDialog([](CResponseMonitorDlg &dialog) { dialog.reject(); });
        click(d.list(), commandCell(d.list(), 0));
        QVERIFY(!h.ui.graphs.window(id));
        QCOMPARE(h.ui.graphsAsked, 2);
    }

    void pointerOverARowAsksForTheHint()
    {
        UiHarness h({{"Generic TCP (80)", 80, GenericTcp, 0, "", 0}});
        CMonitorDlg &d = h.dialog();
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        CBalloonWnd *hint = d.list()->hintWindow();
        QWidget *viewport = d.list()->viewport();
        const QPoint over = nameCell(d.list(), 0);
        hover(d.list(), over);
        QCOMPARE(hint->pendingTimer(), int(CBalloonWnd::ShowTimer));
        QCOMPARE(hint->text(), q(sid::ListHintEntries));
        QCOMPARE(hint->anchor(), viewport->mapToGlobal(over));
        QCOMPARE(hint->hintFont().family(), QStringLiteral("ＭＳ Ｐゴシック"));
        // A button press over the list hides it again.
        QTest::mousePress(viewport, Qt::RightButton, {}, over);
        QCOMPARE(hint->pendingTimer(), 0);
        QTest::mouseRelease(viewport, Qt::RightButton, {}, over);
    }

    void pointerOverEmptyListHidesTheHint()
    {
        UiHarness h;
        h.create();
        CMonitorDlg &d = h.dialog();
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        CBalloonWnd *hint = d.list()->hintWindow();
        QVERIFY(hint);
        hint->showHint(QStringLiteral("x"), d.list()->viewport()->mapToGlobal(QPoint(5, 5)));
        QCOMPARE(hint->pendingTimer(), int(CBalloonWnd::ShowTimer));
        hover(d.list(), QPoint(20, d.list()->viewport()->height() - 5));
        QCOMPARE(hint->pendingTimer(), 0);
        QVERIFY(!hint->isVisible());
    }
};

QTEST_MAIN(PortListTest)
#include "PortListTest.moc"
