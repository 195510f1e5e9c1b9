// SPDX-License-Identifier: MIT
// The user unit and the install, stop and remove actions against a
// stand-in systemctl and an in-memory store.
#include "TestSupport.h"
#include "app/store/MemoryRegistry.h"
#include "service/systemd/Process.h"
#include "service/systemd/UserUnit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace vigilon::svc {
namespace {

using test::TempDir;

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
        context.sleep = [this](unsigned ms) { slept += ms; };
    }

    std::vector<std::string> calls() { return test::readLines(dir / "calls"); }
    std::string unitFile() { return context.unitDirectory + "/vigilsvc.service"; }

    TempDir dir;
    test::ScopedEnv env{test::EnvVars{{"VIGILSVC_SYSTEMCTL", dir / "systemctl"}}};
    test::SharedStore shared;
    reg::MemoryRegistry *store = &shared.store();
    ServiceContext context;
    std::string printed;
    unsigned slept = 0;
};

TEST_F(ServiceActions, InstallWritesTheUnitTheKeysAndEnablesIt)
{
    installService(context);
    EXPECT_EQ(printed, "VGN - Sentrelle Notification Service installed.\n");
    EXPECT_EQ(test::readFile(unitFile()), unitText("/opt/vigilon/bin/vigilsvc"));
    EXPECT_EQ(calls(), (std::vector<std::string>{"--user daemon-reload", "--user enable vigilsvc.service",
                                                 "--user start vigilsvc.service"}));
    EXPECT_EQ(test::readFile(context.autostartPath), autostartText());

    EXPECT_EQ(stringValue(*store, kServiceKey, "DisplayName"), "VGN - Sentrelle Notification Service");
    EXPECT_EQ(stringValue(*store, kServiceKey, "Description"), "Sentrelle Nofication Service by Ardentis Technology");
    EXPECT_EQ(stringValue(*store, kEventSourceKey, "EventMessageFile"), "/opt/vigilon/bin/vigilsvc");
    std::unique_ptr<reg::Key> source = store->openKey(kEventSourceKey, reg::KeyQueryValue);
    ASSERT_TRUE(source);
    reg::Value types;
    ASSERT_EQ(source->queryValue("TypesSupported", types), reg::Status::Ok);
    EXPECT_EQ(types.type, reg::RegDword);
    std::uint32_t t = 0;
    EXPECT_TRUE(reg::dwordFromValue(types, t));
    EXPECT_EQ(t, 7u);

    // Installing again over an existing installation works the same way.
    printed.clear();
    installService(context);
    EXPECT_EQ(printed, "VGN - Sentrelle Notification Service installed.\n");
}

TEST_F(ServiceActions, InstallSpeaksJapanese)
{
    context.language = Language::Japanese;
    installService(context);
    EXPECT_EQ(printed, "VGN - Sentrelle Notification Service インストールされました。\n");
    EXPECT_EQ(stringValue(*store, kServiceKey, "Description"), serviceString(ssid::Description, Language::Japanese));
}

TEST_F(ServiceActions, InstallFailuresSayWhy)
{
    shared.unavailable = true;
    installService(context);
    EXPECT_EQ(printed, "Unable to install VGN - Sentrelle Notification Service - Registry error\n");
    EXPECT_FALSE(test::fileExists(unitFile()));
    EXPECT_TRUE(calls().empty());

    shared.unavailable = false;
    store->failWrites(reg::Status::IoError, 2);
    printed.clear();
    installService(context);
    EXPECT_EQ(printed, "Unable to install VGN - Sentrelle Notification Service - Registry error\n");
    EXPECT_EQ(stringValue(*store, kServiceKey, "DisplayName"), "<missing>") << "all keys or none";
    store->failWrites(reg::Status::Ok);

    printed.clear();
    context.execPath.clear();
    context.execPathError = ENOENT;
    installService(context);
    EXPECT_EQ(printed, "Unable to install VGN - Sentrelle Notification Service - No such file or directory (0x2)\n");
    context.execPath = "/opt/vigilon/bin/vigilsvc";

    printed.clear();
    test::writeFile(dir / "fail-daemon-reload", "Failed to connect to bus: No medium found\n");
    installService(context);
    EXPECT_EQ(printed, "OpenSCManager failed - Failed to connect to bus: No medium found (0x1)\n");
    std::remove((dir / "fail-daemon-reload").c_str());

    printed.clear();
    test::writeFile(dir / "fail-enable", "Unit file is masked.\n");
    installService(context);
    EXPECT_EQ(printed, "CreateService failed - Unit file is masked. (0x1)\n");

    printed.clear();
    context.unitDirectory = dir / "config-file/systemd/user";
    test::writeFile(dir / "config-file", "not a directory");
    installService(context);
    EXPECT_EQ(printed.rfind("CreateService failed - Not a directory (0x14)", 0), 0u) << printed;
}

