// SPDX-License-Identifier: MIT
// Lines on standard error: names and commands cannot break them or reach
// the terminal as control sequences.
#include "app/AlertAction.h"
#include "app/platform/Launcher.h"
#include "base/TextFormat.h"
#include "tests/support/FrameFixture.h"

#include <gtest/gtest.h>

namespace vigilon::test {
namespace {

TEST(LogLine, controlCharactersBecomeVisibleEscapesAndAllElseStays)
{
    EXPECT_EQ(escapeControls("a\tb\nc\rd\x1b[2J\x7f\x01"), "a\\tb\\nc\\rd\\x1b[2J\\x7f\\x01");
    // UTF-8 stays, a C1 control in it does not (U+009B starts a sequence).
    EXPECT_EQ(escapeControls("ポート\xc2\x9b" "1m\xc2\xa0\\"), "ポート\\u009b1m\xc2\xa0\\");
    EXPECT_EQ(escapeControls(std::string("x\0y", 3)), "x\\x00y");
}

// A launcher that starts nothing.
struct RefusingLauncher : platform::Launcher {
    platform::LaunchOutcome startProgram(const platform::ProgramStart &) override { return {}; }
    platform::LaunchOutcome openDocument(const std::string &, std::function<void()>,
                                         const platform::Environment &) override
    {
        return {};
    }
    bool namesProgram(const std::string &) const override { return true; }
    std::size_t runningCount() const override { return 0; }
    void setChildEnded(std::function<void()>) override {}
};

// The check and status lines of a round with a name that tries to forge
// lines, and the messages about an alert command that does.
class LogLines : public FrameFixture {
protected:
    // Standard error of a run: a failure declared at once, then, on a
    // one-second interval, a check that times out after the newer one
    // succeeded.
    std::string run(bool verboseMode)
    {
        verbose = verboseMode;
        makeFrame({{80, GenericTcp, 1, 0, "", "web\tOk\nforged\x1b[2Jサーバ"}}, 1, 0);
        testing::internal::CaptureStderr();
        EXPECT_TRUE(frame->toggleMonitoring(true));
        probes.finishAll(false);
        loop.advance(1000);
        loop.advance(1000);
        EXPECT_EQ(probes.pending.size(), 2u);
        probes.pending.back()->finish(true, 7);
        probes.pending.front()->finish(false); // the older check's timeout says nothing new
        makeCommandRunner(prompter, std::make_unique<RefusingLauncher>(), [] { return "h"; })("/x\nprog\x1b]0;x\a");
        return testing::internal::GetCapturedStderr();
    }
};

TEST_F(LogLines, oneKindOfLinePerModeKeepsNamesAndCommandsOnTheirLine)
{
    for (const bool verboseMode : {true, false}) {
        SCOPED_TRACE(verboseMode ? "--verbose" : "status lines");
        frame.reset();
        const std::string text = run(verboseMode);
        EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
        EXPECT_EQ(text.find('\a'), std::string::npos) << text;
        const std::string checkLine = "\tweb\\tOk\\nforged\\x1b[2Jサーバ\tFailed\t";
        const std::string statusLine = " web\\tOk\\nforged\\x1b[2Jサーバ: Failed, errors 1";
        EXPECT_EQ(text.find(checkLine) != std::string::npos, verboseMode) << text;
        EXPECT_EQ(text.find(statusLine) != std::string::npos, !verboseMode) << text;
        // The late timeout after the recovery is no outcome of the entry.
        const std::size_t recovered = text.find(verboseMode ? "\tOk\t7.000\n" : ": Ok, errors 1,");
        ASSERT_NE(recovered, std::string::npos) << text;
        EXPECT_EQ(text.find("Failed", recovered), std::string::npos) << text;
        // No line begins with what followed a line break in the name or command.
        EXPECT_EQ(text.find("\nforged"), std::string::npos) << text;
        EXPECT_EQ(text.find("\nprog"), std::string::npos) << text;
        EXPECT_NE(text.find("/x\\nprog\\x1b]0;x\\x07"), std::string::npos) << text;
    }
}

} // namespace
} // namespace vigilon::test
