// SPDX-License-Identifier: MIT
// Alert commands on Windows (run under Wine): a batch file never receives a
// target that its command interpreter would act on.
#include "app/AlertAction.h"
#include "tests/support/FakePrompter.h"
#include "app/base/PollEventLoop.h"
#include "app/base/StringTable.h"
#include "app/base/TextFormat.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace vigilon {
namespace {

namespace fs = std::filesystem;

using Prompts = test::FakePrompter;

std::string readAll(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Waits up to timeoutMs for a file to exist with some content.
bool waitForFile(const fs::path &path, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 50) {
        std::error_code error;
        if (fs::exists(path, error) && fs::file_size(path, error) > 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

class WinLaunch : public ::testing::Test {
protected:
    WinLaunch()
    {
        dir_ = fs::temp_directory_path() /
               ("vigilon-alerts-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
        fs::create_directories(dir_);
        // Records its first argument next to itself.
        std::ofstream(dir_ / "alert.bat") << "@echo off\r\necho %~1>\"%~dp0seen.txt\"\r\n";
        runner_ = std::make_unique<CommandRunner>(prompts_, platform::makeSystemLauncher(loop_),
                                                  [this] { return target_; });
    }
    ~WinLaunch() override
    {
        runner_.reset();
        std::error_code error;
        fs::remove_all(dir_, error);
    }
    std::string command() const { return (dir_ / "alert.bat").string() + " %TARGET%"; }

    fs::path dir_;
    std::string target_;
    PollEventLoop loop_;
    Prompts prompts_;
    std::unique_ptr<CommandRunner> runner_;
};

TEST_F(WinLaunch, BatchFileGetsAPlainTarget)
{
    target_ = "10.0.0.7";
    EXPECT_EQ(runner_->runCommand(command()), 0);
    ASSERT_TRUE(waitForFile(dir_ / "seen.txt", 20000));
    EXPECT_EQ(readAll(dir_ / "seen.txt").substr(0, 8), "10.0.0.7");
    EXPECT_TRUE(prompts_.texts().empty());
}

TEST_F(WinLaunch, BatchFileIsNotStartedForATargetTheInterpreterWouldActOn)
{
    for (const std::string target : {"a&echo x>pwned.txt", "a|b", "a\"&\"b", "%PATH%", "(a)"}) {
        target_ = target;
        prompts_.messages.clear();
        EXPECT_EQ(runner_->runCommand(command()), 1) << target;
        ASSERT_EQ(prompts_.texts().size(), 1u) << target;
        const std::string shown = (dir_ / "alert.bat").string() + " " + target;
        EXPECT_EQ(prompts_.texts()[0], formatText(loadString(sid::CommandFailed), {shown}));
    }
    // A program that does not go through the interpreter, or a command
    // without the target, is started as before.
    target_ = "a&b";
    EXPECT_EQ(runner_->runCommand((dir_ / "alert.bat").string() + " fixed"), 0);
    ASSERT_TRUE(waitForFile(dir_ / "seen.txt", 20000));
    EXPECT_EQ(readAll(dir_ / "seen.txt").substr(0, 5), "fixed");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(fs::exists(dir_ / "pwned.txt"));
    EXPECT_FALSE(fs::exists("pwned.txt"));
}

} // namespace
} // namespace vigilon
