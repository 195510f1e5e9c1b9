// SPDX-License-Identifier: MIT
// Alert commands started under Wine: the command line after "%TARGET%" with
// its trailing blank, the command's folder as the current directory, the
// failure message for a program that cannot be started and for a document
// the shell cannot open; a batch file gets a plain target and is never
// started with one its command interpreter would act on; no command runs
// while users other than the administrators may change the configuration.
#include "app/AlertAction.h"
#include "base/PollEventLoop.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "app/platform/FileSystem.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakePrompter.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/RunAndWait.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <windows.h>

namespace vigilon {
namespace {

namespace fs = std::filesystem;

std::string failure(const std::string &shown)
{
    return formatText(loadString(sid::CommandFailed), {shown});
}

class AlertProgram : public ::testing::Test {
protected:
    AlertProgram()
    {
        // Writes its current folder and command line into seen.txt beside it.
        fs::copy_file(RECORDER_BINARY, recorder());
        // Writes its first argument into seen.txt beside it.
        test::writeFile(batch(), "@echo off\r\necho %~1>\"%~dp0seen.txt\"\r\n");
    }
    std::string recorder() const { return dir_ / "recorder.exe"; }
    std::string batch() const { return dir_ / "alert.bat"; }

    // The lines of seen.txt once an alert has written it (at most 20 s).
    std::vector<std::string> seen()
    {
        const std::string file = dir_ / "seen.txt";
        test::waitUntil([&] { return !test::readFile(file).empty(); }, 20000);
        std::vector<std::string> lines = test::readLines(file);
        for (std::string &line : lines) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
        }
        std::error_code ignored;
        fs::remove(file, ignored);
        return lines;
    }

