// SPDX-License-Identifier: MIT
// The real vigilsvc program: installing through a stand-in systemctl on
// PATH, running as the service under a notification socket, and one console
// run with real 10-second rounds around a stand-in vigilon.
#include "TestSupport.h"
#include "app/store/Settings.h"
#include "service/ServiceStrings.h"
#include "service/systemd/Process.h"
#include "service/systemd/UserUnit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

using namespace std::chrono_literals;

namespace vigilon::svc {
namespace {

using test::TempDir;

std::string realPath(const std::string &path)
{
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) != nullptr ? buffer : path;
}

// vigilsvc and the stand-in vigilon side by side in a scratch directory.
struct Installation {
    TempDir dir;
    std::string vigilsvc = dir / "vigilsvc";
    std::string store = dir / "registry.sqlite";
    explicit Installation(bool withVigilon = true)
    {
        test::copyFile(VIGILSVC_BINARY, vigilsvc);
        if (withVigilon)
            test::copyFile(STANDIN_BINARY, dir / "vigilon");
        test::writeFakeSystemctl(dir.path());
        test::writeFile(dir / "environment", "DISPLAY=:77\n");
    }
    std::vector<std::string> env(const std::string &lang = "C") const
    {
        return {"PATH=" + dir.path() + ":/usr/bin:/bin", "HOME=" + dir.path(), "LANG=" + lang,
                "XDG_CONFIG_HOME=" + (dir / "config"), "VIGILON_REGISTRY=" + store, "STANDIN_DIR=" + dir.path(),
                "STANDIN_MODE=wait"};
    }
    std::unique_ptr<reg::Registry> openStore() const
    {
        setenv("VIGILON_REGISTRY", store.c_str(), 1);
        auto r = openDefaultRegistry();
        unsetenv("VIGILON_REGISTRY");
        return r;
    }
    std::vector<std::string> starts() const { return test::readLines(dir / "starts"); }
};

ProgramResult run(const Installation &in, const std::vector<std::string> &args, const std::string &lang = "C")
{
    std::vector<std::string> argv{"env", "-i"};
    for (const std::string &e : in.env(lang))
        argv.push_back(e);
    argv.push_back(in.vigilsvc);
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv, 30000);
}

TEST(VigilsvcProgram, InstallStopAndRemoveInBothLanguages)
{
    Installation in;
    ProgramResult r = run(in, {"-install"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.output, "VGN - Sentrelle Notification Service installed.\n");
    const std::string unit = in.dir / "config/systemd/user/vigilsvc.service";
    EXPECT_EQ(test::readFile(unit), unitText(realPath(in.vigilsvc)));
    EXPECT_EQ(test::readLines(in.dir / "calls"),
              (std::vector<std::string>{"--user daemon-reload", "--user enable vigilsvc.service",
                                        "--user start vigilsvc.service"}));
    EXPECT_EQ(test::readFile(in.dir / "config/autostart/vigilsvc.desktop"), autostartText());

    auto store = in.openStore();
    ASSERT_TRUE(store);
    auto key = store->openKey(kEventSourceKey, reg::KeyQueryValue);
    ASSERT_TRUE(key);
    reg::Value v;
    ASSERT_EQ(key->queryValue("EventMessageFile", v), reg::Status::Ok);
    EXPECT_EQ(reg::stringFromValue(v), realPath(in.vigilsvc));
    store.reset();

    test::writeFile(in.dir / "states", "active\ndeactivating\ninactive\n");
    r = run(in, {"-stop"});
    EXPECT_EQ(r.output, "Stopping VGN - Sentrelle Notification Service..\n"
                        "VGN - Sentrelle Notification Service stopped.\n");
    EXPECT_EQ(test::readLines(in.dir / "calls").at(4), "--user stop --no-block vigilsvc.service");

    r = run(in, {"/remove"}, "ja_JP.UTF-8");
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.output, "VGN - Sentrelle Notification Service 削除されました。\n");
    EXPECT_FALSE(test::fileExists(unit));
    EXPECT_FALSE(test::fileExists(in.dir / "config/autostart/vigilsvc.desktop"));
}

TEST(VigilsvcProgram, WithoutAKeywordOutsideSystemdPrintsUsageAndEnds)
{
    Installation in;
    ProgramResult r = run(in, {});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.output, usageText());
    // Asked for, or after an unknown argument, the usage names the keywords
    // and nothing is logged.
    r = run(in, {"--help"});
    EXPECT_EQ(r.exitStatus, 0);
    for (const char *keyword : {"-install", "-stop", "-remove", "-debug"})
        EXPECT_NE(r.output.find(keyword), std::string::npos) << keyword;
    EXPECT_EQ(r.errors, "");
    for (const std::vector<std::string> &args : {std::vector<std::string>{"-Install"}, {"-debugx"}}) {
        r = run(in, args);
        EXPECT_EQ(r.exitStatus, 2);
        EXPECT_EQ(r.output, "");
        EXPECT_NE(r.errors.find("vigilsvc: unknown argument \"" + args[0] + "\"\nUsage: vigilsvc [-install"),
                  std::string::npos)
            << r.errors;
    }
    EXPECT_FALSE(test::fileExists(in.dir / "starts")) << "nothing was started";
    EXPECT_FALSE(test::fileExists(in.dir / "calls"));
}

