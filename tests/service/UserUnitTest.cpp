// SPDX-License-Identifier: MIT
// The Linux platform of the service: the user unit and the install, stop
// and remove actions against a stand-in systemctl and an in-memory store; a
// real stand-in vigilon ended and collected, the session's environment,
// Logon and the notification socket.
#include "service/posix/Process.h"
#include "service/posix/SessionEnvironment.h"
#include "service/posix/SystemdHost.h"
#include "service/posix/UserUnit.h"
#include "tests/service/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace vigilon::svc {
namespace {

using test::TempDir;

const std::string kName = "VGN - Sentrelle Notification Service";

std::string stringValue(reg::Registry &r, const std::string &key, const std::string &name)
{
    std::unique_ptr<reg::Key> k = r.openKey(key, reg::KeyQueryValue);
    reg::Value v;
    if (!k || k->queryValue(name, v) != reg::Status::Ok)
        return "<missing>";
    return (v.type == reg::RegSz ? "" : "<type>") + reg::stringFromValue(v);
}

class ServiceActions : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::writeFakeSystemctl(dir.path());
        context.execPath = "/opt/vigilon/bin/vigilsvc";
        context.unitDirectory = dir / "config/systemd/user";
        context.autostartPath = dir / "config/autostart/vigilsvc.desktop";
        context.openRegistry = shared.factory();
        context.print = [this](const std::string &s) { printed += s; };
        context.sleep = [](unsigned) {};
    }
    std::vector<std::string> calls() { return test::readLines(dir / "calls"); }
    std::string unitFile() { return context.unitDirectory + "/vigilsvc.service"; }

    TempDir dir;
    test::ScopedEnv env{{"VIGILSVC_SYSTEMCTL", dir / "systemctl"}};
    test::SharedStore shared;
    ServiceContext context;
    std::string printed;
};

TEST_F(ServiceActions, InstallWritesTheKeysWhichRemoveLeaves)
{
    installService(context);
    EXPECT_EQ(calls(), (std::vector<std::string>{"--user daemon-reload", "--user enable vigilsvc.service",
                                                 "--user start vigilsvc.service"}));
    installService(context); // again over an existing installation
    EXPECT_EQ(printed, kName + " installed.\n" + kName + " installed.\n");
    EXPECT_EQ(stringValue(shared.store, kServiceKey, "DisplayName"), kName);
    EXPECT_EQ(stringValue(shared.store, kServiceKey, "Description"),
              "Sentrelle Nofication Service by Ardentis Technology");
    EXPECT_EQ(stringValue(shared.store, kEventSourceKey, "EventMessageFile"), "/opt/vigilon/bin/vigilsvc");
    reg::Value types;
    ASSERT_EQ(shared.store.openKey(kEventSourceKey, reg::KeyQueryValue)->queryValue("TypesSupported", types),
              reg::Status::Ok);
    EXPECT_EQ(types.type, reg::RegDword);
    EXPECT_EQ(types.data, reg::dwordBytes(7));

    std::remove((dir / "calls").c_str());
    removeService(context);
    EXPECT_EQ(calls(), (std::vector<std::string>{"--user show --property=LoadState,ActiveState vigilsvc.service",
                                                 "--user disable vigilsvc.service", "--user daemon-reload"}));
    EXPECT_FALSE(test::exists(unitFile()));
    EXPECT_FALSE(test::exists(context.autostartPath));
    EXPECT_EQ(stringValue(shared.store, kServiceKey, "DisplayName"), kName) << "the keys stay";

    context.language = Language::Japanese;
    installService(context);
    EXPECT_EQ(stringValue(shared.store, kServiceKey, "Description"),
              serviceString(ssid::Description, Language::Japanese));
}

