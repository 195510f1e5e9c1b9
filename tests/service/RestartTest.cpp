// SPDX-License-Identifier: MIT
// The real vigilsvc around a stand-in vigilon that ends at once: it is
// reaped at once and started again after its pause; and a failed install
// through the stand-in systemctl leaves nothing behind.
#include "tests/service/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>

using namespace std::chrono_literals;

namespace vigilon::svc {
namespace {

struct Scratch {
    test::TempDir dir;
    std::string vigilsvc = dir / "vigilsvc";
    Scratch()
    {
        std::filesystem::copy_file(VIGILSVC_BINARY, vigilsvc);
        std::filesystem::copy_file(STANDIN_BINARY, dir / "vigilon");
        test::writeFakeSystemctl(dir.path());
    }
    // The program with its arguments in an environment of its own.
    std::vector<std::string> command(const char *keyword) const
    {
        return {"env",
                "-i",
                "PATH=" + dir.path() + ":/usr/bin:/bin",
                "HOME=" + dir.path(),
                "LANG=C",
                "XDG_CONFIG_HOME=" + (dir / "config"),
                "VIGILON_REGISTRY=" + (dir / "registry.sqlite"),
                "STANDIN_DIR=" + dir.path(),
                "STANDIN_MODE=exit",
                vigilsvc,
                keyword};
    }
    std::vector<std::string> starts() const { return test::readLines(dir / "starts"); }
};

TEST(VigilsvcRestart, VigilonEndingAtOnceIsReapedAtOnceAndStartedAgainAfterItsPause)
{
    Scratch in;
    test::ChildProcess child(in.command("-debug"));
    ASSERT_TRUE(test::waitUntil([&] { return in.starts().size() == 1; }, 5000));
    const pid_t first = std::stoi(test::field(in.starts()[0], "pid"));
    // Reaped at once: not even a zombie is left.
    EXPECT_TRUE(test::waitUntil([&] { return !std::filesystem::exists("/proc/" + std::to_string(first)); }, 2000))
        << "left a zombie until the round";
    const auto ended = std::chrono::steady_clock::now();
    ASSERT_TRUE(test::waitUntil([&] { return in.starts().size() == 2; }, 15000));
    const auto pause = std::chrono::steady_clock::now() - ended;
    EXPECT_GE(pause, 8s);
    EXPECT_LE(pause, 12s);

    child.signal(SIGINT);
    EXPECT_EQ(child.waitForExit(5000), 0);
    EXPECT_NE(child.output().find("Vigilon ended after 0 s (exit status 0); starting it again in 10 s"),
              std::string::npos)
        << child.output();
}

TEST(VigilsvcRestart, InstallStartsTheServiceAndAFailedInstallFailsAndLeavesNoUnit)
{
    Scratch in;
    const std::string unit = in.dir / "config/systemd/user/vigilsvc.service";
    const auto vigilsvc = [&](const char *keyword) { return test::run(in.command(keyword), {}, 30000); };
    const auto install = [&] { return vigilsvc("-install"); };
    test::writeFile(in.dir / "fail-start", "Unit vigilsvc.service failed.\n");
    test::RunResult r = install();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out + r.err, "CreateService failed - Unit vigilsvc.service failed. (0x1)\n");
    EXPECT_FALSE(std::filesystem::exists(unit));
    EXPECT_FALSE(std::filesystem::exists(in.dir / "config/autostart/vigilsvc.desktop"));
    const std::vector<std::string> calls = test::readLines(in.dir / "calls");
    EXPECT_NE(std::find(calls.begin(), calls.end(), "--user disable vigilsvc.service"), calls.end());

    std::remove((in.dir / "fail-start").c_str());
    r = install();
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::filesystem::exists(unit));
    EXPECT_EQ(test::readLines(in.dir / "calls").back(), "--user start vigilsvc.service");

    // Stopping or removing a unit systemd does not know fails.
    test::writeFile(in.dir / "load", "not-found\n");
    EXPECT_EQ(vigilsvc("-stop").status, 1);
    EXPECT_EQ(vigilsvc("-remove").status, 1);
}

} // namespace
} // namespace vigilon::svc