TEST_F(ServiceActions, StopPrintsProgressUntilStopped)
{
    test::writeFile(dir / "states", "active\ndeactivating\ndeactivating\ninactive\n");
    stopService(context);
    EXPECT_EQ(printed, "Stopping VGN - Sentrelle Notification Service...\n"
                       "VGN - Sentrelle Notification Service stopped.\n");
    EXPECT_EQ(slept, 3000u);
    const auto c = calls();
    ASSERT_GE(c.size(), 2u);
    EXPECT_EQ(c[0], "--user show --property=LoadState,ActiveState vigilsvc.service");
    EXPECT_EQ(c[1], "--user stop --no-block vigilsvc.service");
}

TEST_F(ServiceActions, StopThatDoesNotEndSaysSoInJapanese)
{
    context.language = Language::Japanese;
    test::writeFile(dir / "states", "active\nactive\n");
    stopService(context);
    EXPECT_EQ(printed, "停止中 VGN - Sentrelle Notification Service...\n"
                       "VGN - Sentrelle Notification Service 停止に失敗しました。\n");
}

TEST_F(ServiceActions, StopOfAStoppedOrMissingService)
{
    stopService(context); // inactive
    EXPECT_EQ(printed, "");
    EXPECT_EQ(calls().size(), 1u) << "nothing to stop";

    test::writeFile(dir / "load", "not-found\n");
    stopService(context);
    EXPECT_EQ(printed, "OpenService failed - Unit vigilsvc.service not found\n");

    printed.clear();
    test::writeFile(dir / "fail-show", "Failed to connect to bus: No medium found\n");
    stopService(context);
    EXPECT_EQ(printed, "OpenSCManager failed - Failed to connect to bus: No medium found (0x1)\n");
}

TEST_F(ServiceActions, RemoveOfAStoppedServiceSaysNothingAboutStopping)
{
    installService(context);
    printed.clear();
    std::remove((dir / "calls").c_str());
    removeService(context);
    EXPECT_EQ(printed, "VGN - Sentrelle Notification Service removed.\n");
    EXPECT_FALSE(test::fileExists(unitFile()));
    EXPECT_FALSE(test::fileExists(context.autostartPath));
    EXPECT_EQ(calls(), (std::vector<std::string>{"--user show --property=LoadState,ActiveState vigilsvc.service",
                                                 "--user disable vigilsvc.service", "--user daemon-reload"}));
    EXPECT_EQ(stringValue(*store, kServiceKey, "DisplayName"), "VGN - Sentrelle Notification Service")
        << "the keys stay";
}

TEST_F(ServiceActions, RemoveStopsARunningServiceFirst)
{
    installService(context);
    printed.clear();
    test::writeFile(dir / "states", "active\ninactive\n");
    context.language = Language::Japanese;
    removeService(context);
    EXPECT_EQ(printed, "停止中 VGN - Sentrelle Notification Service...\n"
                       "VGN - Sentrelle Notification Service 停止しました。\n"
                       "VGN - Sentrelle Notification Service 削除されました。\n");
}

TEST_F(ServiceActions, RemoveFailures)
{
    test::writeFile(dir / "load", "not-found\n");
    removeService(context);
    EXPECT_EQ(printed, "OpenService failed - Unit vigilsvc.service not found\n");

    std::remove((dir / "load").c_str());
    printed.clear();
    test::writeFile(dir / "fail-disable", "Access denied\n");
    removeService(context);
    EXPECT_EQ(printed, "DeleteService failed - Access denied (0x1)\n");
}

