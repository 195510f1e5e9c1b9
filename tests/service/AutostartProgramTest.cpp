// SPDX-License-Identifier: MIT
// Autostart as the main dialog turns it on and off: the real vigilsvc run as
// a child with "-install" and "-remove" (a stand-in systemctl, a scratch
// XDG_CONFIG_HOME and store), its end and output read on the event loop,
// and the state judged by what it left behind.
#include "app/Autostart.h"
#include "base/PollEventLoop.h"
#include "tests/service/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vigilon::test {
namespace {

class AutostartProgram : public ::testing::Test {
protected:
    AutostartProgram()
    {
        std::filesystem::copy_file(VIGILSVC_BINARY, dir / "vigilsvc");
        writeFakeSystemctl(dir.path());
    }
    // One change, run to its outcome on the loop.
    std::pair<bool, std::string> change(bool install)
    {
        bool ended = false;
        std::pair<bool, std::string> outcome;
        EXPECT_TRUE(autostart.change(install, [&](bool installed, const std::string &failure) {
            ended = true;
            outcome = {installed, failure};
        }));
        EXPECT_FALSE(autostart.change(install, nullptr)) << "one change at a time";
        EXPECT_TRUE(loop.runUntil([&] { return ended; }, 30000));
        return outcome;
    }
    std::string unit() const { return dir / "config/systemd/user/vigilsvc.service"; }
    // A socket where a systemd user manager listens; without one, the
    // runtime folder is that of a user for whom none runs.
    void listenAsUserManager()
    {
        std::filesystem::create_directories(dir / "run/systemd");
        manager_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = dir / "run/systemd/private";
        ASSERT_LT(path.size(), sizeof address.sun_path);
        path.copy(address.sun_path, path.size());
        ASSERT_EQ(bind(manager_, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    }
    ~AutostartProgram() override
    {
        if (manager_ >= 0)
            close(manager_);
    }

    TempDir dir;
    ScopedEnv env{{"VIGILON_VIGILSVC", dir / "vigilsvc"},
                  {"VIGILSVC_SYSTEMCTL", dir / "systemctl"},
                  {"XDG_CONFIG_HOME", dir / "config"},
                  {"XDG_RUNTIME_DIR", dir / "run"},
                  {"VIGILON_REGISTRY", dir / "registry.sqlite"},
                  {"LANG", "C"},
                  {"LC_ALL", std::nullopt},
                  {"LC_MESSAGES", std::nullopt},
                  {"VIGILON_LANG", "en"}};
    PollEventLoop loop;
    std::unique_ptr<ServiceHostSetup> host = makeServiceHostSetup(loop);
    Autostart autostart{host.get()};
    int manager_ = -1;
};

TEST_F(AutostartProgram, installsAndRemovesThroughVigilsvcAndShowsWhatIsLeft)
{
    EXPECT_FALSE(autostart.installed());
    EXPECT_EQ(change(true), std::make_pair(true, std::string()));
    EXPECT_TRUE(exists(unit()));
    EXPECT_TRUE(autostart.installed());
    EXPECT_EQ(readLines(dir / "calls"), (std::vector<std::string>{"--user daemon-reload", "--user enable vigilsvc.service",
                                                                  "--user start vigilsvc.service"}));
    EXPECT_EQ(change(false), std::make_pair(false, std::string()));
    EXPECT_FALSE(exists(unit()));
}

TEST_F(AutostartProgram, aFailureSaysWhyInTheWordsOfVigilsvc)
{
    listenAsUserManager();
    writeFile(dir / "fail-enable", "Failed to enable unit: Access denied\n");
    const auto [installed, failure] = change(true);
    EXPECT_FALSE(installed);
    EXPECT_FALSE(exists(unit())) << "a failed install leaves nothing behind";
    EXPECT_EQ(failure.rfind("Autostart could not be turned on.\r\n", 0), 0u) << failure;
    EXPECT_NE(failure.find("Access denied"), std::string::npos) << failure;

    std::filesystem::remove(dir / "vigilsvc");
    const auto [still, missing] = change(true);
    EXPECT_FALSE(still);
    EXPECT_EQ(missing, "Autostart could not be turned on.\r\n" + (dir / "vigilsvc") +
                           " could not be run: No such file or directory");
}

// Without a user manager vigilsvc can only repeat systemctl's words under
// the service API's names: the box says what is missing here, and what to do.
TEST_F(AutostartProgram, withoutAUserManagerTheFailureSaysSoInThisSystemsWords)
{
    writeFile(dir / "fail-daemon-reload", "Failed to connect to bus: No medium found\n");
    const auto [installed, failure] = change(true);
    EXPECT_FALSE(installed);
    EXPECT_EQ(failure.rfind("Autostart could not be turned on.\r\nNo systemd user manager is running", 0), 0u)
        << failure;
    EXPECT_NE(failure.find("vigilon -service"), std::string::npos) << failure;
    EXPECT_EQ(failure.find("OpenSCManager"), std::string::npos) << failure;

    // Once one runs, its own failures are told as vigilsvc tells them.
    listenAsUserManager();
    EXPECT_NE(change(true).second.find("OpenSCManager failed - Failed to connect to bus"), std::string::npos);
}

} // namespace
} // namespace vigilon::test
