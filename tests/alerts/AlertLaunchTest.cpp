// SPDX-License-Identifier: MIT
// Alert commands started as real processes in real directories, and the
// help command: where the page is found and how it is opened.
#include "app/AlertAction.h"
#include "app/Help.h"
#include "base/PollEventLoop.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "app/platform/FileSystem.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakePrompter.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <map>

#include <sys/resource.h>

namespace vigilon {
namespace {

using test::TempDir;

// What one run of the recording script saw: its arguments, and its folder
// ("cwd") and process facts by name.
struct Record {
    std::vector<std::string> args;
    std::map<std::string, std::string> facts;
};

// Appends one record per run to $ALERT_LOG, in a single write so that
// children running at once do not mix their lines.
constexpr const char *kRecorder = R"(fd200=closed
[ -e /proc/$$/fd/200 ] && fd200=open
read -r st < /proc/$$/stat
out="cwd=$(pwd -P)
"
for a; do out="${out}arg=[$a]
"; done
set -- $st
out="${out}fd200=$fd200
pid=$1
sid=$6
nice=${19}
sigign=$(sed -n 's/^SigIgn:[[:space:]]*//p' /proc/$$/status)
end
"
printf '%s' "$out" >> "$ALERT_LOG"
)";

std::vector<Record> parseRecords(const std::string &path)
{
    std::vector<Record> records(1);
    for (const std::string &line : test::readLines(path)) {
        const std::size_t eq = line.find('=');
        const std::string key = line.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
        if (line == "end")
            records.emplace_back();
        else if (key == "arg" && value.size() >= 2)
            records.back().args.push_back(value.substr(1, value.size() - 2));
        else
            records.back().facts[key] = value;
    }
    records.pop_back(); // the one after the last "end"
    return records;
}

std::string failureText(const std::string &command)
{
    return formatText(loadString(sid::CommandFailed), {command});
}

class AlertLaunchTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(dir_ / "tools");
        std::filesystem::create_directories(dir_ / "here/bin");
        script(dir_ / "tools/alert.bat");
        script(dir_ / "opener");
        options_.opener = dir_ / "opener";
        options_.pollForExit = GetParam();
        // runUntil looks again after each dispatch: a steady tick lets it see
        // files the children write.
        loop_.setTimer(this, 1, 20, [] {});
    }
    // An executable shell script, the recording one by default.
    static void script(const std::string &path, const std::string &body = kRecorder)
    {
        ASSERT_TRUE(test::writeFile(path, "#!/bin/sh\n" + body, true)) << path;
    }

    CommandRunner &runner()
    {
        if (!runner_)
            runner_ = std::make_unique<CommandRunner>(prompter_, platform::makeSystemLauncher(loop_, options_),
                                                      [this] { return target_; });
        return *runner_;
    }

    std::vector<Record> waitForRecords(std::size_t count)
    {
        std::vector<Record> records;
        loop_.runUntil(
            [&] {
                records = parseRecords(log_);
                return records.size() >= count;
            },
            10000);
        return records;
    }

    // Runs the loop until every child of the runner has been reaped.
    bool waitReaped()
    {
        return loop_.runUntil([this] { return runner().launcher().runningCount() == 0; }, 10000);
    }

    // One command run to its end; the record of its single run.
    Record runOnce(const std::string &command)
    {
        EXPECT_EQ(runner().runCommand(command), 0) << command;
        const std::vector<Record> records = waitForRecords(1);
        EXPECT_EQ(records.size(), 1u) << command;
        EXPECT_TRUE(waitReaped());
        std::remove(log_.c_str());
        return records.empty() ? Record() : records.front();
    }

    TempDir dir_;
    std::string log_ = dir_ / "alert.log";
    test::ScopedEnv logged_{{"ALERT_LOG", log_}};
    std::string target_ = "10.0.0.7";
    PollEventLoop loop_;
    test::FakePrompter prompter_;
    platform::LauncherOptions options_;
    std::unique_ptr<CommandRunner> runner_;
};

struct LaunchCase {
    std::string command;
    std::string target;
    std::string cwd; // empty: not checked
    std::vector<std::string> args;
};

