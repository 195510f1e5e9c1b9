// SPDX-License-Identifier: MIT
// The Linux platform of the watch loop with real processes: the stand-in
// vigilon is started, watched, ended and restarted.
#include "TestSupport.h"
#include "app/store/Settings.h"
#include "service/Supervisor.h"
#include "service/systemd/Process.h"
#include "service/systemd/SessionEnvironment.h"
#include "service/systemd/SystemdHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <thread>

using namespace std::chrono_literals;

namespace vigilon::svc {
namespace {

using test::TempDir;

std::vector<std::string> standInEnv(const TempDir &dir, const std::string &mode)
{
    return {"STANDIN_DIR=" + dir.path(), "STANDIN_MODE=" + mode};
}

TEST(MonitorProcess, EndsWhatIgnoresTermAndCollectsWhatEnded)
{
    TempDir dir;
    CMonitorProcess stubborn;
    ASSERT_TRUE(stubborn.start(STANDIN_BINARY, dir.path(), standInEnv(dir, "ignore-term")));
    ASSERT_TRUE(test::waitUntil([&] { return test::fileExists(dir / "starts"); }, 5s));
    const pid_t pid = stubborn.pid();
    const auto before = std::chrono::steady_clock::now();
    stubborn.end(300);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 300ms) << "SIGTERM first, SIGKILL after the grace";
    EXPECT_FALSE(test::processExists(pid)) << "killed and reaped";
    EXPECT_FALSE(stubborn.running());

    CMonitorProcess quitter;
    ASSERT_TRUE(quitter.start(STANDIN_BINARY, dir.path(), standInEnv(dir, "exit")));
    const pid_t quitterPid = quitter.pid();
    EXPECT_TRUE(test::waitUntil([&] { return !quitter.running(); }, 5s));
    EXPECT_FALSE(test::processExists(quitterPid)) << "no zombie";
    EXPECT_EQ(quitter.pid(), -1) << "a collected process is never signalled again";