TEST(UserUnit, TextHasTheKeysTheManagerNeeds)
{
    const std::string text = unitText("/usr/bin/vigilsvc");
    for (const char *line : {"ExecStart=/usr/bin/vigilsvc\n", "Restart=on-failure\n", "KillMode=mixed\n",
                             "WantedBy=graphical-session.target\n", "Description=VGN - Sentrelle Notification Service\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
    const std::size_t service = text.find("[Service]");
    ASSERT_NE(service, std::string::npos);
    EXPECT_LT(text.find("StartLimitIntervalSec="), service) << "start limits belong to [Unit]";
    EXPECT_LT(text.find("StartLimitBurst="), service);
    EXPECT_EQ(text.find("RestartSteps"), std::string::npos);
    EXPECT_EQ(text.find("RestartMaxDelaySec"), std::string::npos);
    EXPECT_EQ(text.find('@'), std::string::npos) << "no placeholder left";

    EXPECT_EQ(unitExecPath("/a b/100%/v\"s\\x"), "\"/a b/100%%/v\\\"s\\\\x\"");
    EXPECT_EQ(unitExecPath("/opt/d$x/vigilsvc"), "/opt/d$x/vigilsvc");
}

TEST(UserUnit, PackagedUnitIsTheInstalledText)
{
    EXPECT_EQ(test::readFile(PACKAGED_UNIT), unitText(INSTALLED_EXEC));
}

TEST(UserUnit, UnitDirectoryFollowsXdgConfigHome)
{
    {
        test::ScopedEnv env(test::EnvVars{{"XDG_CONFIG_HOME", "/tmp/cfg"}});
        EXPECT_EQ(userUnitDirectory(), "/tmp/cfg/systemd/user");
        EXPECT_EQ(userAutostartPath(), "/tmp/cfg/autostart/vigilsvc.desktop");
    }
    test::ScopedEnv env(test::EnvVars{{"XDG_CONFIG_HOME", "relative"}, {"HOME", "/home/u"}}); // not absolute: ignored
    EXPECT_EQ(userUnitDirectory(), "/home/u/.config/systemd/user");
}

std::string execLine(const std::string &entry)
{
    const std::size_t at = entry.find("\nExec=");
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + 6;
    return entry.substr(start, entry.find('\n', start) - start);
}

// The autostart entry starts the unit only once the user has enabled it.
TEST(UserUnit, AutostartEntryStartsOnlyAnEnabledUnit)
{
    TempDir dir;
    test::writeFakeSystemctl(dir.path());
    const std::string exec = execLine(autostartText());
    ASSERT_FALSE(exec.empty());
    const std::vector<std::string> argv{"env", "PATH=" + dir.path() + ":/usr/bin:/bin", "sh", "-c", exec};

    ProgramResult r = runProgram(argv);
    EXPECT_EQ(r.exitStatus, 0) << r.errors;
    EXPECT_EQ(test::readLines(dir / "calls"), (std::vector<std::string>{"--user is-enabled --quiet vigilsvc.service",
                                                                        "--user start vigilsvc.service"}));

    std::remove((dir / "calls").c_str());
    test::writeFile(dir / "fail-is-enabled", "");
    r = runProgram(argv);
    EXPECT_EQ(test::readLines(dir / "calls"),
              (std::vector<std::string>{"--user is-enabled --quiet vigilsvc.service"}));

    if (access("/usr/bin/desktop-file-validate", X_OK) == 0) {
        test::writeFile(dir / "vigilsvc.desktop", autostartText());
        r = runProgram({"desktop-file-validate", dir / "vigilsvc.desktop"});
        EXPECT_EQ(r.exitStatus, 0) << r.output << r.errors;
        EXPECT_EQ(r.output, "") << "no warnings";
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
    for (const std::string &program : {std::string(VIGILSVC_BINARY), dir / "with space %and$dollar"}) {
        if (program != VIGILSVC_BINARY)
            test::copyFile(VIGILSVC_BINARY, program);
        const std::string unit = dir / "vigilsvc.service";
        test::writeFile(unit, unitText(program));
        const ProgramResult r = runProgram(
            {"env", "XDG_RUNTIME_DIR=" + runtime, "HOME=" + dir.path(), "systemd-analyze", "--user", "verify", unit},
            60000);
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.exitStatus, 0) << r.errors;
        // Unknown or misplaced keys are only warned about.
        EXPECT_EQ(r.errors.find("vigilsvc.service"), std::string::npos) << r.errors;
    }
}

} // namespace
} // namespace vigilon::svc