// Where each kind of command starts and what it is given, with the target
// filled in; documents and other commands reach the opener unchanged.
TEST_P(AlertLaunchTest, CommandsStartWhereTheySayWithTheTargetFilledIn)
{
    test::ChangeDir here(dir_ / "here");
    test::ScopedEnv path{{"PATH", dir_ / "tools:" + std::getenv("PATH")}};
    script(dir_ / "here/pc1.exe");
    script(dir_ / "here/bin/page.cmd");
    script(dir_ / "tools/notify");
    std::filesystem::create_directories(dir_ / "here/notify x");
    test::writeFile(dir_ / "tools/readme", "text\n");
    const std::string tools = dir_ / "tools";
    const std::string ours = dir_ / "here";
    const std::vector<LaunchCase> cases = {
        // A program named by the target alone, found in our own folder,
        // starts there.
        {"%TARGET%.exe", "pc1", ours, {}},
        // The last separator lies in an argument: that "folder" cannot be
        // entered, and the program starts in ours.
        {tools + "/alert.bat C:\\logs\\out", "h", ours, {"C:\\logs\\out"}},
        // A relative program is found from our folder, not from the one it
        // starts in.
        {"bin/page.cmd x", "h", ours + "/bin", {"x"}},
        // Executable files without an extension are programs too, also when
        // found on PATH; a program starts in its own folder.
        {tools + "/notify %TARGET% \"two words\"", "10.0.0.7", tools, {"10.0.0.7", "two words"}},
        {"notify --host %TARGET%", "10.0.0.7", "", {"--host", "10.0.0.7"}},
        // The folder is the command's own: a target cannot choose one.
        {"notify %TARGET%", "x/y", ours, {"x/y"}},
        // A file that cannot be run is a document for the opener.
        {tools + "/readme %TARGET%", "h", "", {tools + "/readme %TARGET%"}},
        {"http://%TARGET%/status?a=1&b=2", "h", "", {"http://%TARGET%/status?a=1&b=2"}},
        {"alarm.wav", "h", "", {"alarm.wav"}},
        {"mailto:ops@example.org", "h", "", {"mailto:ops@example.org"}},
    };
    for (const LaunchCase &c : cases) {
        target_ = c.target;
        Record r = runOnce(c.command);
        if (!c.cwd.empty()) {
            EXPECT_EQ(r.facts["cwd"], c.cwd) << c.command;
        }
        EXPECT_EQ(r.args, c.args) << c.command;
    }
    EXPECT_TRUE(prompter_.messages.empty());

    // An empty command does nothing at all.
    EXPECT_EQ(runner().runCommand(""), 0);
    loop_.runFor(100);
    EXPECT_FALSE(test::exists(log_));
    EXPECT_EQ(runner().launcher().runningCount(), 0u);
    EXPECT_TRUE(prompter_.messages.empty());
}

TEST_P(AlertLaunchTest, FailuresShowTheMessageWithTheRightCommand)
{
    // A program that cannot be started (the command after replacement), a
    // file with the extension that is no program, and a document the opener
    // says it could not open (the command as given, once the opener ended).
    test::writeFile(dir_ / "tools/plain.bat", "echo\n");
    script(dir_ / "opener", "exit 3\n");
    EXPECT_EQ(runner().runCommand(dir_ / "tools/missing.exe %TARGET%"), 1);
    EXPECT_EQ(runner().runCommand(dir_ / "tools/plain.bat"), 1);
    EXPECT_EQ(runner().runCommand("http://%TARGET%/"), 0);
    EXPECT_TRUE(loop_.runUntil([this] { return prompter_.messages.size() == 3; }, 10000));
    EXPECT_EQ(prompter_.texts(), (std::vector<std::string>{failureText(dir_ / "tools/missing.exe 10.0.0.7"),
                                                           failureText(dir_ / "tools/plain.bat"),
                                                           failureText("http://%TARGET%/")}));
    EXPECT_EQ(prompter_.messages[0].caption, "");
    EXPECT_EQ(prompter_.messages[0].style, mb::Ok);
    EXPECT_TRUE(waitReaped());

    // Without an opener a document fails at once.
    options_.opener = dir_ / "no-such-opener";
    runner_.reset();
    EXPECT_EQ(runner().runCommand("http://%TARGET%/"), 1);
    EXPECT_EQ(prompter_.texts().size(), 4u);
}