    EXPECT_FALSE(quitter.start(dir / "no-such-program", dir.path(), {}));
    EXPECT_FALSE(quitter.start(STANDIN_BINARY, dir / "no-such-dir", standInEnv(dir, "exit")));
}

TEST(SessionEnvironment, ParsesTheManagersQuoting)
{
    const auto vars = parseShowEnvironment("DISPLAY=:0\n"
                                           "XAUTHORITY=$'/run/user/1000/a b\\'c\\\\d\\x41'\n"
                                           "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/1000/bus\n"
                                           "Q=\"x \\\"y\\\"\"\n"
                                           "garbage line\n"
                                           "=novalue\n"
                                           "EMPTY=");
    EXPECT_EQ(vars, (std::map<std::string, std::string>{{"DISPLAY", ":0"},
                                                        {"XAUTHORITY", "/run/user/1000/a b'c\\dA"},
                                                        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=/run/user/1000/bus"},
                                                        {"Q", "x \"y\""},
                                                        {"EMPTY", ""}}));
}

TEST(SessionEnvironment, VigilonGetsTheSessionButNotTheNotificationSocket)
{
    const std::vector<std::string> own{"HOME=/h",    "NOTIFY_SOCKET=/run/n",  "WATCHDOG_USEC=1", "WATCHDOG_PID=3",
                                       "DISPLAY=:9", "WAYLAND_DISPLAY=w-old", "WATCHDOGS=kept"};
    const std::map<std::string, std::string> manager{{"DISPLAY", ":0"}, {"XAUTHORITY", "/x"}, {"PATH", "/m"}};

    auto env = monitorEnvironment(own, manager);
    std::sort(env.begin(), env.end());
    EXPECT_EQ(env, (std::vector<std::string>{"DISPLAY=:0", "HOME=/h", "WATCHDOGS=kept", "XAUTHORITY=/x"}))
        << "the session's display taken, a Wayland socket the session no longer has dropped";

    env = monitorEnvironment(own, std::nullopt);
    std::sort(env.begin(), env.end());
    EXPECT_EQ(env, (std::vector<std::string>{"DISPLAY=:9", "HOME=/h", "WATCHDOGS=kept", "WAYLAND_DISPLAY=w-old"}))
        << "without an answer from the manager our own session variables stay";
}

HostOptions hostOptions(const TempDir &dir, test::SharedStore &store, bool debug = true)
{
    HostOptions o;
    o.debugMode = debug;
    o.monitorPath = STANDIN_BINARY;
    o.monitorDir = dir.path();
    o.openRegistry = store.factory();
    return o;
}

TEST(SystemdHost, LogonIsTakenFromAFreshlyOpenedStore)
{
    TempDir dir;
    test::SharedStore store;
    CSystemdHost host(hostOptions(dir, store));
    EXPECT_EQ(host.takeLogonFlag(), 0u) << "no key yet";
    EXPECT_FALSE(store.store().openKey(kProgramKey, reg::KeyQueryValue)) << "and none created";
    store.setLogon(1);
    EXPECT_EQ(host.takeLogonFlag(), 1u);
    EXPECT_EQ(store.logon(), 0u);
    EXPECT_EQ(host.takeLogonFlag(), 0u);
    EXPECT_EQ(store.opens.load(), 3);
    store.unavailable = true;
    store.setLogon(1);
    EXPECT_EQ(host.takeLogonFlag(), 0u);
}

TEST(SystemdHost, StartsVigilonWithTheSessionEnvironment)
{
    TempDir dir;
    test::SharedStore store;
    test::writeFakeSystemctl(dir.path());
    test::writeFile(dir / "environment", "DISPLAY=:77\nWAYLAND_DISPLAY=wl-7\n");
    test::ScopedEnv env(test::EnvVars{{"VIGILSVC_SYSTEMCTL", dir / "systemctl"},
                         {"STANDIN_DIR", dir.path()},
                         {"NOTIFY_SOCKET", dir / "no-socket"},
                         {"WATCHDOG_USEC", "5000000"}});
    CSystemdHost host(hostOptions(dir, store));
    ASSERT_TRUE(host.startMonitor());
    ASSERT_TRUE(test::waitUntil([&] { return test::fileExists(dir / "starts"); }, 5s));
    const std::string line = test::readLines(dir / "starts").at(0);
    EXPECT_EQ(test::field(line, "args"), "-service");
    EXPECT_EQ(test::field(line, "cwd"), dir.path());
    EXPECT_EQ(test::field(line, "ownGroup"), "1");
    EXPECT_EQ(test::field(line, "DISPLAY"), ":77");
    EXPECT_EQ(test::field(line, "NOTIFY_SOCKET"), "-");
    EXPECT_EQ(test::field(line, "WATCHDOG_USEC"), "-");
    EXPECT_EQ(test::readLines(dir / "calls"), std::vector<std::string>{"--user show-environment"});
    host.endMonitor();
    EXPECT_EQ(test::readLines(dir / "terms").size(), 1u);
    EXPECT_FALSE(host.monitorRunning());
}

TEST(SystemdHost, StatesGoToTheNotificationSocket)
{
    TempDir dir;
    test::SharedStore store;
    test::NotifyReceiver socket(dir / "notify");
    ASSERT_TRUE(socket.bound());
    test::ScopedEnv env(test::EnvVars{{"NOTIFY_SOCKET", dir / "notify"}});
    {
        CSystemdHost host(hostOptions(dir, store, false));
        EXPECT_TRUE(host.reportServiceStatus(ServiceState::StartPending, 0, 3000));
        EXPECT_EQ(socket.receive(), "STATUS=Starting Vigilon");
        EXPECT_TRUE(host.reportServiceStatus(ServiceState::Running, 0, 0));
        EXPECT_EQ(socket.receive(), "READY=1\nSTATUS=Watching Vigilon");
        host.requestStop();
        EXPECT_TRUE(host.waitForStop(10000));
        EXPECT_EQ(socket.receive(), "STOPPING=1\nSTATUS=Stopping");
        EXPECT_TRUE(host.waitForStop(10000)) << "a stop request holds";
        EXPECT_TRUE(host.reportServiceStatus(ServiceState::Stopped, 0, 0));
        EXPECT_EQ(socket.receive(), "STOPPING=1\nSTATUS=Stopped");
    }
    {
        // Stopping without ever having been ready must not count as failure.
        CSystemdHost host(hostOptions(dir, store, false));
        EXPECT_TRUE(host.reportServiceStatus(ServiceState::Stopped, 0, 0));
        EXPECT_EQ(socket.receive(), "READY=1\nSTOPPING=1\nSTATUS=Stopped");
    }
    {
        CSystemdHost debugHost(hostOptions(dir, store, true));
        EXPECT_TRUE(debugHost.reportServiceStatus(ServiceState::Running, 0, 0));
        EXPECT_EQ(socket.receive(1), "<nothing>") << "no states in debug mode";
    }
    test::ScopedEnv gone(test::EnvVars{{"NOTIFY_SOCKET", dir / "gone"}});
    EXPECT_FALSE(CSystemdHost(hostOptions(dir, store, false)).reportServiceStatus(ServiceState::Running, 0, 0));
}

// The watch loop with real processes and short rounds.
class SupervisedStandIn : public ::testing::Test {
protected:
    static constexpr std::uint32_t kRound = 200;
    void SetUp() override
    {
        test::writeFakeSystemctl(dir.path());
        host = std::make_unique<CSystemdHost>(hostOptions(dir, store));
        supervisor = std::make_unique<CSupervisor>(*host, kRound);
        loop = std::thread([this] { supervisor->superviseMonitor(); });
        ASSERT_TRUE(startsReach(1));
    }
    void TearDown() override
    {
        host->requestStop();
        loop.join();
    }
    std::vector<std::string> starts() { return test::readLines(dir / "starts"); }
    bool startsReach(std::size_t n) { return test::waitUntil([&] { return starts().size() >= n; }, 10s); }
    pid_t startPid(std::size_t i) { return static_cast<pid_t>(std::stoi(test::field(starts().at(i), "pid"))); }

    TempDir dir;
    test::SharedStore store;
    test::ScopedEnv env{test::EnvVars{{"VIGILSVC_SYSTEMCTL", dir / "systemctl"}, {"STANDIN_DIR", dir.path()}}};
    std::unique_ptr<CSystemdHost> host;
    std::unique_ptr<CSupervisor> supervisor;
    std::thread loop;
};

TEST_F(SupervisedStandIn, KilledVigilonIsStartedAgainAndEndedOnStop)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(kRound * 2 + 100)); // past the first round
    const pid_t first = startPid(0);
    kill(first, SIGKILL);
    ASSERT_TRUE(startsReach(2));
    EXPECT_FALSE(test::processExists(first)) << "the killed one was reaped";

    host->requestStop();
    loop.join();
    EXPECT_FALSE(test::processExists(startPid(1)));
    EXPECT_EQ(test::readLines(dir / "terms").size(), 1u) << "ended on stop";
    loop = std::thread([] {});
}

TEST_F(SupervisedStandIn, LogonRestartsVigilonAndIsCleared)
{
    store.setLogon(1);
    ASSERT_TRUE(startsReach(2));
    EXPECT_EQ(test::readLines(dir / "terms").size(), 1u) << "the first one was asked to end";
    EXPECT_EQ(store.logon(), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(kRound * 3));
    EXPECT_EQ(starts().size(), 2u) << "no further restarts";
}

} // namespace
} // namespace vigilon::svc
