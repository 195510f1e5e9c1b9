// SPDX-License-Identifier: MIT
#include "base/StringTable.h"
#include "qt/GraphWindows.h"
#include "qt/ResponseGraphWnd.h"
#include "qt/ResponseMonitorDlg.h"
#include "tests/support/TempDir.h"
#include "tests/qt/UiFakes.h"
#include "tests/support/FakeHistory.h"
#include "app/text/HistoryText.h"
#include "app/dialogs/WindowPlace.h"
#include "qt/UiText.h"

#include <QAction>
#include <QFontInfo>
#include <QImage>
#include <QMouseEvent>
#include <QScreen>
#include <QtTest>


using namespace vigilon;
using namespace vigilon::test;

namespace {

// A window that notes what it marks for repainting.
class ProbedGraphWnd : public CResponseGraphWnd {
public:
    using CResponseGraphWnd::CResponseGraphWnd;
    std::vector<QRect> invalidated;

protected:
    void invalidate(const QRect &area) override
    {
        invalidated.push_back(area);
        CResponseGraphWnd::invalidate(area);
    }
};

ResponseGraphParams graphParams(std::uint32_t threshold = 0)
{
    ResponseGraphParams p;
    p.fontFace = loadString(sid::UiFontFace);
    p.warningThreshold = threshold;
    p.alpha = 200;
    p.targetHost = "192.0.2.1";
    p.seriesNames = "TCP:80";
    p.maxHistory = 200;
    return p;
}

QColor rgb(GColour c)
{
    return QColor(c.red, c.green, c.blue);
}

// Sends a mouse event as the window system would deliver it.
void sendMouse(QWidget &w, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(local), QPointF(w.mapToGlobal(local)), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &event);
}

// Whether a pixel of area is of colour, or near it: antialiased text at
// small sizes covers few pixels whole.
bool hasColourIn(const QImage &image, const QRect &area, const QColor &colour)
{
    const QRect r = area.intersected(image.rect());
    const auto near = [](int a, int b) { return std::abs(a - b) <= 48; };
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (near(c.red(), colour.red()) && near(c.green(), colour.green()) && near(c.blue(), colour.blue()))
                return true;
        }
    return false;
}

// Opens the graph window of the frame's entry at row, its dialog answered
// with OK; the window, or null when none was made.
CResponseGraphWnd *openGraph(UiHarness &h, std::size_t row)
{
    answerModal<CResponseMonitorDlg>([](CResponseMonitorDlg &d) { d.accept(); });
    h.frame().openResponseMonitor(row);
    return dynamic_cast<CResponseGraphWnd *>(FrameTestPeer::graphs(h.frame()).window(h.frame().entryView(row).id));
}
} // namespace

class GraphWindowTest : public QObject {
    Q_OBJECT
    FakeClock clock_;
    FakePrompter prompter_;

private slots:
    void init()
    {
        clock_ = FakeClock();
        prompter_ = FakePrompter();
    }

