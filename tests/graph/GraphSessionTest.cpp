// SPDX-License-Identifier: MIT
// What every graph window does between its events: where it goes, what it
// records and repaints, and when it follows the mouse.
#include "graph/ResponseGraphSession.h"

#include "tests/support/FakeEventLoop.h"
#include "tests/support/FakePrompter.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace vigilon {
namespace {

using test::FakeClock;
using test::FakePrompter;
using test::TempDir;

// Every line 10 pixels high, 5 pixels a byte of its longest line.
TextExtent fakeMeasure(const std::string &text)
{
    int lines = 0;
    int widest = 0;
    std::size_t pos = 0;
    while (true) {
        const std::size_t brk = text.find("\r\n", pos);
        const std::size_t end = brk == std::string::npos ? text.size() : brk;
        widest = std::max(widest, static_cast<int>(end - pos) * 5);
        ++lines;
        if (brk == std::string::npos)
            break;
        pos = brk + 2;
    }
    return {widest, lines * 10};
}

ResponseGraphParams params(const std::string &file)
{
    ResponseGraphParams p;
    p.targetHost = "192.0.2.1";
    p.sourceHost = "here";
    p.seriesNames = "TCP:80";
    p.alpha = 0x1C8;
    p.recordToFile = 1;
    p.fileName = file;
    return p;
}

TEST(GraphSession, PlacedRecordedRepaintedAndTicked)
{
    TempDir dir;
    FakeClock clock;
    FakePrompter prompter;
    const GRect client{0, 0, 92, 92};
    ResponseGraphSession s(params(dir / "sample.csv"), clock);

    // At the text block's place and size, 100 taller for the graph; only
    // the low byte of alpha counts.
    const GRect frame = s.initialFrame(client, fakeMeasure);
    const GRect block = s.model().textBlock();
    EXPECT_EQ(frame, (GRect{4, 4, block.right, block.bottom + 100}));
    EXPECT_EQ(s.opacity(), 0xC8);

    s.startRecording(prompter);
    EXPECT_TRUE(s.recording());
    clock.advanceMs(3000);
    const GRect sized{0, 0, 300, 200};
    // A sample repaints the client area below the text only.
    EXPECT_EQ(s.addSample(15, sized), (GRect{0, block.height(), 300, 200}));
    s.addSample(0, sized);
    s.stopRecording();
    EXPECT_FALSE(s.recording());
    const std::string expected = toCharacterSet(
        "ターゲット: 192.0.2.1\r\n送信元: here\r\nサンプリング日時, TCP:80\r\n" +
            SampleRecorder::recordLine({clock.wallSeconds, {15}}) + "\r\n" +
            SampleRecorder::recordLine({clock.wallSeconds, {0}}) + "\r\n",
        localeCharacterSet());
    EXPECT_EQ(test::readFile(dir / "sample.csv"), expected);

    // The elapsed time counts from timer 1; a tick remeasures the text block
    // and repaints it down to the painted text's bottom, which the series
    // line on a line of its own puts a line below the block.
    const PaintPlan plan = s.planPaint(sized, fakeMeasure);
    s.startClock();
    clock.advanceMs(61000);
    const GRect text = s.tick(sized, fakeMeasure);
    EXPECT_EQ(s.model().elapsedText(), "0日 00時間 01分 01秒");
    const GRect measured = s.model().textBlock();
    EXPECT_EQ(plan.textBottom, measured.bottom + 10);
    EXPECT_EQ(text, (GRect{measured.left, measured.top, measured.right, plan.textBottom}));
    EXPECT_NE(s.model().startLine().find("サンプル数: 2"), std::string::npos);
    EXPECT_TRUE(prompter.messages.empty());

    // Without the graph no reserve. A file that cannot be opened is said
    // once, and the window goes on without it.
    ResponseGraphParams p = params(dir / "missing/sample.csv");
    p.showGraph = 0;
    ResponseGraphSession bad(p, clock);
    const GRect textOnly = bad.initialFrame(client, fakeMeasure);
    EXPECT_EQ(textOnly.height(), bad.model().textBlock().height());
    bad.startRecording(prompter);
    EXPECT_FALSE(bad.recording());
    ASSERT_EQ(prompter.texts(), std::vector<std::string>{"ファイル オープン エラー!"});
    EXPECT_EQ(prompter.messages[0].style, mb::Ok);
    bad.addSample(3, sized);
    EXPECT_EQ(bad.model().sampleCount(), 1u);
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
}

} // namespace
} // namespace vigilon
