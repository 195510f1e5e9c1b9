// SPDX-License-Identifier: MIT
// The program's start and end as both front ends run them: the one-instance
// policy over a guard, and one orderly end on a real store file.
#include "app/MainFrame.h"
#include "app/ProgramHost.h"
#include "store/Settings.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeEventLoop.h"
#include "tests/support/FrameParts.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace vigilon {
namespace {

class FakeGuard final : public InstanceGuard {
public:
    bool tryTake() override
    {
        calls += "take ";
        return free;
    }
    bool waitToTake() override
    {
        calls += "wait ";
        return waitWorks;
    }
    bool askHolderToShow() override
    {
        calls += "ask ";
        return holderAnswers;
    }
    bool serve(std::function<void()> onShow) override
    {
        served = std::move(onShow);
        return true;
    }
    const std::string &error() const override { return error_; }
    const char *scope() const override { return "here"; }

    bool free = false, waitWorks = true, holderAnswers = true;
    std::string error_, calls;
    std::function<void()> served;
};

TEST(ProgramHost, OneInstancePolicy)
{
    struct Case {
        const char *what;
        bool service, free, holderAnswers, waitWorks;
        std::string error;
        bool goesOn;
        int status;
        const char *calls;
    };
    const Case cases[] = {
        {"the first start", false, true, true, true, "", true, 0, "take "},
        {"a later start hands over", false, false, true, true, "", false, 0, "take ask "},
        {"a later start nobody answers", false, false, false, true, "", false, 1, "take ask "},
        {"a later service start waits its turn", true, false, true, true, "", true, 0, "take wait "},
        {"a wait that a stop ends ends the start well", true, false, true, false, "", false, 0, "take wait "},
        {"a guard that cannot be had", false, false, true, true, "no folder", false, 1, "take "},
        {"a service start never goes on without it", true, false, true, true, "no folder", false, 1, "take "},
    };
    for (const Case &c : cases) {
        CommandLine line;
        line.serviceMode = c.service;
        ProgramHost host(line);
        FakeGuard guard;
        guard.free = c.free;
        guard.holderAnswers = c.holderAnswers;
        guard.waitWorks = c.waitWorks;
        guard.error_ = c.error;
        EXPECT_EQ(host.becomeOnlyInstance(guard), c.goesOn) << c.what;
        EXPECT_EQ(host.exitStatus(), c.status) << c.what;
        EXPECT_EQ(guard.calls, c.calls) << c.what;
    }
}

// Every way out of the program comes to one end: the configuration saved,
// "Logon" cleared, the icon removed; and a later start's request shows the
// dialog again while the program runs.
TEST(ProgramHost, EndsInOrderWhicheverWayItIsAsked)
{
    test::TempDir dir;
    const std::string store = dir.path() + "/registry.sqlite";
    const test::ScopedEnv env{{"VIGILON_REGISTRY", store}};
    test::VirtualTime time;
    test::FakePrompter prompter;
    test::FakeFrameUi ui;
    {
        ProgramHost host(CommandLine{});
        FakeGuard guard;
        guard.free = true;
        ASSERT_TRUE(host.becomeOnlyInstance(guard));
        ASSERT_TRUE(host.start(time.loop, prompter, ui));
        host.serveLaterStarts(guard);
        setLogonFlag(*openDefaultRegistry(), 1);
        ASSERT_NE(ui.dialogFace, nullptr);
        ui.dialogFace->setIntervalSeconds(42);

        host.frame()->onCommand(res::CmdToggleDialog);
        ASSERT_FALSE(host.frame()->dialogVisible());
        guard.served();
        EXPECT_TRUE(host.frame()->dialogVisible()) << "a later start's request shows the dialog";

        host.end();
        host.end();
        ASSERT_TRUE(host.frame()->closed()) << "the frame stays, closed, for late callers";
        EXPECT_EQ(std::count(ui.journal.lines.begin(), ui.journal.lines.end(), "tray.remove"), 1);
        EXPECT_TRUE(ui.journal.contains("ui.quit"));
        guard.served(); // a request after the end does nothing
    }
    auto registry = openDefaultRegistry();
    EXPECT_EQ(test::storedDword(*registry, kProgramKey, kLogonValue), 0u);
    EXPECT_EQ(test::storedDword(*registry, kMonitorKey, "Interval"), 42u);
}

} // namespace
} // namespace vigilon