TEST(VigilsvcProgram, DebugRunWithoutVigilonEndsAtOnce)
{
    Installation in(false);
    const ProgramResult r = run(in, {"-debug"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.output, "Debugging VGN - Sentrelle Notification Service.\n");
    EXPECT_NE(r.errors.find("Vigilsvc Information: VGNAgent service is stopped.."), std::string::npos) << r.errors;
    EXPECT_EQ(r.errors.find("is started"), std::string::npos);
}

TEST(VigilsvcProgram, RunsAsTheServiceUnderANotificationSocket)
{
    Installation in;
    const std::string socketPath = in.dir / "notify";
    test::NotifyReceiver socket(socketPath);
    ASSERT_TRUE(socket.bound());
    const auto receive = [&socket] { return socket.receive(10); };

    std::vector<std::string> env = in.env();
    env.push_back("NOTIFY_SOCKET=" + socketPath);
    env.push_back("INVOCATION_ID=0123456789abcdef");
    test::Child child({in.vigilsvc}, env, in.dir.path());
    EXPECT_EQ(receive(), "STATUS=Starting Vigilon");
    EXPECT_EQ(receive(), "STATUS=Starting Vigilon");
    EXPECT_EQ(receive(), "READY=1\nSTATUS=Watching Vigilon");
    ASSERT_TRUE(test::waitUntil([&] { return in.starts().size() == 1; }, 5s));
    const std::string start = in.starts()[0];
    EXPECT_EQ(test::field(start, "NOTIFY_SOCKET"), "-");
    EXPECT_EQ(test::field(start, "DISPLAY"), ":77");
    EXPECT_EQ(test::field(start, "cwd"), in.dir.path());

    child.signal(SIGTERM);
    EXPECT_EQ(receive(), "STOPPING=1\nSTATUS=Stopping");
    EXPECT_EQ(receive(), "STOPPING=1\nSTATUS=Stopped");
    EXPECT_EQ(child.wait(5s), 0);
    EXPECT_EQ(test::readLines(in.dir / "terms").size(), 1u) << "Vigilon was ended with the service";
    EXPECT_EQ(child.out(), usageText());
}

// Real rounds: a logon seen at the first round ends Vigilon, the second
// round starts a fresh one, and Ctrl-C ends both at once.
TEST(VigilsvcProgram, DebugRunRestartsVigilonAfterALogon)
{
    Installation in;
    {
        auto store = in.openStore();
        ASSERT_TRUE(store->createKey(kProgramKey));
        ASSERT_EQ(setLogonFlag(*store, 1), reg::Status::Ok);
    }
    test::Child child({in.vigilsvc, "-debug", "ignored"}, in.env(), in.dir.path());
    ASSERT_TRUE(test::waitUntil([&] { return in.starts().size() == 1; }, 5s));
    EXPECT_EQ(test::field(in.starts()[0], "args"), "-service");
    EXPECT_EQ(test::field(in.starts()[0], "ownGroup"), "1");

    const auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(test::waitUntil([&] { return in.starts().size() == 2; }, 25s));
    EXPECT_GE(std::chrono::steady_clock::now() - before, 15s) << "two rounds of 10 s";
    EXPECT_EQ(test::readLines(in.dir / "terms").size(), 1u);
    {
        auto store = in.openStore();
        auto key = store->openKey(kProgramKey, reg::KeyQueryValue);
        ASSERT_TRUE(key);
        reg::Value v;
        std::uint32_t logon = 9;
        ASSERT_EQ(key->queryValue(kLogonValue, v), reg::Status::Ok);
        ASSERT_TRUE(reg::dwordFromValue(v, logon));
        EXPECT_EQ(logon, 0u);
    }

    const auto stopAt = std::chrono::steady_clock::now();
    child.signal(SIGINT);
    EXPECT_EQ(child.wait(5s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - stopAt, 4s) << "no waiting for the round";
    EXPECT_EQ(test::readLines(in.dir / "terms").size(), 2u);
    EXPECT_EQ(child.out(), "Debugging VGN - Sentrelle Notification Service.\n"
                           "Stopping VGN - Sentrelle Notification Service.");
    const std::string err = child.err();
    std::size_t started = 0;
    for (std::size_t at = err.find("VGNAgent service is started"); at != std::string::npos;
         at = err.find("VGNAgent service is started", at + 1))
        ++started;
    EXPECT_EQ(started, 2u) << err;
    EXPECT_NE(err.find("Vigilsvc Information: VGNAgent service is stopped.."), std::string::npos) << err;
}

} // namespace
} // namespace vigilon::svc