TEST_P(AlertLaunchTest, HostileTargetsArriveAsOneArgumentAndRunNothing)
{
    test::ChangeDir here(dir_ / "here");
    for (const std::string target : {"a b", "a\";touch x;\"", "$(id)", "`id`", "-x", "a;touch x", "x > y", "\"\""}) {
        target_ = target;
        // The quoted form is read the same way (CommandTextTest.TargetIsReplacedInsideArgumentsOnly).
        const Record r = runOnce(dir_ / "tools/alert.bat %TARGET%");
        EXPECT_EQ(r.args, std::vector<std::string>{target}) << target;
    }
    for (const std::string &dir : {dir_ / "here", dir_ / "tools", dir_.path()}) {
        EXPECT_FALSE(test::exists(dir + "/x")) << dir;
        EXPECT_FALSE(test::exists(dir + "/y")) << dir;
    }
    EXPECT_TRUE(prompter_.messages.empty());
}

TEST_P(AlertLaunchTest, ChildrenKeepNothingOfOurs)
{
    // A descriptor without close-on-exec, an ignored SIGPIPE.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    ASSERT_EQ(dup2(pipeFds[0], 200), 200);
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    errno = 0;
    const int ourNice = getpriority(PRIO_PROCESS, 0);

    const Record r = runOnce(dir_ / "tools/alert.bat");

    std::signal(SIGPIPE, previous);
    close(200);
    close(pipeFds[0]);
    close(pipeFds[1]);

    EXPECT_EQ(r.facts.at("fd200"), "closed");
    // A session of its own: it leads it.
    EXPECT_EQ(r.facts.at("sid"), r.facts.at("pid"));
    const unsigned long ignored = std::stoul(r.facts.at("sigign"), nullptr, 16);
    EXPECT_EQ(ignored & (1ul << (SIGPIPE - 1)), 0ul) << r.facts.at("sigign");
    const int childNice = std::stoi(r.facts.at("nice"));
    if (geteuid() == 0)
        EXPECT_EQ(childNice, std::max(-20, ourNice - 5));
    else
        EXPECT_LE(childNice, ourNice);
    // Ours is back where it was.
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), ourNice);
}

// The system's launcher, with the order of what it started and the most
// children it had running at once.
class CountingLauncher final : public platform::Launcher {
public:
    explicit CountingLauncher(std::unique_ptr<platform::Launcher> real)
        : real_(std::move(real))
    {
    }
    std::vector<std::string> lastArguments; // of each program started, in order
    std::size_t mostRunning = 0;

    platform::LaunchOutcome startProgram(const platform::ProgramStart &start) override
    {
        const platform::LaunchOutcome outcome = real_->startProgram(start);
        if (outcome.started()) {
            lastArguments.push_back(start.arguments.back());
            mostRunning = std::max(mostRunning, real_->runningCount());
        }
        return outcome;
    }
    platform::LaunchOutcome openDocument(const std::string &target, std::function<void()> onLateFailure,
                                         const platform::Environment &environment) override
    {
        return real_->openDocument(target, std::move(onLateFailure), environment);
    }
    bool namesProgram(const std::string &word) const override { return real_->namesProgram(word); }
    std::size_t runningCount() const override { return real_->runningCount(); }
    void setChildEnded(std::function<void()> onEnded) override { real_->setChildEnded(std::move(onEnded)); }

private:
    std::unique_ptr<platform::Launcher> real_;
};

