// SPDX-License-Identifier: MIT
// The Linux platform of the watch loop: a real stand-in vigilon ended and
// collected, the session's environment, Logon and the notification socket.
#include "service/systemd/Process.h"
#include "service/systemd/SessionEnvironment.h"
#include "service/systemd/SystemdHost.h"
#include "tests/service/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

using namespace std::chrono_literals;

namespace vigilon::svc {
namespace {

using test::TempDir;

bool processExists(pid_t pid) // zombies included
{
    return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

std::vector<std::string> standInEnv(const TempDir &dir, const std::string &mode)
{
    return {"STANDIN_DIR=" + dir.path(), "STANDIN_MODE=" + mode};
}

TEST(MonitorProcess, EndsWhatIgnoresTermAndCollectsWhatEnded)
{
    TempDir dir;
    const std::string standIn = dir / "vigilon";
    test::writeStandIn(standIn);
    CMonitorProcess stubborn;
    ASSERT_TRUE(stubborn.start(standIn, dir.path(), standInEnv(dir, "ignore-term")));
    ASSERT_TRUE(test::waitUntil([&] { return test::exists(dir / "starts"); }, 5000));
    const pid_t pid = stubborn.pid();
    const auto before = std::chrono::steady_clock::now();
    stubborn.end(300);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 300ms) << "SIGTERM first, SIGKILL after the grace";
    EXPECT_FALSE(processExists(pid)) << "killed and reaped";
    EXPECT_FALSE(stubborn.running());

    CMonitorProcess quitter;
    ASSERT_TRUE(quitter.start(standIn, dir.path(), standInEnv(dir, "exit")));
    // Collected at once, no zombie left: VigilsvcProgram.VigilonEndingAtOnceIsReapedAtOnceAndStartedAgainAfterItsPause.
    EXPECT_TRUE(test::waitUntil([&] { return !quitter.running(); }, 5000));
    EXPECT_EQ(quitter.pid(), -1) << "a collected process is never signalled again";

    EXPECT_FALSE(quitter.start(dir / "no-such-program", dir.path(), {}));
    EXPECT_FALSE(quitter.start(standIn, dir / "no-such-dir", standInEnv(dir, "exit")));
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
    o.monitorPath = dir / "vigilon"; // never started here
    o.monitorDir = dir.path();
    o.openRegistry = store.factory();
    return o;
}

TEST(SystemdHost, LogonIsTakenFromAFreshlyOpenedStore)
{
    TempDir dir;
    test::SharedStore store;
    CSystemdHost host(hostOptions(dir, store));
    // Without the key it is 0 and nothing is created: SettingsTest.LogonFlagNeverCreatesItsKey.
    EXPECT_EQ(host.takeLogonFlag(), 0u);
    store.setLogon(1);
    EXPECT_EQ(host.takeLogonFlag(), 1u);
    EXPECT_EQ(store.logon(), 0u);
    EXPECT_EQ(host.takeLogonFlag(), 0u);
    EXPECT_EQ(store.opens, 3);
    store.unavailable = true;
    store.setLogon(1);
    EXPECT_EQ(host.takeLogonFlag(), 0u);
}

// The sequence of a whole run is VigilsvcProgram.RunsAsTheServiceUnderANotificationSocket's.
TEST(SystemdHost, StatesGoToTheNotificationSocket)
{
    TempDir dir;
    test::SharedStore store;
    test::NotifyReceiver socket(dir / "notify");
    ASSERT_TRUE(socket.bound());
    test::ScopedEnv env{{"NOTIFY_SOCKET", dir / "notify"}};
    {
        CSystemdHost host(hostOptions(dir, store, false));
        host.requestStop();
        EXPECT_TRUE(host.waitForStop(10000));
        EXPECT_EQ(socket.receive(), "STOPPING=1\nSTATUS=Stopping");
        EXPECT_TRUE(host.waitForStop(10000)) << "a stop request holds";
        // Stopping without ever having been ready must not count as failure.
        EXPECT_TRUE(host.reportServiceStatus(ServiceState::Stopped, 0, 0));
        EXPECT_EQ(socket.receive(), "READY=1\nSTOPPING=1\nSTATUS=Stopped");
    }
    {
        CSystemdHost debugHost(hostOptions(dir, store, true));
        EXPECT_TRUE(debugHost.reportServiceStatus(ServiceState::Running, 0, 0));
        EXPECT_EQ(socket.receive(1), "<nothing>") << "no states in debug mode";
    }
    test::ScopedEnv gone{{"NOTIFY_SOCKET", dir / "gone"}};
    EXPECT_FALSE(CSystemdHost(hostOptions(dir, store, false)).reportServiceStatus(ServiceState::Running, 0, 0));
}

} // namespace
} // namespace vigilon::svc
