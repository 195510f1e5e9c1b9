// SPDX-License-Identifier: MIT
// The whole program as a user or a service manager runs it: a real vigilon
// process on the offscreen platform, a real store file, real servers on
// loopback.
#include "app/store/SqliteRegistry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FrameParts.h"
#include "tests/support/Network.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vigilon::test {
namespace {

namespace fs = std::filesystem;

// What /proc says of a process: open descriptors and resident memory (KiB).
std::size_t openDescriptors(pid_t pid)
{
    std::error_code error;
    std::size_t count = 0;
    for (auto it = fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
         !error && it != fs::directory_iterator(); it.increment(error))
        ++count;
    return count;
}

std::size_t residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtoul(line.c_str() + 6, nullptr, 10);
    }
    return 0;
}

std::size_t occurrences(const std::string &text, const std::string &part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

class VigilonProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *bin = std::getenv("VIGILON_BIN");
        if (!bin || !fs::exists(bin))
            GTEST_SKIP() << "VIGILON_BIN does not name the vigilon program";
        binary_ = bin;
        fs::create_directories(dir_ / "runtime");
        fs::permissions(dir_ / "runtime", fs::perms::owner_all);
    }

    struct Entry {
        std::uint32_t port;
        std::uint32_t protocol;
        std::uint32_t threshold = 0;
        std::string command = {};
    };
    void storeConfig(const std::vector<Entry> &entries, std::uint32_t interval = 1, std::uint32_t retry = 1)
    {
        auto registry = reg::SqliteRegistry::open(storePath_);
        ASSERT_TRUE(registry && registry->createKey(kProgramKey));
        ASSERT_EQ(setLogonFlag(*registry, 1), reg::Status::Ok);
        std::vector<StoredPort> ports;
        for (const Entry &e : entries)
            ports.push_back({e.port, e.protocol, 1, e.threshold, e.command, "entry" + std::to_string(ports.size())});
        ASSERT_EQ(storePorts(*registry, ports, interval, retry, "127.0.0.1"), reg::Status::Ok);
    }

    std::uint32_t stored(const char *key, const char *name)
    {
        auto registry = reg::SqliteRegistry::open(storePath_);
        return registry ? storedDword(*registry, key, name) : 0xFFFFFFFFu;
    }

    std::string binary_;
    TempDir dir_;
    std::string storePath_ = dir_ / "registry.sqlite";
    // The environment of a run on the offscreen platform.
    const std::vector<std::string> offscreen_ = {"QT_QPA_PLATFORM=offscreen", "VIGILON_REGISTRY=" + storePath_,
                                                 "XDG_RUNTIME_DIR=" + dir_ / "runtime", "TZ=UTC"};
};

// Without a display: help, version and a wrong option answer at once; an
// interactive start says it needs a desktop; a service start monitors
// headless and ends in order on SIGTERM.
TEST_F(VigilonProcess, withoutADisplayAndEndedBySigterm)
{
    const std::vector<std::string> noDisplay = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=",
                                                "VIGILON_REGISTRY=" + storePath_,
                                                "XDG_RUNTIME_DIR=" + dir_ / "runtime"};
    ChildProcess help({binary_, "--help"}, noDisplay);
    EXPECT_EQ(help.waitForExit(10000), 0);
    ChildProcess version({binary_, "--version"}, noDisplay);
    EXPECT_EQ(version.waitForExit(10000), 0);
    ChildProcess bogus({binary_, "--bogus", "--version"}, noDisplay);
    EXPECT_EQ(bogus.waitForExit(10000), 2);
    EXPECT_NE(bogus.output().find("unknown option --bogus"), std::string::npos) << bogus.output();
    EXPECT_NE(bogus.output().find("Usage: vigilon"), std::string::npos) << bogus.output();
    for (const char *interactive : {"-h", "-t127.0.0.2"}) {
        ChildProcess start({binary_, interactive}, noDisplay);
        EXPECT_EQ(start.waitForExit(10000), 1) << interactive;
        EXPECT_NE(start.output().find("no graphical session"), std::string::npos) << start.output();
    }

    // On an empty store, and without a runtime folder, which Qt would
    // complain about: it says what to do to watch something.
    std::vector<std::string> bare = noDisplay;
    bare.back() = "XDG_RUNTIME_DIR=";
    ChildProcess empty({binary_, "-service"}, bare);
    EXPECT_TRUE(empty.waitForOutput("vigilon-reg(1)", 15000)) << empty.output();
    EXPECT_NE(empty.output().find("no entry is configured"), std::string::npos) << empty.output();
    EXPECT_EQ(empty.output().find("QStandardPaths"), std::string::npos) << empty.output();
    empty.signal(SIGTERM);
    EXPECT_EQ(empty.waitForExit(10000), 0) << empty.output();

    // SIGTERM ends it in order: Logon is cleared, the configuration kept.
    TcpServer server(TcpServer::Answer);
    storeConfig({{server.port(), 0}}, 1, 2);
    ChildProcess service({binary_, "-service"}, noDisplay);
    EXPECT_TRUE(service.waitForOutput("entry0: Ok", 15000)) << service.output();
    service.signal(SIGTERM);
    EXPECT_EQ(service.waitForExit(10000), 0) << service.output();
    EXPECT_EQ(stored(kProgramKey, kLogonValue), 0u);
    EXPECT_EQ(stored(kMonitorKey, "Port Count"), 1u);
    EXPECT_EQ(stored(kMonitorKey, "Retry"), 2u);
    EXPECT_EQ(stored(kMonitorKey, "Port #0"), server.port());
}