TEST_F(ServiceActions, InstallFailuresOfTheStoreAndTheFilesSayWhy)
{
    const auto install = [this] {
        printed.clear();
        installService(context);
        return printed;
    };
    shared.unavailable = true;
    EXPECT_EQ(install(), "Unable to install " + kName + " - Registry error\n");
    EXPECT_FALSE(test::exists(unitFile()));
    EXPECT_TRUE(calls().empty());

    shared.unavailable = false;
    shared.store.failWrites(reg::Status::IoError, 2);
    EXPECT_EQ(install(), "Unable to install " + kName + " - Registry error\n");
    EXPECT_EQ(stringValue(shared.store, kServiceKey, "DisplayName"), "<missing>") << "all keys or none";
    shared.store.failWrites(reg::Status::Ok);

    context.execPath.clear();
    context.execPathError = ENOENT;
    EXPECT_EQ(install(), "Unable to install " + kName + " - No such file or directory (0x2)\n");
    context.execPath = "/opt/vigilon/bin/vigilsvc";

    // A unit that cannot be started is not left behind.
    test::writeFile(dir / "fail-start", "Unit vigilsvc.service failed.\n");
    EXPECT_EQ(install(), "CreateService failed - Unit vigilsvc.service failed. (0x1)\n");
    EXPECT_FALSE(test::exists(unitFile()));
    EXPECT_FALSE(test::exists(context.autostartPath));
    const std::vector<std::string> made = calls();
    EXPECT_NE(std::find(made.begin(), made.end(), "--user disable vigilsvc.service"), made.end());
    std::remove((dir / "fail-start").c_str());

    context.unitDirectory = dir / "config-file/systemd/user";
    test::writeFile(dir / "config-file", "not a directory");
    EXPECT_EQ(install().rfind("CreateService failed - Not a directory (0x14)", 0), 0u) << printed;
}

struct ActionCase {
    const char *label;
    bool (*action)(const ServiceContext &);
    Language language;
    // Files for the stand-in systemctl: what it answers and which verb fails.
    std::vector<std::pair<std::string, std::string>> files;
    std::string printed;
};

class ServiceActionCase : public ServiceActions, public ::testing::WithParamInterface<ActionCase> {};

TEST_P(ServiceActionCase, PrintsItsOutcome)
{
    context.language = GetParam().language;
    for (const auto &[name, text] : GetParam().files)
        test::writeFile(dir / name, text);
    GetParam().action(context);
    EXPECT_EQ(printed, GetParam().printed);
}

const std::string kNoBus = "Failed to connect to bus: No medium found\n";

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ServiceActionCase,
    ::testing::Values(
        ActionCase{"InstallWithoutABus", installService, Language::English, {{"fail-daemon-reload", kNoBus}},
                   "OpenSCManager failed - Failed to connect to bus: No medium found (0x1)\n"},
        ActionCase{"InstallOfAMaskedUnit", installService, Language::English, {{"fail-enable", "Unit file is masked.\n"}},
                   "CreateService failed - Unit file is masked. (0x1)\n"},
        ActionCase{"StopOfAStoppedService", stopService, Language::English, {}, ""},
        ActionCase{"StopThatDoesNotEnd", stopService, Language::Japanese, {{"states", "active\nactive\n"}},
                   "停止中 " + kName + "...\n" + kName + " 停止に失敗しました。\n"},
        ActionCase{"StopOfAMissingService", stopService, Language::English, {{"load", "not-found\n"}},
                   "OpenService failed - Unit vigilsvc.service not found\n"},
        ActionCase{"StopWithoutABus", stopService, Language::English, {{"fail-show", kNoBus}},
                   "OpenSCManager failed - Failed to connect to bus: No medium found (0x1)\n"},
        ActionCase{"RemoveOfARunningService", removeService, Language::Japanese, {{"states", "active\ninactive\n"}},
                   "停止中 " + kName + "...\n" + kName + " 停止しました。\n" + kName + " 削除されました。\n"},
        ActionCase{"RemoveRefused", removeService, Language::English, {{"fail-disable", "Access denied\n"}},
                   "DeleteService failed - Access denied (0x1)\n"}),
    [](const ::testing::TestParamInfo<ActionCase> &info) { return std::string(info.param.label); });

