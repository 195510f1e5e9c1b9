// SPDX-License-Identifier: MIT
// The graph's drawing model, the time texts it shows, and what every graph
// window does around it (the session).
#include "base/StringTable.h"
#include "graph/ResponseGraphModel.h"
#include "graph/ResponseGraphSession.h"
#include "graph/TimeFormat.h"
#include "tests/support/FakeEventLoop.h"
#include "tests/support/FakePrompter.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace vigilon {
namespace {

constexpr std::uint32_t kT0 = 1173863107; // 2007-03-14 09:05:07 UTC

ResponseGraphParams params(std::uint32_t threshold = 0, std::uint32_t maxHistory = 200,
                           const std::string &seriesNames = "TCP:80")
{
    ResponseGraphParams p;
    p.fontFace = "face";
    p.warningThreshold = threshold;
    p.maxHistory = maxHistory;
    p.targetHost = "target.example";
    p.seriesNames = seriesNames;
    return p;
}

// Every line is 10 pixels high and 5 pixels a byte wide (of its longest
// line).
TextExtent fakeMeasure(const std::string &text)
{
    int lines = 1;
    std::size_t start = 0;
    int widest = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        widest = std::max(widest, static_cast<int>(end - start) * 5);
        ++lines;
    }
    return {std::max(widest, static_cast<int>(text.size() - start) * 5), lines * 10};
}

const GRect kGraph{16, 50, 216, 150}; // W 200, H 100

TEST(GraphModel, SeriesNamesSplitAtLineBreaks)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(splitSeriesNames(""), V{});
    EXPECT_EQ(splitSeriesNames("a"), V{"a"});
    EXPECT_EQ(splitSeriesNames("a\r\n"), V{"a"});
    EXPECT_EQ(splitSeriesNames("\r\n"), V{""});
    EXPECT_EQ(splitSeriesNames("a\r\n\r\nb"), (V{"a", "", "b"}));
    // A bare LF is no break.
    EXPECT_EQ(splitSeriesNames("a\nb"), V{"a\nb"});
}

TEST(GraphModel, SlotsTicksAndTruncatingDivision)
{
    ResponseGraphModel m(params(), kT0);
    // N = 0 after a reset: two slots, the tick at slot 0 only, no curve and no
    // time label, but the maximum label with 0: the maximum and the current
    // value are forgotten.
    m.addSample(700, kT0);
    m.resetHistory();
    EXPECT_EQ(m.seriesLine(0), "TCP:80 現在の値: 0");
    GraphDrawing d = m.drawGraph(kGraph);
    EXPECT_EQ(d.ticks, (std::vector<GLine>{{{16, 148}, {16, 152}}}));
    EXPECT_TRUE(d.curve.empty());
    EXPECT_FALSE(d.timeLabel);
    EXPECT_EQ(d.maxLabel, "最大=0");

    // N = 1: one point at slot 0, at the top for the new, lower maximum; both
    // labels.
    m.addSample(40, kT0 + 1);
    d = m.drawGraph(kGraph);
    ASSERT_EQ(d.curve.size(), 1u);
    EXPECT_EQ(d.curve[0], (GPoint{16, 150 - 100 - 1}));
    ASSERT_TRUE(d.timeLabel);
    EXPECT_EQ(*d.timeLabel, "09:05:08");

    // N = 9: eleven slots, ticks at 0 and 10; 10 * 200 / 11 truncates to 181.
    for (int i = 0; i < 8; ++i)
        m.addSample(40, kT0 + 2);
    d = m.drawGraph(kGraph);
    ASSERT_EQ(d.ticks.size(), 2u);
    EXPECT_EQ(d.ticks[1].from.x, 16 + 181);
    ASSERT_EQ(d.curve.size(), 9u);
    EXPECT_EQ(d.curve[1].x, 16 + 18); // 200 / 11
    // The curve ends two slots short of the right edge.
    EXPECT_EQ(d.curve[8].x, 16 + 1600 / 11);
}

