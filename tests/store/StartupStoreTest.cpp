// SPDX-License-Identifier: MIT
// The store while someone else holds it: the load at start beside another
// connection's write transaction, and the real vigilon-reg's question, query
// and word about a running Vigilon.
#include "app/store/InstanceLock.h"
#include "app/store/Settings.h"
#include "app/store/SqliteRegistry.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FrameParts.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vigilon {
namespace {

using reg::Status;

const std::string kMonitor = "HKLM\\Software\\Ardentis\\Vigilon\\Monitor";

// A second connection to the file, as another process would hold it.
class OtherConnection {
public:
    explicit OtherConnection(const std::string &path) { sqlite3_open(path.c_str(), &db_); }
    ~OtherConnection() { sqlite3_close(db_); }
    int exec(const char *sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

private:
    sqlite3 *db_ = nullptr;
};

class StartupStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *tool = std::getenv("VIGILON_REG_TOOL");
        if (!tool || !*tool)
            GTEST_SKIP() << "VIGILON_REG_TOOL is not set; run the tests through ctest";
        tool_ = tool;
        reg::SqliteRegistry::Options options;
        options.busyTimeoutMs = 200;
        store_ = reg::SqliteRegistry::open(file(), options);
        ASSERT_TRUE(store_);
        const std::vector<test::StoredPort> ports = {{21, 0, 0, 0, "", "ftp"}, {80, 0, 0, 0, "", "web"}};
        ASSERT_EQ(test::storePorts(*store_, ports, 7, 1, "h"), Status::Ok);
    }

    std::string file() const { return dir_ / "registry.sqlite"; }

    // Runs vigilon-reg with stdin and stdout on pipes; answer is written once
    // the question has shown, after whileAsking ran.
    int regAsking(const std::vector<std::string> &args, const std::string &answer,
                  const std::function<void()> &whileAsking)
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return -1;
        const int pid = test::forkChild([&] {
            dup2(in[0], 0);
            dup2(out[1], 1);
            setenv("VIGILON_REGISTRY", file().c_str(), 1);
            std::vector<char *> argv{tool_.data()};
            for (const auto &a : args)
                argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            return 127;
        });
        close(in[0]);
        close(out[1]);
        std::string shown;
        char buffer[256];
        pollfd p{out[0], POLLIN, 0};
        while (shown.find("(Yes/No)?") == std::string::npos && poll(&p, 1, 5000) > 0) {
            const ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            shown.append(buffer, static_cast<std::size_t>(n));
        }
        EXPECT_NE(shown.find("(Yes/No)?"), std::string::npos) << shown;
        whileAsking();
        EXPECT_EQ(write(in[1], answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
        close(in[1]);
        close(out[0]);
        return test::waitChild(pid);
    }

    test::TempDir dir_;
    std::string tool_;
    std::unique_ptr<reg::SqliteRegistry> store_;
};

TEST_F(StartupStoreTest, LoadReadsBesideAnotherWritersTransaction)
{
    OtherConnection other(file());
    ASSERT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
    std::string target;
    Status status = Status::IoError;
    const LoadedSettings loaded = loadSettings(*store_, true, target, &status);
    EXPECT_EQ(status, Status::Ok);
    EXPECT_EQ(loaded.ports.size(), 2u);
    EXPECT_EQ(loaded.intervalSeconds, 7u);
    EXPECT_EQ(target, "h");
    // A holder that keeps readers out too is reported as Busy, never as an
    // empty configuration.
    ASSERT_EQ(other.exec("COMMIT"), SQLITE_OK);
    ASSERT_EQ(other.exec("BEGIN EXCLUSIVE"), SQLITE_OK);
    EXPECT_TRUE(loadSettings(*store_, false, target, &status).ports.empty());
    EXPECT_EQ(status, Status::Busy);
}

TEST_F(StartupStoreTest, RegToolAsksBeforeTakingTheStore)
{
    OtherConnection other(file());
    const auto writeMeanwhile = [&] {
        EXPECT_EQ(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
        EXPECT_EQ(other.exec("COMMIT"), SQLITE_OK);
    };
    EXPECT_EQ(regAsking({"add", kMonitor, "/v", "Interval", "/t", "REG_DWORD", "/d", "9"}, "y\n", writeMeanwhile), 0);
    EXPECT_EQ(test::storedDword(*store_, kMonitorKey, "Interval"), 9u);
    EXPECT_EQ(regAsking({"delete", kMonitor, "/v", "Interval"}, "y\n", writeMeanwhile), 0);
    EXPECT_EQ(test::storedDword(*store_, kMonitorKey, "Interval"), 0xFFFFFFFFu);
}

TEST_F(StartupStoreTest, RegToolQueriesWithoutWritingAndSaysWhenVigilonHoldsTheStore)
{
    const std::string missing = dir_ / "none/registry.sqlite";
    test::RunResult result = test::run({tool_, "query", kMonitor}, {"VIGILON_REGISTRY=" + missing});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "ERROR: The system was unable to find the specified registry key or value.\n");
    EXPECT_EQ(access((dir_ / "none").c_str(), F_OK), -1) << "the query made the store's folder";

    // The lock a running Vigilon holds on this store.
    test::TempDir runtime;
    const std::vector<std::string> env{"VIGILON_REGISTRY=" + file(), "XDG_RUNTIME_DIR=" + runtime.path()};
    const std::vector<std::string> add{tool_, "add", kMonitor, "/v", "Retry", "/t", "REG_DWORD", "/d", "3", "/f"};
    result = test::run(add, env);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    const std::string lock = runtime / (instanceKey(dir_.path() + "/./registry.sqlite") + ".lock");
    const int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    result = test::run(add, env);
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.err.find("a running Vigilon uses " + file()), std::string::npos) << result.err;
    // A query changes nothing and says nothing of it.
    result = test::run({tool_, "query", kMonitor, "/v", "Retry"}, env);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    close(fd);
}

} // namespace
} // namespace vigilon
