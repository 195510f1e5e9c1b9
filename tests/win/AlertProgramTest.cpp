// SPDX-License-Identifier: MIT
// Alert commands started under Wine: the command line after "%TARGET%" with
// its trailing blank, the command's folder as the current directory, and
// the failure message for a program that cannot be started and for a
// document the shell cannot open.
#include "app/AlertAction.h"
#include "tests/support/FakePrompter.h"
#include "app/base/PollEventLoop.h"
#include "app/base/StringTable.h"
#include "app/base/TextFormat.h"

#include <windows.h>

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

struct Seen {
    std::string directory;
    std::string commandLine;
};

class AlertProgram : public ::testing::Test {
protected:
    AlertProgram()
    {
        dir_ = fs::temp_directory_path() / ("vigilon-alert-" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(dir_);
        fs::copy_file(RECORDER_BINARY, dir_ / "recorder.exe", fs::copy_options::overwrite_existing);
        runner_ = std::make_unique<CommandRunner>(prompts_, platform::makeSystemLauncher(loop_),
                                                  [this] { return target_; });
    }
    ~AlertProgram() override
    {
        runner_.reset();
        std::error_code error;
        fs::remove_all(dir_, error);
    }

    // What the recorder wrote, waited for at most 20 s.
    bool seen(Seen &out)
    {
        const fs::path file = dir_ / "seen.txt";
        for (int waited = 0; waited < 20000; waited += 50) {
            std::error_code error;
            if (fs::exists(file, error)) {
                std::ifstream in(file, std::ios::binary);
                std::getline(in, out.directory);
                std::getline(in, out.commandLine);
                fs::remove(file, error);
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    std::string recorder() const { return (dir_ / "recorder.exe").string(); }

    fs::path dir_;
    std::string target_;
    PollEventLoop loop_;
    Prompts prompts_;
    std::unique_ptr<CommandRunner> runner_;
};

// The high priority class asked for at creation is not looked at: Wine
// starts every process at normal priority whatever the creation flags say.
TEST_F(AlertProgram, StartsWithTheTargetATrailingBlankInItsFolder)
{
    target_ = "10.0.0.7";
    const std::string before = fs::current_path().string();
    EXPECT_EQ(runner_->runCommand(recorder() + " %TARGET%"), 0);
    Seen s;
    ASSERT_TRUE(seen(s));
    EXPECT_EQ(s.commandLine, recorder() + " 10.0.0.7 ");
    EXPECT_EQ(fs::path(s.directory), dir_);
    EXPECT_EQ(fs::current_path().string(), before) << "our own directory is put back";
    EXPECT_TRUE(prompts_.texts().empty());
}

TEST_F(AlertProgram, ExtensionIgnoresCaseButTheTargetMarkDoesNot)
{
    target_ = "pc1";
    std::string upper = recorder();
    for (char &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(runner_->runCommand(upper + " %target% %TARGET%"), 0);
    Seen s;
    ASSERT_TRUE(seen(s));
    EXPECT_EQ(s.commandLine, upper + " %target% pc1 ");
}

TEST_F(AlertProgram, FailuresShowTheMessageWithTheCommand)
{
    target_ = "host1";
    const std::string missing = (dir_ / "missing.exe").string() + " %TARGET%";
    EXPECT_EQ(runner_->runCommand(missing), 1);
    ASSERT_EQ(prompts_.texts().size(), 1u);
    EXPECT_EQ(prompts_.texts()[0],
              formatText(loadString(sid::CommandFailed), {(dir_ / "missing.exe").string() + " host1"}));

    // Not a program: handed to the shell as given, "%TARGET%" and all.
    prompts_.messages.clear();
    const std::string document = (dir_ / "none" / "down-%TARGET%.wav").string();
    EXPECT_EQ(runner_->runCommand(document), 1);
    ASSERT_EQ(prompts_.texts().size(), 1u);
    EXPECT_EQ(prompts_.texts()[0], formatText(loadString(sid::CommandFailed), {document}));
}

} // namespace
} // namespace vigilon