TEST(GraphModel, VerticalScaleFollowsMaximumOrThreshold)
{
    ResponseGraphModel m(params(500), kT0);
    m.addSample(100, kT0);
    m.addSample(300, kT0);
    m.addSample(0, kT0);
    GraphDrawing d = m.drawGraph(kGraph);
    // Below the threshold the height stands for the threshold: the line lies
    // one pixel above the top.
    ASSERT_TRUE(d.thresholdLine);
    EXPECT_EQ(*d.thresholdLine, (GLine{{16, 49}, {216, 49}}));
    EXPECT_EQ(d.curve[0].y, 150 - 20 - 1);
    EXPECT_EQ(d.curve[1].y, 150 - 60 - 1);
    EXPECT_EQ(d.curve[2].y, 150 - 1);

    m.addSample(1000, kT0);
    d = m.drawGraph(kGraph);
    EXPECT_EQ(d.thresholdLine->from.y, 150 - 50 - 1);
    EXPECT_EQ(d.curve[1].y, 150 - 30 - 1);
    EXPECT_EQ(d.curve[3].y, 150 - 100 - 1);
    EXPECT_EQ(d.maxLabel, "最大=1000");

    // 100 * 100 / 300 truncates to 33.
    ResponseGraphModel t(params(0), kT0);
    t.addSample(300, kT0);
    t.addSample(100, kT0);
    d = t.drawGraph(kGraph);
    EXPECT_FALSE(d.thresholdLine);
    EXPECT_EQ(d.curve[1].y, 150 - 33 - 1);
}

TEST(GraphModel, LargeValuesDoNotWrapTheProduct)
{
    // 50,000,000 * 100 does not fit 32 bits; wrapped it would put the line
    // 7 pixels above the bottom instead of half way.
    ResponseGraphModel m(params(50'000'000), kT0);
    m.addSample(100'000'000, kT0);
    m.addSample(0xFFFFFFFFu, kT0);
    GraphDrawing d = m.drawGraph(kGraph);
    EXPECT_EQ(d.curve[1].y, 150 - 100 - 1);
    EXPECT_EQ(d.curve[0].y, 150 - 2 - 1);
    EXPECT_EQ(d.thresholdLine->from.y, 150 - 1 - 1);
}

TEST(GraphModel, OnlyFailuresRunJustAboveTheAxis)
{
    ResponseGraphModel m(params(), kT0);
    m.addSample(0, kT0);
    m.addSample(0, kT0);
    const GraphDrawing d = m.drawGraph(kGraph);
    EXPECT_EQ(d.maxLabel, "最大=0");
    EXPECT_EQ(d.curve, (std::vector<GPoint>{{16, 149}, {16 + 50, 149}}));
    EXPECT_TRUE(m.hasSamples());
}

TEST(GraphModel, HistoryBoundKeepsCountAndMaximum)
{
    ResponseGraphModel m(params(0, 10), kT0);
    m.addSample(900, kT0);
    for (std::uint32_t i = 1; i <= 10; ++i)
        m.addSample(5, kT0 + i);
    EXPECT_EQ(m.samples().size(), 10u);
    // The 900 is gone from the store (the time label shows the oldest kept
    // sample) but not from the maximum; the count shows all eleven.
    const GraphDrawing d = m.drawGraph(kGraph);
    EXPECT_EQ(*d.timeLabel, "09:05:08");
    EXPECT_EQ(d.curve[0].y, 150 - 0 - 1); // 5 * 100 / 900 = 0
    EXPECT_NE(m.startLine().find("サンプル数: 11"), std::string::npos);
    // The count is not bounded, and each sample drops at most one.
    for (int i = 0; i < 1000; ++i)
        m.addSample(1, kT0);
    EXPECT_EQ(m.samples().size(), 10u);
    EXPECT_EQ(m.sampleCount(), 1011u);
}

