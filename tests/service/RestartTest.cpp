// SPDX-License-Identifier: MIT
// The real vigilsvc around a stand-in vigilon that ends at once: it is
// reaped at once and started again after its pause; and a failed install
// through the stand-in systemctl leaves nothing behind.
#include "TestSupport.h"
#include "service/systemd/Process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <csignal>

using namespace std::chrono_literals;

namespace vigilon::svc {
namespace {

struct Scratch {
    test::TempDir dir;
    std::string vigilsvc = dir / "vigilsvc";
    Scratch()
    {
        test::copyFile(VIGILSVC_BINARY, vigilsvc);
        test::copyFile(STANDIN_BINARY, dir / "vigilon");
        test::writeFakeSystemctl(dir.path());
    }
    std::vector<std::string> env() const
    {
        return {"PATH=" + dir.path() + ":/usr/bin:/bin", "HOME=" + dir.path(), "LANG=C",
                "XDG_CONFIG_HOME=" + (dir / "config"), "VIGILON_REGISTRY=" + (dir / "registry.sqlite"),
                "STANDIN_DIR=" + dir.path(), "STANDIN_MODE=exit"};
    }
    std::vector<std::string> starts() const { return test::readLines(dir / "starts"); }
};

TEST(VigilsvcRestart, VigilonEndingAtOnceIsReapedAtOnceAndStartedAgainAfterItsPause)
{
    Scratch in;
    test::Child child({in.vigilsvc, "-debug"}, in.env(), in.dir.path());
    ASSERT_TRUE(test::waitUntil([&] { return in.starts().size() == 1; }, 5s));
    const pid_t first = std::stoi(test::field(in.starts()[0], "pid"));
    EXPECT_TRUE(test::waitUntil([&] { return !test::processExists(first); }, 2s)) << "left a zombie until the round";
    const auto ended = std::chrono::steady_clock::now();
    ASSERT_TRUE(test::waitUntil([&] { return in.starts().size() == 2; }, 15s));
    const auto pause = std::chrono::steady_clock::now() - ended;
    EXPECT_GE(pause, 8s);
    EXPECT_LE(pause, 12s);

    child.signal(SIGINT);
    EXPECT_EQ(child.wait(5s), 0);
    EXPECT_NE(child.err().find("Vigilon ended after 0 s (exit status 0); starting it again in 10 s"),
              std::string::npos)
        << child.err();
}

TEST(VigilsvcRestart, InstallStartsTheServiceAndAFailedInstallFailsAndLeavesNoUnit)
{
    Scratch in;
    const std::string unit = in.dir / "config/systemd/user/vigilsvc.service";
    const auto vigilsvc = [&](const char *keyword) {
        std::vector<std::string> argv{"env", "-i"};
        for (const std::string &e : in.env())
            argv.push_back(e);
        argv.push_back(in.vigilsvc);
        argv.push_back(keyword);
        return runProgram(argv, 30000);
    };
    const auto install = [&] { return vigilsvc("-install"); };
    test::writeFile(in.dir / "fail-start", "Unit vigilsvc.service failed.\n");
    ProgramResult r = install();
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_EQ(r.output, "CreateService failed - Unit vigilsvc.service failed. (0x1)\n");
    EXPECT_FALSE(test::fileExists(unit));
    EXPECT_FALSE(test::fileExists(in.dir / "config/autostart/vigilsvc.desktop"));
    const std::vector<std::string> calls = test::readLines(in.dir / "calls");
    EXPECT_NE(std::find(calls.begin(), calls.end(), "--user disable vigilsvc.service"), calls.end());

    std::remove((in.dir / "fail-start").c_str());
    r = install();
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_TRUE(test::fileExists(unit));
    EXPECT_EQ(test::readLines(in.dir / "calls").back(), "--user start vigilsvc.service");

    // Stopping or removing a unit systemd does not know fails.
    test::writeFile(in.dir / "load", "not-found\n");
    EXPECT_EQ(vigilsvc("-stop").exitStatus, 1);
    EXPECT_EQ(vigilsvc("-remove").exitStatus, 1);
}

} // namespace
} // namespace vigilon::svc
