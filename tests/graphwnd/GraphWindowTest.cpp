// SPDX-License-Identifier: MIT
#include "app/MainFrame.h"
#include "app/base/StringTable.h"
#include "app/store/MemoryRegistry.h"
#include "graph/qt/GraphWindows.h"
#include "graph/qt/ResponseGraphWnd.h"
#include "graph/qt/ResponseMonitorDlg.h"
#include "tests/support/FakeEventLoop.h"
#include "tests/support/FakeFrameParts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

using namespace vigilon;

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
    p.sourceHost = "here";
    p.seriesNames = "TCP:80";
    p.maxHistory = 200;
    return p;
}

QRect toRect(const GRect &r)
{
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
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

bool hasColourIn(const QImage &image, const QRect &area, const QColor &colour)
{
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (image.pixelColor(x, y) == colour)
                return true;
    return false;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A folder of its own under /tmp, removed with everything in it.
struct TempDir {
    std::string path = [] {
        char pattern[] = "/tmp/vigilon-graphwnd-XXXXXX";
        return std::string(mkdtemp(pattern) ? pattern : "");
    }();
    ~TempDir() { std::filesystem::remove_all(path); }
};

// The frame with fakes around it, and a user interface whose response
// monitor parts are the real ones.
class GraphFrameUi final : public FrameUi {
public:
    explicit GraphFrameUi(Prompter &prompter)
        : prompter_(prompter)
    {
    }
    std::unique_ptr<TrayIcon> createTrayIcon(CMainFrame &) override { return nullptr; }
    std::unique_ptr<MainDialogView> createMainDialog(CMainFrame &, const MainDialogInit &) override
    {
        return nullptr;
    }
    std::unique_ptr<AboutBoxView> createAboutBox(CMainFrame &) override { return nullptr; }
    bool runResponseMonitorDialog(CMainFrame &frame, ResponseGraphParams &params) override
    {
        ++dialogs;
        return vigilon::runResponseMonitorDialog(frame, prompter_, params);
    }
    std::unique_ptr<ResponseGraph> createResponseGraph(CMainFrame &frame, const ResponseGraphParams &params) override
    {
        ++windows;
        if (failWindow)
            return nullptr;
        return makeResponseGraphWindow(frame, params);
    }
    void quit() override {}

    int dialogs = 0;
    int windows = 0;
    bool failWindow = false;

private:
    Prompter &prompter_;
};

struct FrameRig {
    test::FakeClock clock;
    test::FakeEventLoop loop{clock};
    test::Journal journal;
    test::FakePrompter prompter;
    reg::MemoryRegistry registry;
    GraphFrameUi ui{prompter};
    test::FakeSocketLibrary sockets{journal};
    test::FakeProbeFactory probes;
    std::unique_ptr<CMainFrame> frame;

    FrameRig()
    {
        FrameContext c;
        c.targetHost = "192.0.2.9";
        c.loop = &loop;
        c.clock = &clock;
        c.prompter = &prompter;
        c.registry = &registry;
        c.ui = &ui;
        c.sockets = &sockets;
        c.probes = &probes;
        frame = std::make_unique<CMainFrame>(c);
        frame->create();
    }
    MonitorPort &addEntry(const std::string &name, std::uint32_t threshold, int active = 1)
    {
        auto entry = std::make_unique<MonitorPort>();
        entry->active = active;
        entry->port = 80;
        entry->name = name;
        entry->threshold = threshold;
        PortList &ports = frame->ports();
        ports.insert(ports.end() - 1, std::move(entry));
        return *ports[ports.size() - 2];
    }
};

// Answers the next modal response monitor dialog with a callback.
void answerDialog(std::function<void(CResponseMonitorDlg &)> answer)
{
    QTimer::singleShot(0, [answer] {
        auto *dialog = qobject_cast<CResponseMonitorDlg *>(QApplication::activeModalWidget());
        if (!dialog) {
            // Not up yet: try again a little later.
            answerDialog(answer);
            return;
        }
        answer(*dialog);
    });
}

} // namespace

class GraphWindowTest : public QObject {
    Q_OBJECT

private slots:
    void createsSizedPlacedAndTranslucent();
    void paintsTextThenAxesThresholdCurveAndLabels();
    void invalidatesOnlyGraphPerSampleAndTextPerTick();
    void dragsOnlyAfterAPressInTheWindow();
    void contextMenuResetsAndAsksTheFrameToClose();
    void recordsToFileOrSaysItCannot();
    void aWriteErrorEndsTheRecordingNotTheWindow();
    void clickToOpenWindowReceivingSamples();
    void noDialogForInactiveOrOpenEntries();
};

void GraphWindowTest::createsSizedPlacedAndTranslucent()
{
    test::FakeClock clock;
    test::FakePrompter prompter;
    CResponseGraphWnd w(nullptr, clock, prompter, graphParams());
    QCOMPARE(w.Create(), 1);
    QVERIFY(!w.isVisible());
    const GRect block = w.model().textBlock();
    QCOMPARE(w.pos(), QPoint(4, 4));
    QCOMPARE(w.height(), block.height() + 100);
    QVERIFY(w.width() >= block.width());
    // The window cannot be made smaller than the text block allows.
    QCOMPARE(w.minimumSize(), QSize(block.width() + 16, block.height()));
    QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(w.windowOpacity(), 200.0 / 255.0);

    // The font: the application's, 4 pixels smaller, in the substituted face.
    const QFontMetrics app(QApplication::font());
    const int expected = (QApplication::font().pixelSize() > 0 ? QApplication::font().pixelSize() : app.height()) - 4;
    QCOMPARE(w.graphFont().pixelSize(), expected);
    QVERIFY(!w.graphFont().italic());
    QCOMPARE(QFontInfo(w.graphFont()).family(), QStringLiteral("IPAPGothic"));

    // Only the low byte of alpha counts.
    for (auto [alpha, opacity] : {std::pair{0x1FFu, 1.0}, {0x100u, 0.0}, {0u, 0.0}, {255u, 1.0}}) {
        ResponseGraphParams p = graphParams();
        p.alpha = alpha;
        CResponseGraphWnd a(nullptr, clock, prompter, p);
        a.Create();
        QCOMPARE(a.windowOpacity(), opacity);
    }
    QVERIFY(prompter.boxes.empty());
}

void GraphWindowTest::paintsTextThenAxesThresholdCurveAndLabels()
{
    test::FakeClock clock;
    test::FakePrompter prompter;
    CResponseGraphWnd w(nullptr, clock, prompter, graphParams(500));
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
        w.AddSample(v);
    const QImage image = w.grab().toImage();
    QVERIFY(w.lastPaint().graph);
    const GraphDrawing &g = *w.lastPaint().graph;
    const QColor white(Qt::white);
    // Axes.
    QCOMPARE(image.pixelColor(g.area.left, (g.area.top + g.area.bottom) / 2), white);
    QCOMPARE(image.pixelColor((g.area.left + g.area.right) / 2, g.area.bottom), white);
    // The tick at slot 0 reaches below the axis.
    QCOMPARE(image.pixelColor(g.area.left, g.area.bottom + 2), white);
    // The dotted threshold line, one pixel above the top while the maximum
    // is below the threshold: red at some pixels, not all.
    QVERIFY(g.thresholdLine);
    QCOMPARE(g.thresholdLine->from.y, g.area.top - 1);
    int red = 0;
    for (int x = g.area.left + 4; x < g.area.right - 4; ++x)
        red += image.pixelColor(x, g.thresholdLine->from.y) == QColor(Qt::red) ? 1 : 0;
    QVERIFY(red > 5);
    QVERIFY(red < g.area.right - g.area.left - 8);
    // The curve in series colour 0, at its computed points.
    QCOMPARE(g.curve.size(), std::size_t(5));
    const GPoint mid = g.curve[2];
    QCOMPARE(image.pixelColor(mid.x, mid.y), rgb(graphcolour::series(0)));
    QCOMPARE(mid.y, g.area.bottom - (200 * g.area.height()) / 500 - 1);
    // Both labels in yellow.
    QVERIFY(hasColourIn(image, QRect(g.area.left - 12, g.area.top - 8, 60, 16), rgb(graphcolour::Labels)));
    QVERIFY(hasColourIn(image, QRect(g.area.left - 12, g.area.bottom + 3, 60, 14), rgb(graphcolour::Labels)));
    QCOMPARE(g.maxLabel, std::string("最大=300"));
    // The series line in its colour.
    QVERIFY(hasColourIn(image, toRect(w.lastPaint().items[2].shadowAt).translated(-1, -1), rgb(graphcolour::series(0))));

    // Once the maximum passes the threshold the line drops.
    w.AddSample(1000);
    w.grab();
    QCOMPARE(w.lastPaint().graph->thresholdLine->from.y,
             w.lastPaint().graph->area.bottom - w.lastPaint().graph->area.height() / 2 - 1);
}

void GraphWindowTest::invalidatesOnlyGraphPerSampleAndTextPerTick()
{
    test::FakeClock clock;
    test::FakePrompter prompter;
    ProbedGraphWnd w(nullptr, clock, prompter, graphParams());
    w.Create();
    w.invalidated.clear();
    w.AddSample(10);
    const int textHeight = w.model().textBlock().height();
    QCOMPARE(w.invalidated.size(), std::size_t(1));
    QCOMPARE(w.invalidated[0], QRect(0, textHeight, w.width(), w.height() - textHeight));

    // A reset repaints nothing; the count shows at the next text tick.
    w.ResetHistory();
    QCOMPARE(w.invalidated.size(), std::size_t(1));
    QCOMPARE(w.model().sampleCount(), 0u);

    // Timer 1 after a second, then the text every two seconds from it.
    clock.wallSeconds += 5;
    QTRY_VERIFY_WITH_TIMEOUT(w.model().clockStarted(), 3000);
    QCOMPARE(w.model().elapsedText(), std::string());
    clock.wallSeconds += 61;
    QTRY_VERIFY_WITH_TIMEOUT(!w.model().elapsedText().empty(), 4000);
    QCOMPARE(w.model().elapsedText(), std::string("0日 00時間 01分 01秒"));
    const GRect block = w.model().textBlock();
    QCOMPARE(w.invalidated.back(), QRect(block.left, block.top, block.width(), block.height()));
    QVERIFY(w.model().startLine().find("サンプル数: 0") != std::string::npos);
}

void GraphWindowTest::dragsOnlyAfterAPressInTheWindow()
{
    test::FakeClock clock;
    test::FakePrompter prompter;
    CResponseGraphWnd w(nullptr, clock, prompter, graphParams());
    w.Create();
    w.show();
    w.move(100, 100);
    QCOMPARE(w.pos(), QPoint(100, 100));

    // The button went down elsewhere and the cursor came in: no move.
    sendMouse(w, QEvent::MouseMove, QPoint(30, 30), Qt::NoButton, Qt::LeftButton);
    sendMouse(w, QEvent::MouseMove, QPoint(60, 40), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(w.pos(), QPoint(100, 100));

    // Press, then drag: the window follows the cursor.
    sendMouse(w, QEvent::MouseButtonPress, QPoint(30, 30), Qt::LeftButton, Qt::LeftButton);
    sendMouse(w, QEvent::MouseMove, QPoint(50, 45), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(w.pos(), QPoint(120, 115));
    sendMouse(w, QEvent::MouseButtonRelease, QPoint(50, 45), Qt::LeftButton, Qt::NoButton);

    // Released: a later move with the button held (pressed elsewhere) does
    // nothing again.
    sendMouse(w, QEvent::MouseMove, QPoint(10, 10), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(w.pos(), QPoint(120, 115));
}

void GraphWindowTest::contextMenuResetsAndAsksTheFrameToClose()
{
    FrameRig rig;
    MonitorPort &entry = rig.addEntry("TCP:80", 0);
    auto window = std::make_unique<CResponseGraphWnd>(*rig.frame, graphParams());
    QCOMPARE(window->Create(), 1);
    CResponseGraphWnd *w = window.get();
    entry.graphWindow = std::move(window);

    QList<QAction *> actions = w->contextMenu().actions();
    QCOMPARE(actions.size(), 3);
    QCOMPARE(actions[0]->text(), QStringLiteral("応答履歴をリセット"));
    QVERIFY(actions[1]->isSeparator());
    QCOMPARE(actions[2]->text(), QStringLiteral("この監視を閉じる(&C)"));

    w->AddSample(5);
    actions[0]->trigger();
    QCOMPARE(w->model().sampleCount(), 0u);
    QVERIFY(w->model().hasSamples());

    // The close request is posted: the window is still there when it
    // returns, and the frame closes it afterwards.
    actions[2]->trigger();
    QVERIFY(entry.graphWindow);
    QTRY_VERIFY(!entry.graphWindow);

    // A request from a window already gone is dropped.
    auto second = std::make_unique<CResponseGraphWnd>(*rig.frame, graphParams());
    second->Create();
    second->CloseMonitor();
    second.reset();
    QTest::qWait(20);
}

void GraphWindowTest::recordsToFileOrSaysItCannot()
{
    TempDir dir;
    test::FakeClock clock;
    clock.wallSeconds = 1173863107; // 2007-03-14 09:05:07 UTC
    test::FakePrompter prompter;

    ResponseGraphParams p = graphParams();
    p.recordToFile = 1;
    p.fileName = dir.path + "/sample.csv";
    {
        CResponseGraphWnd w(nullptr, clock, prompter, p);
        w.Create();
        QVERIFY(w.recording());
        w.AddSample(15);
        w.AddSample(0);
    }
    QCOMPARE(readFile(p.fileName), std::string("ターゲット: 192.0.2.1\r\n送信元: here\r\nサンプリング日時, TCP:80\r\n"
                                               "2007年 03月 14日 09時05分07秒,15\r\n"
                                               "2007年 03月 14日 09時05分07秒,0\r\n"));
    QVERIFY(prompter.boxes.empty());

    p.fileName = dir.path + "/missing/sample.csv";
    CResponseGraphWnd bad(nullptr, clock, prompter, p);
    QCOMPARE(bad.Create(), 1);
    QCOMPARE(prompter.boxes.size(), std::size_t(1));
    QCOMPARE(prompter.boxes[0].text, std::string("ファイル オープン エラー!"));
    QCOMPARE(prompter.boxes[0].style, mb::Ok);
    QVERIFY(!bad.recording());
    bad.AddSample(3);
    QCOMPARE(bad.model().sampleCount(), 1u);
}

// The recorder's own report of the error is checked with the recorder.
void GraphWindowTest::aWriteErrorEndsTheRecordingNotTheWindow()
{
    TempDir dir;
    test::FakeClock clock;
    test::FakePrompter prompter;
    ResponseGraphParams p = graphParams();
    p.recordToFile = 1;
    p.fileName = dir.path + "/full.csv";
    CResponseGraphWnd w(nullptr, clock, prompter, p);
    w.Create();
    QVERIFY(w.recording());
    const std::size_t header = readFile(p.fileName).size();

    // A file size limit stands in for a full disk.
    rlimit old{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = header + 40;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    for (std::uint32_t v = 1; v <= 6; ++v)
        w.AddSample(v);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(!w.recording());
    // The window goes on: every sample counted and drawn, no message box.
    QCOMPARE(w.model().sampleCount(), 6u);
    QCOMPARE(w.model().currentValues().at(0), 6u);
    w.grab();
    QVERIFY(w.lastPaint().graph);
    QCOMPARE(w.lastPaint().graph->curve.size(), std::size_t(6));
    QVERIFY(prompter.boxes.empty());
    QVERIFY(readFile(p.fileName).size() <= header + 40);
}

void GraphWindowTest::clickToOpenWindowReceivingSamples()
{
    TempDir dir;
    const std::string file = dir.path + "/run.csv";

    FrameRig rig;
    MonitorPort &entry = rig.addEntry("TCP:80", 100);
    answerDialog([file](CResponseMonitorDlg &d) {
        QCOMPARE(d.portEdit()->text(), QStringLiteral("TCP:80"));
        d.historyEdit()->setText(QStringLiteral("10"));
        d.recordCheck()->click();
        d.fileEdit()->setText(QString::fromStdString(file));
        d.accept();
    });
    rig.frame->OpenResponseMonitor(entry);
    QVERIFY(entry.graphWindow);
    auto *w = dynamic_cast<CResponseGraphWnd *>(entry.graphWindow.get());
    QVERIFY(w);
    QVERIFY(w->isVisible());
    const ResponseGraphParams &p = w->model().params();
    QCOMPARE(p.maxHistory, 10u);
    QCOMPARE(p.warningThreshold, 100u);
    QCOMPARE(p.alpha, 200u);
    QCOMPARE(p.targetHost, std::string("192.0.2.9"));
    QCOMPARE(p.sourceHost, std::string("testhost"));
    QCOMPARE(p.fontFace, std::string("ＭＳ Ｐゴシック"));
    QVERIFY(w->recording());

    entry.responseTime = 42;
    rig.frame->reportResult(TcpOk, entry);
    QCOMPARE(w->model().sampleCount(), 1u);
    QCOMPARE(w->model().currentValues().at(0), 42u);
    QVERIFY(readFile(file).find(",42\r\n") != std::string::npos);

    // A second click while the window is open does nothing.
    rig.frame->OpenResponseMonitor(entry);
    QCOMPARE(rig.ui.dialogs, 1);

    // The window goes with its entry's close.
    rig.frame->closeResponseGraph(w);
    QVERIFY(!entry.graphWindow);

    // A window that cannot be made: message 256, nothing stored.
    rig.ui.failWindow = true;
    answerDialog([](CResponseMonitorDlg &d) { d.accept(); });
    rig.frame->OpenResponseMonitor(entry);
    QVERIFY(!entry.graphWindow);
    QCOMPARE(rig.prompter.boxes.back().text, std::string("グラフ ウィンドウを作成できません。"));

    // Cancel: no window.
    rig.ui.failWindow = false;
    answerDialog([](CResponseMonitorDlg &d) { d.reject(); });
    rig.frame->OpenResponseMonitor(entry);
    QVERIFY(!entry.graphWindow);
}

void GraphWindowTest::noDialogForInactiveOrOpenEntries()
{
    FrameRig rig;
    MonitorPort &inactive = rig.addEntry("UDP:53", 0, 0);
    rig.frame->OpenResponseMonitor(inactive);
    QCOMPARE(rig.ui.dialogs, 0);
    QVERIFY(!inactive.graphWindow);

    // The entry is deleted while its dialog is open: OK makes no window and
    // touches nothing of it.
    MonitorPort &doomed = rig.addEntry("TCP:443", 0);
    CMainFrame *frame = rig.frame.get();
    answerDialog([frame, &doomed](CResponseMonitorDlg &d) {
        PortList &ports = frame->ports();
        for (auto it = ports.begin(); it != ports.end(); ++it) {
            if (it->get() == &doomed) {
                ports.erase(it);
                break;
            }
        }
        d.accept();
    });
    const std::size_t before = rig.frame->ports().size();
    rig.frame->OpenResponseMonitor(doomed);
    QCOMPARE(rig.ui.dialogs, 1);
    QCOMPARE(rig.ui.windows, 0);
    QCOMPARE(rig.frame->ports().size(), before - 1);
    QVERIFY(rig.prompter.boxes.empty());
}

QTEST_MAIN(GraphWindowTest)
#include "GraphWindowTest.moc"