TEST(GraphModel, TextBlock)
{
    ResponseGraphModel m(params(), kT0);
    EXPECT_EQ(m.measuredText(), "対象ホスト: target.example\r\n対象ポート: TCP:80 現在の値: 8888888\r\n"
                                "開始時刻 2007年 03月 14日 09時05分07秒 経過時間: 999日 23時間 59分 59秒\r\n"
                                "サンプル数: 8888888\r\n");
    // The graph lies below the text, the empty last line after the final
    // "\r\n" included.
    m.computeTextBlock(GRect{0, 0, 100, 100}, fakeMeasure);
    EXPECT_EQ(m.graphArea(GRect{0, 0, 300, 200}), (GRect{0, fakeMeasure(m.measuredText()).height, 300, 200}));

    // More series: the first behind the port heading, each later one on its
    // own line.
    ResponseGraphModel m2(params(0, 200, "a\r\nb"), kT0);
    EXPECT_EQ(m2.measuredText().find("対象ポート: a 現在の値: 8888888\r\nb 現在の値: 8888888\r\n開始"),
              std::string("対象ホスト: target.example\r\n").size());
}

// A failed entry's reason: one more line under the text, in its own colour,
// gone again once the entry answers.
TEST(GraphModel, TheReasonOfAFailureIsALineUnderTheText)
{
    ResponseGraphModel m(params(), kT0);
    const std::string plain = m.measuredText();
    const std::string line = "エラーの理由: 接続を拒否されました";
    EXPECT_TRUE(m.setReasonLine(line));
    EXPECT_FALSE(m.setReasonLine(line));
    EXPECT_EQ(m.measuredText(), plain + "\r\n" + line);
    const PaintPlan plan = m.planPaint(GRect{0, 0, 400, 200}, fakeMeasure);
    ASSERT_EQ(plan.items.size(), 5u);
    EXPECT_EQ(plan.items[4].text, line);
    EXPECT_EQ(plan.items[4].colour, graphcolour::Reason);
    EXPECT_EQ(plan.items[4].shadowAt.left, 4);
    EXPECT_EQ(plan.items[4].shadowAt.top, plan.items[3].shadowAt.bottom);
    EXPECT_EQ(plan.textBottom, plan.items[4].shadowAt.bottom);
    EXPECT_TRUE(m.setReasonLine(""));
    EXPECT_EQ(m.measuredText(), plain);
    EXPECT_EQ(m.planPaint(GRect{0, 0, 400, 200}, fakeMeasure).items.size(), 4u);
}

TEST(GraphModel, PaintPlanDriftsLeftAndPlacesTheGraph)
{
    const ResponseGraphParams two = params(0, 200, "a\r\nb");
    ResponseGraphModel m(two, kT0);
    const GRect client{0, 0, 400, 200};
    PaintPlan plan = m.planPaint(client, fakeMeasure);
    ASSERT_EQ(plan.items.size(), 5u);
    const int lefts[] = {4, 3, 2, 1, 4};
    int top = 4;
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(plan.items[i].shadowAt.left, lefts[i]) << i;
        EXPECT_EQ(plan.items[i].shadowAt.top, top) << i;
        top = plan.items[i].shadowAt.bottom;
    }
    EXPECT_EQ(plan.items[2].colour, graphcolour::series(0));
    EXPECT_EQ(plan.items[3].colour, graphcolour::series(1));
    EXPECT_EQ(plan.items[0].colour, graphcolour::Text);
    // No graph before the first sample.
    EXPECT_FALSE(plan.graph);

    m.computeTextBlock(client, fakeMeasure);
    m.addSample(50, kT0);
    ASSERT_TRUE(m.planPaint(client, fakeMeasure).graph);
    // The graph needs the text to end above 26 pixels from the bottom: 18
    // below it, 8 above it for the maximum's label.
    const int text = m.textBlock().bottom;
    EXPECT_FALSE(m.planPaint(GRect{0, 0, 400, text + 26}, fakeMeasure).graph);
    EXPECT_TRUE(m.planPaint(GRect{0, 0, 400, text + 27}, fakeMeasure).graph);
    // The label lies below the text, the failure's reason included.
    for (const char *reason : {"", "reason"}) {
        m.setReasonLine(reason);
        const PaintPlan failed = m.planPaint(client, fakeMeasure);
        ASSERT_TRUE(failed.graph);
        EXPECT_EQ(failed.graph->maxLabelRect.top, failed.textBottom) << reason;
        EXPECT_EQ(failed.graph->area.top, failed.textBottom + 8) << reason;
    }

    // At 192 DPI every margin doubles: the text starts 8 in, the graph
    // needs 52 pixels below the text, and lies 32 from the left and 16
    // from the right.
    m.setReasonLine("");
    m.setDpi(192);
    const PaintPlan doubled = m.planPaint(client, fakeMeasure);
    EXPECT_EQ(doubled.items[0].shadowAt.left, 8);
    EXPECT_EQ(doubled.items[0].shadowAt.top, 8);
    ASSERT_TRUE(doubled.graph);
    EXPECT_EQ(doubled.graph->area, (GRect{32, doubled.textBottom + 16, 384, 164}));
    EXPECT_EQ(doubled.graph->ticks[0], (GLine{{32, 160}, {32, 168}}));
    EXPECT_FALSE(m.planPaint(GRect{0, 0, 400, doubled.textBottom + 52}, fakeMeasure).graph);
    EXPECT_EQ(m.computeTextBlock(client, fakeMeasure).left, 8);
    EXPECT_EQ(m.minimumWidth(), m.textBlock().width() + 32);

    ResponseGraphParams noGraph = two;
    noGraph.showGraph = 0;
    ResponseGraphModel hidden(noGraph, kT0);
    hidden.addSample(1, kT0);
    EXPECT_FALSE(hidden.planPaint(client, fakeMeasure).graph);
}