// Alerts beyond what may run at once wait, and each starts in order, once,
// as running ones end; a full queue refuses with one message. Children are
// reaped, not even a zombie left, and only ours: a child of someone else in
// this process ends meanwhile and keeps its status.
TEST_P(AlertLaunchTest, AlertsBeyondSixteenWaitAndAllRunInOrderAndOnlyOursAreReaped)
{
    test::ChildProcess other({"true"});
    // Each run says when it begins and ends, in single writes.
    script(dir_ / "tools/slow.bat", "echo \"start $1\" >> \"$ALERT_LOG\"\nsleep 1\necho \"end $1\" >> \"$ALERT_LOG\"\n");
    auto counting = std::make_unique<CountingLauncher>(platform::makeSystemLauncher(loop_, options_));
    CountingLauncher &launcher = *counting;
    auto runner = std::make_unique<CommandRunner>(prompter_, std::move(counting), [this] { return target_; });

    testing::internal::CaptureStderr();
    std::vector<std::string> expected;
    for (int i = 0; i < 40; ++i) {
        expected.push_back(std::to_string(i) + "-" + target_);
        ASSERT_EQ(runner->runCommand(dir_ / "tools/slow.bat " + std::to_string(i) + "-%TARGET%"), 0) << i;
    }
    EXPECT_EQ(launcher.runningCount(), 16u);
    EXPECT_EQ(runner->waitingCount(), 24u);
    std::size_t ends = 0;
    const bool allEnded = loop_.runUntil(
        [&] {
            const std::vector<std::string> lines = test::readLines(log_);
            ends = static_cast<std::size_t>(std::count_if(
                lines.begin(), lines.end(), [](const std::string &l) { return l.rfind("end ", 0) == 0; }));
            return ends == 40 && launcher.runningCount() == 0;
        },
        60000);
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(allEnded) << ends << " of 40 ended";
    // Each started once, in order, never more than sixteen at a time.
    EXPECT_EQ(launcher.lastArguments, expected);
    EXPECT_EQ(launcher.mostRunning, 16u);
    EXPECT_EQ(runner->waitingCount(), 0u);
    EXPECT_NE(said.find("16 alert programs still run; alerts wait and start in order as they end\n"),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("not started"), std::string::npos) << said;
    EXPECT_TRUE(prompter_.messages.empty());
    runner.reset();

    // A queue of four: sixteen hold on, four wait, the next two (a program
    // and a document) are not run, with one message for both.
    const std::string holdLog = dir_ / "hold.log";
    script(dir_ / "tools/hold.bat", "echo \"$$\" >> \"" + holdLog + "\"\nexec sleep 60\n");
    std::remove(log_.c_str());
    counting = std::make_unique<CountingLauncher>(platform::makeSystemLauncher(loop_, options_));
    CountingLauncher &second = *counting;
    runner = std::make_unique<CommandRunner>(prompter_, std::move(counting), [this] { return target_; }, 4);
    for (int i = 0; i < 16; ++i)
        ASSERT_EQ(runner->runCommand(dir_ / "tools/hold.bat %TARGET%"), 0) << i;
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(runner->runCommand(dir_ / "tools/alert.bat waiting" + std::to_string(i)), 0) << i;
    testing::internal::CaptureStderr();
    EXPECT_EQ(runner->runCommand(dir_ / "tools/alert.bat %TARGET%"), 1);
    EXPECT_EQ(runner->runCommand("http://%TARGET%/"), 1);
    std::vector<std::string> pids;
    loop_.runUntil([&] { return (pids = test::readLines(holdLog)).size() == 16; }, 10000);
    ASSERT_EQ(pids.size(), 16u);
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text,
              formatText(loadString(sid::AlertQueueFull), {"4", dir_ / "tools/alert.bat 10.0.0.7"}));

    // One ends: the first that waits starts, and as each of those ends, the
    // next.
    kill(std::stoi(pids[0]), SIGKILL);
    const std::vector<Record> records = waitForRecords(4);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(runner->waitingCount(), 0u);
    for (const std::string &pid : pids)
        kill(std::stoi(pid), SIGKILL);
    EXPECT_TRUE(loop_.runUntil([&] { return second.runningCount() == 0; }, 10000));
    const std::string afterFull = testing::internal::GetCapturedStderr();
    EXPECT_EQ(second.lastArguments.size(), 20u);
    EXPECT_EQ(std::vector<std::string>(second.lastArguments.begin() + 16, second.lastArguments.end()),
              (std::vector<std::string>{"waiting0", "waiting1", "waiting2", "waiting3"}));
    EXPECT_NE(afterFull.find("alert not run: 4 alerts already wait: " + dir_ / "tools/alert.bat 10.0.0.7\n"),
              std::string::npos)
        << afterFull;
    EXPECT_NE(afterFull.find("2 alerts were not run while 4 waited"), std::string::npos) << afterFull;
    EXPECT_EQ(prompter_.messages.size(), 1u);
    for (const std::string &pid : pids)
        EXPECT_FALSE(test::exists("/proc/" + pid)) << pid << " is left, if only as a zombie";
    EXPECT_EQ(other.waitForExit(5000), 0) << "the other child's status was taken";
}