// The unit as a whole is checked by systemd itself below; the installed copy
// by Install.CmakeInstallPutsEveryFileWhereItIsLookedFor.
TEST(UserUnit, TextHasTheKeysTheManagerNeedsAndGoesUnderTheUsersConfig)
{
    const std::string text = unitText("/usr/bin/vigilsvc");
    for (const char *line : {"ExecStart=/usr/bin/vigilsvc\n", "Restart=on-failure\n", "KillMode=mixed\n",
                             "WantedBy=graphical-session.target\n", "Description=VGN - Sentrelle Notification Service\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    EXPECT_EQ(unitExecPath("/a b/100%/v\"s\\x"), "\"/a b/100%%/v\\\"s\\\\x\"");
    EXPECT_EQ(unitExecPath("/opt/d$x/vigilsvc"), "/opt/d$x/vigilsvc");

    test::ScopedEnv env{{"XDG_CONFIG_HOME", "relative"}, {"HOME", "/home/u"}}; // not absolute: ignored
    EXPECT_EQ(userUnitDirectory(), "/home/u/.config/systemd/user");
    EXPECT_EQ(userAutostartPath(), "/home/u/.config/autostart/vigilsvc.desktop");
}

// The autostart entry starts the unit only once the user has enabled it.
TEST(UserUnit, AutostartEntryStartsOnlyAnEnabledUnit)
{
    TempDir dir;
    test::writeFakeSystemctl(dir.path());
    const std::string entry = autostartText();
    std::smatch exec;
    ASSERT_TRUE(std::regex_search(entry, exec, std::regex("\nExec=([^\n]*)"))) << entry;
    const std::vector<std::string> argv{"env", "PATH=" + dir.path() + ":/usr/bin:/bin", "sh", "-c", exec[1].str()};

    test::RunResult r = test::run(argv);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::readLines(dir / "calls"), (std::vector<std::string>{"--user is-enabled --quiet vigilsvc.service",
                                                                        "--user start vigilsvc.service"}));
    std::remove((dir / "calls").c_str());
    test::writeFile(dir / "fail-is-enabled", "");
    test::run(argv);
    EXPECT_EQ(test::readLines(dir / "calls"),
              (std::vector<std::string>{"--user is-enabled --quiet vigilsvc.service"}));

    if (access("/usr/bin/desktop-file-validate", X_OK) == 0) {
        test::writeFile(dir / "vigilsvc.desktop", entry);
        r = test::run({"desktop-file-validate", dir / "vigilsvc.desktop"});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(r.out, "") << "no warnings";
    }
}

// systemd's own check of the unit, with odd characters in the path.
TEST(UserUnit, PassesSystemdAnalyzeVerify)
{
    if (access("/usr/bin/systemd-analyze", X_OK) != 0 && access("/bin/systemd-analyze", X_OK) != 0)
        GTEST_SKIP() << "systemd-analyze is not installed (Debian package systemd)";
    TempDir dir;
    const std::string runtime = dir / "runtime";
    mkdir(runtime.c_str(), 0700);
    const std::string odd = dir / "with space %and$dollar";
    std::filesystem::copy_file(VIGILSVC_BINARY, odd);
    for (const std::string &program : {std::string(VIGILSVC_BINARY), odd}) {
        const std::string unit = dir / "vigilsvc.service";
        test::writeFile(unit, unitText(program));
        const test::RunResult r =
            test::run({"systemd-analyze", "--user", "verify", unit}, {"XDG_RUNTIME_DIR=" + runtime, "HOME=" + dir.path()});
        EXPECT_EQ(r.status, 0) << r.err;
        // Unknown or misplaced keys are only warned about.
        EXPECT_EQ(r.err.find("vigilsvc.service"), std::string::npos) << r.err;
    }
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
    EXPECT_FALSE(test::exists("/proc/" + std::to_string(pid))) << "killed and reaped, no zombie left";
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
    store.store.createKey(kProgramKey);
    setLogonFlag(store.store, 1);
    EXPECT_EQ(host.takeLogonFlag(), 1u);
    EXPECT_EQ(host.takeLogonFlag(), 0u) << "taken and cleared";
    EXPECT_EQ(store.opens, 3);
    store.unavailable = true;
    setLogonFlag(store.store, 1);
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
    EXPECT_TRUE(CSystemdHost(hostOptions(dir, store, true)).reportServiceStatus(ServiceState::Running, 0, 0));
    EXPECT_EQ(socket.receive(1), "<nothing>") << "no states in debug mode";
    test::ScopedEnv gone{{"NOTIFY_SOCKET", dir / "gone"}};
    EXPECT_FALSE(CSystemdHost(hostOptions(dir, store, false)).reportServiceStatus(ServiceState::Running, 0, 0));
}

} // namespace
} // namespace vigilon::svc