// The tests run with TZ=UTC.
TEST(TimeFormat, LocalTimeFieldsArePaddedAndOthersKept)
{
    // The table's own formats: TextBlock's start line and SlotsTicksAndTruncatingDivision's time label.
    // Unknown fields, a lone trailing percent and "%%" as the table's
    // texts could hold them.
    EXPECT_EQ(formatLocalTime("%x %% %", 0), "%x % %");
    EXPECT_EQ(formatLocalTime("%Y-%m-%d %H:%M:%S", 0xFFFFFFFFu), "2106-02-07 06:28:15");
}

TEST(TimeFormat, ElapsedCountsWholeDaysAndWrapsTheRest)
{
    const std::string &format = loadString(sid::GraphElapsedFormat);
    EXPECT_EQ(formatElapsed(format, 86399), "0日 23時間 59分 59秒");
    EXPECT_EQ(formatElapsed(format, 2 * 86400 + 3 * 3600 + 4 * 60 + 5), "2日 03時間 04分 05秒");
    // Days are not padded nor limited to two digits.
    EXPECT_EQ(formatElapsed(format, 123u * 86400u), "123日 00時間 00分 00秒");
}

// A session that records to file, at 0x1C8 (0xC8 counts).
ResponseGraphParams recordingParams(const std::string &file)
{
    ResponseGraphParams p = params();
    p.alpha = 0x1C8;
    p.recordToFile = 1;
    p.fileName = file;
    return p;
}

