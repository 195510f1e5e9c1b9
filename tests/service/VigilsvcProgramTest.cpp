// SPDX-License-Identifier: MIT
// The real vigilsvc program: installing through a stand-in systemctl on
// PATH, running as the service under a notification socket, and console
// runs with real 10-second rounds around a stand-in vigilon that waits or
// ends at once.
#include "service/ServiceStrings.h"
#include "service/posix/UserUnit.h"
#include "tests/service/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>

using namespace std::chrono_literals;

namespace vigilon::svc {
namespace {

using test::TempDir;

// vigilsvc and the stand-in vigilon side by side in a scratch directory (its
// real path, as the program finds itself).
struct Installation {
    TempDir dir;
    std::string vigilsvc = dir / "vigilsvc";
    std::string store = dir / "registry.sqlite";
    std::string standIn; // what the stand-in vigilon does: "wait" or "exit"
    explicit Installation(std::string standInMode = "wait") : standIn(std::move(standInMode))
    {
        std::filesystem::copy_file(VIGILSVC_BINARY, vigilsvc);
        test::writeStandIn(dir / "vigilon");
        test::writeFakeSystemctl(dir.path());
        test::writeFile(dir / "environment", "DISPLAY=:77\n");
    }
    // The program with its arguments in an environment of its own.
    std::vector<std::string> command(const std::vector<std::string> &args, const std::string &lang = "C",
                                     const std::vector<std::string> &more = {}) const
    {
        std::vector<std::string> argv{"env", "-i", "PATH=" + dir.path() + ":/usr/bin:/bin", "HOME=" + dir.path(),
                                      "LANG=" + lang, "XDG_CONFIG_HOME=" + (dir / "config"),
                                      "VIGILON_REGISTRY=" + store, "STANDIN_DIR=" + dir.path(), "STANDIN_MODE=" + standIn};
        argv.insert(argv.end(), more.begin(), more.end());
        argv.push_back(vigilsvc);
        argv.insert(argv.end(), args.begin(), args.end());
        return argv;
    }
    std::vector<std::string> starts() const { return test::readLines(dir / "starts"); }
};

test::RunResult run(const Installation &in, const std::vector<std::string> &args, const std::string &lang = "C")
{
    return test::run(in.command(args, lang), {}, 30000);
}

// The keyword reaches its action, the language follows LANG and the status
// the outcome; what each action writes, calls and prints in every case is
// ServiceActions' (the program's own path, which the keys name as well, is
// checked here in the unit).
TEST(VigilsvcProgram, InstallStopAndRemoveInBothLanguages)
{
    Installation in;
    test::RunResult r = run(in, {"-install"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "VGN - Sentrelle Notification Service installed.\n");
    const std::string unit = in.dir / "config/systemd/user/vigilsvc.service";
    EXPECT_EQ(test::readFile(unit), unitText(in.vigilsvc));
    EXPECT_TRUE(test::exists(in.store)) << "the keys went to the store VIGILON_REGISTRY names";

    test::writeFile(in.dir / "states", "active\ndeactivating\ninactive\n");
    r = run(in, {"-stop"});
    EXPECT_EQ(r.out, "Stopping VGN - Sentrelle Notification Service..\n"
                        "VGN - Sentrelle Notification Service stopped.\n");

    r = run(in, {"/remove"}, "ja_JP.UTF-8");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "VGN - Sentrelle Notification Service 削除されました。\n");
    EXPECT_FALSE(test::exists(unit));
    test::writeFile(in.dir / "load", "not-found\n");
    EXPECT_EQ(run(in, {"-stop"}).status, 1);
}

TEST(VigilsvcProgram, WithoutAKeywordOutsideSystemdPrintsUsageAndEnds)
{
    Installation in;
    test::RunResult r = run(in, {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, usageText());
    // An unknown argument (keywords are exact: ServiceCommandLine) is an
    // error with the usage after it.
    r = run(in, {"-Install"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("vigilsvc: unknown argument \"-Install\"\nUsage: vigilsvc [-install", 0), 0u) << r.err;
    EXPECT_FALSE(test::exists(in.dir / "starts")) << "nothing was started";
    EXPECT_FALSE(test::exists(in.dir / "calls"));
}

TEST(VigilsvcProgram, RunsAsTheServiceUnderANotificationSocket)
{
    Installation in;
    const std::string socketPath = in.dir / "notify";
    test::NotifyReceiver socket(socketPath);
    ASSERT_TRUE(socket.bound());
    const auto receive = [&socket] { return socket.receive(10); };

    test::ChildProcess child(
        in.command({}, "C", {"NOTIFY_SOCKET=" + socketPath, "INVOCATION_ID=0123456789abcdef", "WATCHDOG_USEC=5000000"}));
    EXPECT_EQ(receive(), "STATUS=Starting Vigilon");
    EXPECT_EQ(receive(), "STATUS=Starting Vigilon");
    EXPECT_EQ(receive(), "READY=1\nSTATUS=Watching Vigilon");
    ASSERT_TRUE(test::waitUntil([&] { return in.starts().size() == 1; }, 5000));
    const std::string start = in.starts()[0];
    // What else of ours it does not get is SessionEnvironment.VigilonGetsTheSessionButNotTheNotificationSocket's.
    EXPECT_EQ(test::field(start, "NOTIFY_SOCKET"), "-");
    EXPECT_EQ(test::field(start, "DISPLAY"), ":77");
    EXPECT_EQ(test::field(start, "cwd"), in.dir.path());

    child.signal(SIGTERM);
    EXPECT_EQ(receive(), "STOPPING=1\nSTATUS=Stopping");
    EXPECT_EQ(receive(), "STOPPING=1\nSTATUS=Stopped");
    EXPECT_EQ(child.waitForExit(5000), 0);
    EXPECT_EQ(test::readLines(in.dir / "terms").size(), 1u) << "Vigilon was ended with the service";
    EXPECT_EQ(child.standardOutput(), usageText());
}

// Real 10-second rounds. (A logon that ends Vigilon and starts it again a
// round later is InstanceProgramTest's with the real Vigilon.)
TEST(VigilsvcProgram, VigilonEndingAtOnceIsReapedAtOnceAndStartedAgainAfterItsPause)
{
    Installation in("exit");
    test::ChildProcess child(in.command({"-debug"}));
    ASSERT_TRUE(test::waitUntil([&] { return in.starts().size() == 1; }, 5000));
    EXPECT_EQ(test::field(in.starts()[0], "args"), "-service");
    EXPECT_EQ(test::field(in.starts()[0], "ownGroup"), "1");
    const pid_t first = std::stoi(test::field(in.starts()[0], "pid"));
    // Reaped at once: not even a zombie is left.
    EXPECT_TRUE(test::waitUntil([&] { return !std::filesystem::exists("/proc/" + std::to_string(first)); }, 2000))
        << "left a zombie until the round";
    const auto ended = std::chrono::steady_clock::now();
    ASSERT_TRUE(test::waitUntil([&] { return in.starts().size() == 2; }, 15000));
    const auto pause = std::chrono::steady_clock::now() - ended;
    EXPECT_GE(pause, 8s);
    EXPECT_LE(pause, 12s);

    const auto stopAt = std::chrono::steady_clock::now();
    child.signal(SIGINT);
    EXPECT_EQ(child.waitForExit(5000), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 4s) << "no waiting for the round";
    EXPECT_NE(child.output().find("Vigilon ended after 0 s (exit status 0); starting it again in 10 s"),
              std::string::npos)
        << child.output();
}

} // namespace
} // namespace vigilon::svc