    test::TempDir dir_;
    std::string target_ = "10.0.0.7";
    PollEventLoop loop_;
    test::FakePrompter prompts_;
    CommandRunner runner_{prompts_, platform::makeSystemLauncher(loop_), [this] { return target_; }};
};

// The high priority class asked for at creation is not looked at: Wine
// starts every process at normal priority whatever the creation flags say.
TEST_F(AlertProgram, StartsWithTheTargetATrailingBlankInItsFolder)
{
    const fs::path before = fs::current_path();
    EXPECT_EQ(runner_.runCommand(recorder() + " %TARGET%"), 0);
    EXPECT_EQ(seen(), (std::vector<std::string>{dir_.path(), recorder() + " 10.0.0.7 "}));
    EXPECT_EQ(fs::current_path(), before) << "our own folder is put back";

    EXPECT_EQ(runner_.runCommand(batch() + " %TARGET%"), 0);
    EXPECT_EQ(seen().at(0), "10.0.0.7");
    EXPECT_TRUE(prompts_.messages.empty());
}

// The failure reaches the program in its environment: ours, with the
// variables given set over ours of the same names.
TEST_F(AlertProgram, TheFailureIsInTheEnvironmentBesideOurOwn)
{
    test::writeFile(dir_ / "env.bat", "@echo off\r\necho %VIGILON_TARGET%,%VIGILON_ENTRY%,%VIGILON_REASON%,"
                                      "%VIGILON_ERRORS%,%VIGILON_OWN%>\"%~dp0seen.txt\"\r\n");
    _putenv_s("VIGILON_OWN", "kept");
    _putenv_s("VIGILON_ERRORS", "ours");
    EXPECT_EQ(runner_.runCommand(dir_ / "env.bat", {{"VIGILON_TARGET", "10.0.0.7"}, {"VIGILON_ENTRY", "TCP:80"},
                                                    {"VIGILON_REASON", "refused"}, {"VIGILON_ERRORS", "3"}}),
              0);
    EXPECT_EQ(seen().at(0), "10.0.0.7,TCP:80,refused,3,kept");
}

TEST_F(AlertProgram, FailuresShowTheMessageWithTheCommand)
{
    target_ = "host1";
    EXPECT_EQ(runner_.runCommand(dir_ / "missing.exe %TARGET%"), 1);
    // Not a program: handed to the shell as given, "%TARGET%" and all.
    const std::string document = dir_ / "none/down-%TARGET%.wav";
    EXPECT_EQ(runner_.runCommand(document), 1);
    EXPECT_EQ(prompts_.texts(), (std::vector<std::string>{failure(dir_ / "missing.exe host1"), failure(document)}));
}

TEST_F(AlertProgram, BatchFileIsNotStartedForATargetTheInterpreterWouldActOn)
{
    for (const std::string target : {"a&echo x>pwned.txt", "a|b", "a\"&\"b", "%PATH%", "(a)"}) {
        target_ = target;
        prompts_.messages.clear();
        EXPECT_EQ(runner_.runCommand(batch() + " %TARGET%"), 1) << target;
        EXPECT_EQ(prompts_.texts(), std::vector<std::string>{failure(batch() + " " + target)});
    }
    // A command without the target is started, whatever the target holds.
    target_ = "a&b";
    EXPECT_EQ(runner_.runCommand(batch() + " fixed"), 0);
    EXPECT_EQ(seen().at(0), "fixed");
    EXPECT_FALSE(test::exists(dir_ / "pwned.txt"));
    EXPECT_FALSE(test::exists("pwned.txt"));
}

// Alerts beyond the sixteen that run at once wait, and start as those end:
// the system tells no loop of a process's end, so the launcher looks.
TEST_F(AlertProgram, AlertsBeyondSixteenWaitAndStartAsRunningOnesEnd)
{
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(runner_.runCommand(recorder() + " hold " + std::to_string(i)), 0) << i;
    EXPECT_EQ(runner_.launcher().runningCount(), 16u);
    EXPECT_EQ(runner_.waitingCount(), 4u);
    test::writeFile(dir_ / "go", "");
    const auto ran = [this] {
        int count = 0;
        for (int i = 0; i < 20; ++i)
            count += test::exists(dir_ / ("ran-" + std::to_string(i)));
        return count;
    };
    EXPECT_TRUE(loop_.runUntil([&] { return ran() == 20 && runner_.launcher().runningCount() == 0; }, 30000))
        << ran() << " ran";
    EXPECT_EQ(runner_.waitingCount(), 0u);
    EXPECT_TRUE(prompts_.messages.empty());
}

// Runs Vigilsvc.exe with a keyword and waits for it; its exit status.
DWORD vigilsvc(const std::string &keyword)
{
    const std::string commandLine = "\"" + std::string(VIGILSVC_BINARY) + "\" " + keyword;
    return test::runAndWait(std::wstring(commandLine.begin(), commandLine.end()));
}

// Whoever runs Vigilon would run a command that another user wrote: after
// "Vigilsvc -grant" no program is started nor document opened, the notice
// says why, and after "-revoke" commands run again.
TEST_F(AlertProgram, NothingRunsWhileOtherUsersMayChangeTheCommands)
{
    ASSERT_EQ(vigilsvc("-grant"), 0u);
    const std::string refused = formatText(loadString(sid::CommandRefused),
                                           {"HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon", recorder() + " 10.0.0.7"});
    EXPECT_EQ(runner_.runCommand(recorder() + " %TARGET%"), 1);
    EXPECT_EQ(runner_.runCommand(dir_ / "page.htm"), 1);
    ASSERT_EQ(prompts_.texts().size(), 2u);
    EXPECT_EQ(prompts_.texts().front(), refused);
    EXPECT_NE(prompts_.texts().back().find(dir_ / "page.htm"), std::string::npos);
    EXPECT_FALSE(test::exists(dir_ / "seen.txt"));

    ASSERT_EQ(vigilsvc("-revoke"), 0u);
    prompts_.messages.clear();
    EXPECT_EQ(runner_.runCommand(recorder() + " %TARGET%"), 0);
    EXPECT_EQ(seen().at(1), recorder() + " 10.0.0.7 ");
    EXPECT_TRUE(prompts_.messages.empty());
}

// Help looks for its page beside the program, wherever it was started from.
TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable)
{
    EXPECT_TRUE(platform::isFile(platform::programDirectory() + "\\win_alert_program_tests.exe"))
        << platform::programDirectory();
}

} // namespace
} // namespace vigilon