// Recording itself is the recorder's (see its tests) and each window's
// (see theirs); here: what the windows share around it.
TEST(GraphSession, PlacedRepaintedAndTicked)
{
    test::TempDir dir;
    test::FakeClock clock;
    test::FakePrompter prompter;
    const GRect client{0, 0, 92, 92};
    ResponseGraphSession s(recordingParams(dir / "sample.csv"), clock);

    // At the text block's place and size, 100 taller for the graph; only
    // the low byte of alpha counts.
    const GRect frame = s.initialFrame(client, fakeMeasure);
    const GRect block = s.model().textBlock();
    EXPECT_EQ(frame, (GRect{4, 4, block.right, block.bottom + 100}));
    EXPECT_EQ(s.opacity(), 0xC8);
    // At 144 DPI, 150 taller and 6 in.
    ResponseGraphSession at144(params(), clock);
    at144.model().setDpi(144);
    const GRect frame144 = at144.initialFrame(client, fakeMeasure);
    EXPECT_EQ(frame144, (GRect{6, 6, at144.model().textBlock().right, at144.model().textBlock().bottom + 150}));
    s.startRecording(prompter);
    EXPECT_TRUE(s.recording());

    // A sample repaints the client area below the text only.
    const GRect sized{0, 0, 300, 200};
    EXPECT_EQ(s.addSample(15, sized), (GRect{0, block.height(), 300, 200}));

    // The elapsed time counts from the start timer; a tick remeasures the text block
    // and repaints it down to the painted text's bottom, which the series
    // line on a line of its own puts a line below the block.
    const PaintPlan plan = s.planPaint(sized, fakeMeasure);
    s.startClock();
    clock.advanceMs(61000);
    const GRect text = s.tick(sized, fakeMeasure);
    EXPECT_EQ(s.model().elapsedText(), "0日 00時間 01分 01秒");
    const GRect measured = s.model().textBlock();
    EXPECT_EQ(measured.width(), block.width()); // the clock does not widen it
    EXPECT_EQ(plan.textBottom, measured.bottom + 10);
    EXPECT_EQ(text, (GRect{measured.left, measured.top, measured.right, plan.textBottom}));
    EXPECT_TRUE(prompter.messages.empty());

    // Without the graph no reserve. A file that cannot be opened is said
    // once, with its name and why, and the window goes on without it.
    ResponseGraphParams p = recordingParams(dir / "missing/sample.csv");
    p.showGraph = 0;
    ResponseGraphSession bad(p, clock);
    const GRect textOnly = bad.initialFrame(client, fakeMeasure);
    EXPECT_EQ(textOnly.height(), bad.model().textBlock().height());
    bad.startRecording(prompter);
    EXPECT_FALSE(bad.recording());
    SampleRecorder why;
    ASSERT_FALSE(why.open(p.fileName, "", "", {}));
    ASSERT_EQ(prompter.texts(),
              std::vector<std::string>{"ファイル オープン エラー!\r\n" + p.fileName + "\r\n" + why.openError()});
    EXPECT_FALSE(why.openError().empty());
    EXPECT_EQ(prompter.messages[0].style, mb::Ok);
}

// A window narrower than its text grows to the text's width once for each
// wider need, never narrower nor taller; one the user narrowed stays so
// until the text needs more than before.
TEST(GraphSession, GrowsOnceToTheWidthItsTextNeeds)
{
    test::FakeClock clock;
    ResponseGraphSession s(params(), clock);
    const GRect frame = s.initialFrame(GRect{0, 0, 92, 92}, fakeMeasure);
    const int needed = s.model().textBlock().right;
    const GRect client{0, 0, frame.width() - 8, frame.height()}; // a border of 4
    EXPECT_EQ(s.growToFit(client), needed - client.width());
    EXPECT_EQ(s.growToFit(GRect{0, 0, needed - 50, 100}), std::nullopt);
    EXPECT_EQ(s.growToFit(GRect{0, 0, needed + 50, 100}), std::nullopt);

    ASSERT_TRUE(s.setFailureReason(std::string(200, 'r')));
    const GRect wide{0, 0, needed + 50, 100};
    EXPECT_EQ(s.fitReason(wide, fakeMeasure), 4 + 200 * 5 + 8 - wide.width());
    EXPECT_EQ(s.fitReason(wide, fakeMeasure), std::nullopt);
    ASSERT_TRUE(s.setFailureReason(""));
    EXPECT_EQ(s.fitReason(GRect{0, 0, needed - 1, 100}, fakeMeasure), std::nullopt);
}

TEST(GraphSession, DraggedOnlyAfterAPressInTheWindow)
{
    GraphDrag drag;
    const GPoint corner{100, 100};
    // The button went down elsewhere and the cursor came in.
    EXPECT_FALSE(drag.move({130, 130}, true, corner));
    drag.press({130, 130}, corner);
    EXPECT_FALSE(drag.move({130, 130}, true, corner));
    EXPECT_EQ(drag.move({150, 145}, true, corner), (GPoint{120, 115}));
    // Released (seen as a move without the button): no more following.
    EXPECT_FALSE(drag.move({160, 160}, false, {120, 115}));
    EXPECT_FALSE(drag.move({170, 170}, true, {120, 115}));

    EXPECT_EQ(graphFontPixels(16), 12);
    EXPECT_EQ(graphFontPixels(3), 1);
    EXPECT_EQ(graphFontPixels(24, 144), 18);
}

} // namespace
} // namespace vigilon