TEST(HelpTest, PageIsFoundHereThenBesideTheProgramThenInTheDataDirectories)
{
    TempDir here, program, data1, data2;
    EXPECT_EQ(findHelpPage({here.path(), program.path()}, {data1.path(), data2.path()}), "");

    std::filesystem::create_directories(data2 / "vigilon/docs_ja");
    test::writeFile(data2 / "vigilon/docs_ja/read1st.htm", "<html></html>");
    EXPECT_EQ(findHelpPage({here.path(), ""}, {"", data1.path(), data2.path()}), data2 / "vigilon/docs_ja/read1st.htm");

    // The build tree: the page beside the program, whatever the current folder.
    std::filesystem::create_directories(program / "docs_ja");
    test::writeFile(program / "docs_ja/read1st.htm", "<html></html>");
    EXPECT_EQ(findHelpPage({here.path(), program.path()}, {data2.path()}), program / "docs_ja/read1st.htm");

    std::filesystem::create_directories(here / "docs_ja");
    test::writeFile(here / "docs_ja/read1st.htm", "<html></html>");
    EXPECT_EQ(findHelpPage({here.path(), program.path()}, {data1.path(), data2.path()}), here / "docs_ja/read1st.htm");

    // The English page where there is one, wherever the Japanese one is.
    EXPECT_EQ(findHelpPage({here.path()}, {data2.path()}, Language::English), here / "docs_ja/read1st.htm");
    std::filesystem::create_directories(data2 / "vigilon/docs");
    test::writeFile(data2 / "vigilon/docs/read1st.htm", "<html></html>");
    EXPECT_EQ(findHelpPage({here.path()}, {data2.path()}, Language::English), data2 / "vigilon/docs/read1st.htm");

    // A directory of that name is no page.
    std::filesystem::create_directories(data1 / "docs_ja/read1st.htm");
    EXPECT_EQ(findHelpPage({data1.path()}, {}), "");
    EXPECT_TRUE(platform::isFile(platform::programDirectory() + "/alert_tests")) << platform::programDirectory();
}

TEST_P(AlertLaunchTest, HelpPageIsOpenedByTheOpenerOrTheFailureShown)
{
    test::ChangeDir here(dir_ / "here");
    std::filesystem::create_directories(dir_ / "here/docs_ja");
    const std::string page = dir_ / "here/docs_ja/read1st.htm";
    test::writeFile(page, "<html></html>");
    openHelpPage(runner().launcher(), prompter_);
    // Reaped and recorded after the launcher is gone.
    runner_.reset();
    const std::vector<Record> records = waitForRecords(1);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].args, std::vector<std::string>{page});
    EXPECT_TRUE(prompter_.messages.empty());

    // The opener cannot open it: 270 with caption 271, once it has ended.
    script(dir_ / "opener", "exit 4\n");
    openHelpPage(runner().launcher(), prompter_);
    EXPECT_TRUE(loop_.runUntil([this] { return !prompter_.messages.empty(); }, 10000));
    ASSERT_EQ(prompter_.messages.size(), 1u);
    EXPECT_EQ(prompter_.messages[0].text, "デフォルトのブラウザを開くことができません。");
    EXPECT_EQ(prompter_.messages[0].caption, "Vigilon");
    EXPECT_EQ(prompter_.messages[0].style, mb::Ok);

    // No page: the same message at once.
    std::remove(page.c_str());
    {
        test::ScopedEnv noData{{"XDG_DATA_DIRS", dir_ / "empty"}};
        openHelpPage(runner().launcher(), prompter_);
    }
    EXPECT_EQ(prompter_.messages.size(), 2u);

    // No opener at all: the same message at once, said as what it is, not
    // as a page that is missing.
    test::writeFile(page, "<html></html>");
    options_.opener = dir_ / "no-opener";
    runner_.reset();
    testing::internal::CaptureStderr();
    openHelpPage(runner().launcher(), prompter_);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(prompter_.messages.size(), 3u);
    EXPECT_NE(said.find("no program to open documents with is installed (xdg-open, from the Debian package "
                        "xdg-utils)"),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find("No such file"), std::string::npos) << said;
}

INSTANTIATE_TEST_SUITE_P(ExitWatch, AlertLaunchTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return info.param ? std::string("Polled") : std::string("ProcessDescriptor");
                         });

} // namespace
} // namespace vigilon