// Nobody is there to answer in service mode: alert programs that cannot be
// started are said on standard error and in one box that never waits, and
// the rounds go on, for a minute, with nothing growing.
TEST_F(VigilonProcess, aFlappingTargetWithAMissingAlertProgramRunsOnUnattended)
{
    TcpServer server(TcpServer::Flapping, 0, "HTTP/1.1 200 OK\r\n\r\n");
    std::vector<Entry> entries;
    for (int i = 0; i < 10; ++i)
        entries.push_back({server.port(), 3, 0, dir_ / "missing-alert.exe" + " %TARGET%"});
    storeConfig(entries, 1, 1);
    ChildProcess vigilon({binary_, "-service"}, offscreen_);
    ASSERT_TRUE(vigilon.started());
    const auto begin = std::chrono::steady_clock::now();
    const auto elapsed = [&] { return std::chrono::steady_clock::now() - begin; };
    // Standard error is read all along, so that the program never waits on
    // a full pipe.
    const auto readFor = [&](std::chrono::seconds until) {
        while (elapsed() < until)
            vigilon.waitForOutput("\x01", 500);
    };
    readFor(std::chrono::seconds(12));
    const std::size_t descriptorsEarly = openDescriptors(vigilon.pid());
    const std::size_t memoryEarly = residentKiB(vigilon.pid());
    readFor(std::chrono::seconds(62));
    const std::size_t descriptorsLate = openDescriptors(vigilon.pid());
    const std::size_t memoryLate = residentKiB(vigilon.pid());

    vigilon.signal(SIGTERM);
    EXPECT_EQ(vigilon.waitForExit(10000), 0) << "the process ended on its own";
    const std::string &output = vigilon.output();
    const std::size_t failures = occurrences(output, "could not be started");
    EXPECT_GE(failures, 10u) << output.substr(0, 2000);
    // Each failure is named with the message it would have shown.
    EXPECT_EQ(occurrences(output, "外部コマンドの実行に失敗しました。"), failures);
    EXPECT_LE(descriptorsLate, descriptorsEarly + 4) << descriptorsEarly << " early, " << descriptorsLate << " late";
#ifdef __SANITIZE_ADDRESS__
    // The address sanitizer holds freed memory back on purpose.
    (void)memoryEarly;
    (void)memoryLate;
#else
    EXPECT_LE(memoryLate, memoryEarly + 8 * 1024) << memoryEarly << " KiB early, " << memoryLate << " KiB late";
#endif
}

// With few descriptors, checks go without; the program keeps enough to show
// its dialog when a second start asks for it.
TEST_F(VigilonProcess, aDescriptorLimitCostsChecksNotTheProgram)
{
    // Connections wait in the backlog, never accepted: each check holds its
    // socket until the next round.
    TcpServer server(TcpServer::Queue);
    storeConfig(std::vector<Entry>(100, Entry{server.port(), 0}), 1, 1);
    ChildProcess first({"prlimit", "--nofile=64:64", binary_, "-service"}, offscreen_);
    ASSERT_TRUE(first.waitForOutput("out of the process's file descriptors", 20000)) << first.output();
    ChildProcess second({binary_}, offscreen_);
    EXPECT_EQ(second.waitForExit(15000), 0) << second.output();
    // The dialog is up in the first; rounds go on for a while under it.
    first.waitForOutput("\x01", 3000);
    EXPECT_TRUE(first.running()) << first.output();
    first.signal(SIGTERM);
    EXPECT_EQ(first.waitForExit(10000), 0) << first.output();
}

} // namespace
} // namespace vigilon::test