    void createsSizedPlacedTranslucentAndDraggable()
    {
        CResponseGraphWnd w(nullptr, clock_, prompter_, graphParams());
        QVERIFY(w.Create());
        QVERIFY(!w.isVisible());
        // Room for the text and a graph below it, and no smaller than the text.
        const GRect block = w.model().textBlock();
        QVERIFY(w.width() >= block.width() && w.height() > block.height());
        // The user cannot make it smaller than the text block allows; the window
        // itself is not widened to that.
        QVERIFY(w.leastSize().width() > block.width());
        QCOMPARE(w.minimumSize(), w.leastSize().boundedTo(w.size()));
        QVERIFY(!(w.graphFont().styleStrategy() & QFont::NoAntialias));
        QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(w.windowOpacity(), 200.0 / 255.0);
        QCOMPARE(QFontInfo(w.graphFont()).family(), QStringLiteral("IPAPGothic"));

        // The mouse reaches the drag (which moves when: GraphSession.DraggedOnly...):
        // a press in it, then a move, and the window follows the cursor.
        w.show();
        w.move(100, 100);
        QCOMPARE(w.pos(), QPoint(100, 100));
        sendMouse(w, QEvent::MouseButtonPress, QPoint(30, 30), Qt::LeftButton, Qt::LeftButton);
        sendMouse(w, QEvent::MouseMove, QPoint(50, 45), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(w.pos(), QPoint(120, 115));
        sendMouse(w, QEvent::MouseButtonRelease, QPoint(50, 45), Qt::LeftButton, Qt::NoButton);
        sendMouse(w, QEvent::MouseMove, QPoint(10, 10), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(w.pos(), QPoint(120, 115));
    }

    void paintsTextThenAxesThresholdCurveAndLabels()
    {
        CResponseGraphWnd w(nullptr, clock_, prompter_, graphParams(500));
        w.Create();
        w.resize(320, w.height() + 60);

        // Before the first sample only the text: the space below stays black.
        QImage before = w.grab().toImage();
        QVERIFY(!w.lastPaint().graph);
        const int textBottom = w.lastPaint().textBottom;
        QVERIFY(hasColourIn(before, QRect(0, 0, w.width(), textBottom), Qt::white));
        QVERIFY(!hasColourIn(before, QRect(2, textBottom + 2, w.width() - 4, w.height() - textBottom - 4), Qt::white));
        // The one-pixel frame.
        QCOMPARE(before.pixelColor(0, w.height() / 2), w.palette().color(QPalette::WindowText));

        for (std::uint32_t v : {100u, 300u, 200u, 0u, 250u})
            w.addSample(v);
        const QImage image = w.grab().toImage();
        QVERIFY(w.lastPaint().graph);
        const GraphDrawing &g = *w.lastPaint().graph;
        const QColor white(Qt::white);
        // Axes.
        QCOMPARE(image.pixelColor(g.area.left, (g.area.top + g.area.bottom) / 2), white);
        QCOMPARE(image.pixelColor((g.area.left + g.area.right) / 2, g.area.bottom), white);
        // The tick at slot 0 reaches below the axis.
        QCOMPARE(image.pixelColor(g.area.left, g.area.bottom + 2), white);
        // The dotted threshold line (where: GraphModel.VerticalScaleFollowsMaximumOrThreshold):
        // red at some pixels, not all.
        QVERIFY(g.thresholdLine);
        int red = 0;
        for (int x = g.area.left + 4; x < g.area.right - 4; ++x)
            red += image.pixelColor(x, g.thresholdLine->from.y) == QColor(Qt::red) ? 1 : 0;
        QVERIFY(red > 5);
        QVERIFY(red < g.area.right - g.area.left - 8);
        // The curve in series colour 0, at the plan's points.
        QCOMPARE(g.curve.size(), std::size_t(5));
        const GPoint mid = g.curve[2];
        QCOMPARE(image.pixelColor(mid.x, mid.y), rgb(graphcolour::series(0)));
        // Both labels in yellow.
        QVERIFY(hasColourIn(image, QRect(g.area.left - 12, g.area.top - 8, 60, 16), rgb(graphcolour::Labels)));
        QVERIFY(hasColourIn(image, QRect(g.area.left - 12, g.area.bottom + 3, 60, 14), rgb(graphcolour::Labels)));
        // The series line in its colour.
        const GRect &shadow = w.lastPaint().items[2].shadowAt;
        QVERIFY(hasColourIn(image, QRect(shadow.left - 1, shadow.top - 1, shadow.width(), shadow.height()),
                            rgb(graphcolour::series(0))));
    }

    void invalidatesOnlyGraphPerSampleAndTextPerTick()
    {
        ProbedGraphWnd w(nullptr, clock_, prompter_, graphParams());
        w.Create();
        w.invalidated.clear();
        w.addSample(10);
        const int textHeight = w.model().textBlock().height();
        QCOMPARE(w.invalidated.size(), std::size_t(1));
        QCOMPARE(w.invalidated[0], QRect(0, textHeight, w.width(), w.height() - textHeight));

        // A reset repaints nothing; the count shows at the next text tick.
        w.resetHistory();
        QCOMPARE(w.invalidated.size(), std::size_t(1));

        // The start timer after a second, then the text every two seconds from it.
        const QSize opened = w.size();
        clock_.wallSeconds += 5;
        QTRY_VERIFY_WITH_TIMEOUT(w.model().clockStarted(), 3000);
        QCOMPARE(w.model().elapsedText(), std::string());
        clock_.wallSeconds += 61;
        QTRY_VERIFY_WITH_TIMEOUT(!w.model().elapsedText().empty(), 4000);
        const GRect block = w.model().textBlock();
        QCOMPARE(w.invalidated.back(), QRect(block.left, block.top, block.width(), block.height()));
        // The least size stays above the window's, which keeps its size.
        QVERIFY(w.leastSize().width() > opened.width());
        QCOMPARE(w.size(), opened);

        // Every text fits at the size the window opened with, the elapsed
        // time included; a longer failure reason widens the window once, and
        // the maximum's label stays below it.
        const auto allFit = [&w] {
            w.grab();
            for (const TextItem &item : w.lastPaint().items)
                if (item.shadowAt.right > w.width())
                    return false;
            return true;
        };
        QVERIFY(allFit());
        w.setFailureReason(std::string(120, 'x'));
        QVERIFY(w.width() > opened.width());
        QCOMPARE(w.height(), opened.height());
        QVERIFY(allFit());
        w.addSample(10);
        w.resize(w.width(), w.height() + 100);
        QVERIFY(allFit());
        QVERIFY(w.lastPaint().graph);
        QVERIFY(w.lastPaint().graph->maxLabelRect.top >= w.lastPaint().textBottom);
    }

    void contextMenuResetsAndAsksTheFrameToClose()
    {
        // The owner's hold on the window, let go when the window asks.
        std::unique_ptr<CResponseGraphWnd> window;
        window = std::make_unique<CResponseGraphWnd>([&window](const ResponseGraph *) { window.reset(); }, clock_,
                                                     prompter_, graphParams());
        QCOMPARE(window->Create(), 1);
        CResponseGraphWnd *w = window.get();

        QList<QAction *> actions = w->contextMenu().actions();
        // Without a kept history the outage list is not offered.
        QCOMPARE(actions.size(), 4);
        QVERIFY(!actions[1]->isEnabled());

        w->addSample(5);
        actions[0]->trigger();
        QCOMPARE(w->model().sampleCount(), 0u);
        QVERIFY(w->model().hasSamples());

        // The close request is posted: the window is still there when it
        // returns, and the frame closes it afterwards.
        actions[3]->trigger();
        QVERIFY(window);
        QTRY_VERIFY(!window);

        // A request from a window already gone is dropped.
        bool asked = false;
        auto second = std::make_unique<CResponseGraphWnd>([&asked](const ResponseGraph *) { asked = true; }, clock_,
                                                          prompter_, graphParams());
        second->Create();
        second->closeMonitor();
        second.reset();
        QTest::qWait(20);
        QVERIFY(!asked);
    }

    // A window to record to a file that cannot be opened is made all the
    // same, without recording (what is said, once:
    // GraphSession.PlacedRepaintedAndTicked; what a write error does:
    // RecordingFile.AWriteErrorEndsTheRecording; a window that records:
    // PortListTest).
    void madeWithoutAFileThatCannotBeOpened()
    {
        TempDir dir;
        ResponseGraphParams p = graphParams();
        p.recordToFile = 1;
        p.fileName = dir / "missing/sample.csv";
        CResponseGraphWnd bad(nullptr, clock_, prompter_, p);
        QCOMPARE(bad.Create(), 1);
        QVERIFY(!bad.recording() && prompter_.messages.size() == 1);
    }

    // The first window opens beside the main dialog, top edges level; each
    // next one down and to the right of the ones open there, never exactly
    // on top of one; a place left free is taken again.
    void windowsOpenCascadedBesideTheMainDialog()
    {
        UiHarness h({{80, GenericTcp, 1, 0, "", "Generic TCP (80)"},
                     {81, GenericTcp, 1, 0, "", "Generic TCP (81)"},
                     {82, GenericTcp, 1, 0, "", "Generic TCP (82)"}});
        h.ui.realGraphParts = true;
        const QRect work = h.dialog().screen()->availableGeometry();
        // Narrow enough that the test's screen has room beside it.
        h.dialog().setMinimumSize(0, 0);
        h.dialog().resize(300, 250);
        h.dialog().move(work.topLeft() + QPoint(10, 40));
        QVERIFY(shownOnScreen(h.dialog()));
        const QRect main = h.dialog().frameGeometry();
        const auto open = [&h](std::size_t row) {
            const CResponseGraphWnd *w = openGraph(h, row);
            return w ? w->pos() : QPoint(-1, -1);
        };
        const QPoint first = open(0);
        QCOMPARE(first.y(), main.top());
        QCOMPARE(first.x(), main.left() + main.width() + kBesideGap);
        QCOMPARE(open(1), first + QPoint(kCascadeStep, kCascadeStep));
        QCOMPARE(open(2), first + QPoint(2 * kCascadeStep, 2 * kCascadeStep));
        FrameTestPeer::graphs(h.frame()).close(h.frame().entryView(0).id);
        QCOMPARE(open(0), first);
    }

    // An open window shows the entry's kept uptimes and last outages, asks
    // again every minute, offers the outage list, and an answer that comes
    // after its window closed reaches no window, not even a new one.
    void showsTheKeptUptimesAndDropsAnswersForAClosedWindow()
    {
        UiHarness h;
        h.store({{80, GenericTcp, 1, 0, "", "Generic TCP (80)"}});
        FakeHistory kept(h.loop);
        const SeriesKey key = FakeHistory::key("Generic TCP (80)", 80);
        const OutageView refused{1796706185000, 1796706250000, false, FailureReason::of(FailureKind::Refused), true};
        kept.uptimes[key] = UptimeView{0.9993, 0.99996, 1.0, {refused}};
        h.history = &kept;
        h.create();
        h.ui.realGraphParts = true;
        const std::uint32_t id = h.frame().entryView(0).id;
        CResponseGraphWnd *w = openGraph(h, 0);
        QVERIFY(w && w->model().historyLines().empty());
        (void)w->grab();
        const int heightBefore = w->height(), textBottomBefore = w->lastPaint().textBottom;
        h.loop.runPosted();
        const std::vector<std::string> lines = graphHistoryLines(kept.uptimes[key], h.clock.nowMillis());
        QCOMPARE(w->model().historyLines(), lines);
        // Painted last, the window taller by them: the graph keeps its room.
        (void)w->grab();
        QCOMPARE(w->lastPaint().items.back().text, lines.back());
        QCOMPARE(w->height() - w->lastPaint().textBottom, heightBefore - textBottomBefore);

        const int asked = kept.uptimeAsks;
        h.loop.advance(GraphWindows::kUptimeRefreshMs);
        QCOMPARE(kept.uptimeAsks, asked + 1);

        // The menu's outage list, from the loop.
        QAction *outages = w->contextMenu().actions().at(1);
        QVERIFY(outages->text() == uiText(sid::GraphOutagesButton) && outages->isEnabled());
        outages->trigger();
        QVERIFY(h.ui.outagesShown.empty());
        h.loop.runPosted();
        QCOMPARE(h.ui.outagesShown, (std::vector<std::pair<std::uint32_t, std::string>>{{id, "Generic TCP (80)"}}));

        // An answer held back until the window has closed and another has
        // opened for the entry: the new window keeps its own.
        kept.held = true;
        h.loop.advance(GraphWindows::kUptimeRefreshMs);
        FrameTestPeer::graphs(h.frame()).close(id);
        kept.held = false;
        kept.uptimes[key].day = 0.25;
        w = openGraph(h, 0);
        QVERIFY(w);
        h.loop.runPosted();
        QVERIFY(w->model().historyLines().at(0).find("25.00 %") != std::string::npos);
        kept.release();
        h.loop.runPosted();
        QVERIFY(w->model().historyLines().at(0).find("25.00 %") != std::string::npos);
        // Closed, it asks no more.
        FrameTestPeer::graphs(h.frame()).close(id);
        const int closedAsks = kept.uptimeAsks;
        h.loop.advance(3 * GraphWindows::kUptimeRefreshMs);
        QCOMPARE(kept.uptimeAsks, closedAsks);
    }

    // The entry is deleted while its dialog is open: OK makes no window and
    // touches nothing of it. (Unticked entries get no dialog: see the port
    // list's tests.)
    void noWindowForAnEntryDeletedMeanwhile()
    {
        UiHarness h({{443, GenericTcp, 1, 0, "", "Generic TCP (443)"}});
        h.ui.realGraphParts = true;
        CMainFrame *frame = &h.frame();
        answerModal<CResponseMonitorDlg>([frame](CResponseMonitorDlg &d) {
            QCOMPARE(frame->deleteEntry(0), CMainFrame::Change::Done);
            d.accept();
        });
        h.frame().openResponseMonitor(0);
        QCOMPARE(h.ui.responseMonitorRequests.size(), std::size_t(1));
        QCOMPARE(h.ui.graphsAsked, 0);
        QVERIFY(h.prompter.messages.empty());
    }
};

QTEST_MAIN(GraphWindowTest)
#include "GraphWindowTest.moc"
