// SPDX-License-Identifier: MIT
// Channel messages from a real vigilon run headless: what a receiver gets
// of real failures and recoveries while another receiver holds its request,
// and a message that waited in the outbox over a restart.
#include "store/ChannelSettings.h"
#include "store/posix/SqliteRegistry.h"
#include "tests/support/ChannelReceivers.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FrameParts.h"
#include "tests/support/Network.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <filesystem>

namespace vigilon::test {
namespace {

namespace fs = std::filesystem;

std::size_t occurrences(const std::string &text, const std::string &part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

class ChannelProcess : public ::testing::Test {
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
    void store(const std::vector<StoredPort> &entries, const std::vector<ChannelSetting> &channels)
    {
        auto registry = reg::SqliteRegistry::open(storePath_);
        ASSERT_TRUE(registry);
        ASSERT_EQ(storePorts(*registry, entries, 1, 1, "127.0.0.1"), reg::Status::Ok);
        ASSERT_EQ(saveChannels(*registry, channels), reg::Status::Ok);
    }
    std::unique_ptr<ChildProcess> run()
    {
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{binary_, "-service", "--verbose"},
            std::vector<std::string>{"DISPLAY=", "WAYLAND_DISPLAY=", "VIGILON_REGISTRY=" + storePath_,
                                     "VIGILON_HISTORY=" + historyPath_, "XDG_RUNTIME_DIR=" + dir_ / "runtime",
                                     "TZ=UTC"});
    }
    // The attempts of the messages in the outbox, oldest first (read only
    // while no vigilon runs on the file).
    std::vector<int> outbox()
    {
        std::vector<int> attempts;
        sqlite3 *db = nullptr;
        if (sqlite3_open_v2(historyPath_.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_busy_timeout(db, 2000);
            sqlite3_stmt *query = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT attempts FROM outbox ORDER BY id", -1, &query, nullptr) == SQLITE_OK)
                while (sqlite3_step(query) == SQLITE_ROW)
                    attempts.push_back(sqlite3_column_int(query, 0));
            sqlite3_finalize(query);
        }
        sqlite3_close(db);
        return attempts;
    }
    std::string binary_;
    TempDir dir_;
    std::string storePath_ = dir_ / "registry.sqlite";
    std::string historyPath_ = dir_ / "history.sqlite";
};

TEST_F(ChannelProcess, aFailureAndItsRecoveryArriveOnceInOrderWhileAHeldRequestHoldsUpNoCheck)
{
    ChannelReceiver good("http", "ok", dir_ / "good.jsonl");
    ChannelReceiver held("http", "silent", dir_ / "held.jsonl");
    ASSERT_TRUE(good.ok() && held.ok()) << good.said() << held.said();
    TcpServer watched(TcpServer::CloseAtOnce);
    RefusedPort refused;
    const std::uint16_t flapping = refused.port();
    store({{watched.port(), GenericTcp, 1, 0, "", "watched"}, {flapping, GenericTcp, 1, 0, "", "flapping"}},
          {{"http://127.0.0.1:" + std::to_string(good.port()) + "/in", "good", true, 0, {}},
           {"http://127.0.0.1:" + std::to_string(held.port()) + "/in", "held", false, 0, {}}});
    auto vigilon = run();
    ASSERT_TRUE(vigilon->waitForOutput("\tflapping\tFailed\t", 30000)) << vigilon->output();
    ASSERT_TRUE(waitUntil([&] { return !held.received().empty(); }, 30000)) << vigilon->output();
    // The held request stays unanswered (for the send's whole time limit)
    // while the checks go on, one a second.
    vigilon->skipSeenOutput();
    for (int n = 0; n < 5; ++n) {
        ASSERT_TRUE(vigilon->waitForOutput("\twatched\tOk\t", 10000)) << vigilon->output();
        vigilon->skipSeenOutput();
    }
    EXPECT_EQ(held.received().size(), 1u);

    refused.release();
    TcpServer back(TcpServer::CloseAtOnce, 0, {}, "127.0.0.1", flapping);
    ASSERT_TRUE(waitUntil([&] { return good.received().size() >= 2; }, 30000)) << vigilon->output();
    // Two more checks: nothing else is sent.
    for (int n = 0; n < 2; ++n) {
        ASSERT_TRUE(vigilon->waitForOutput("\tflapping\tOk\t", 10000));
        vigilon->skipSeenOutput();
    }
    vigilon->signal(SIGTERM);
    EXPECT_EQ(vigilon->waitForExit(20000), 0);
    const auto received = good.received();
    ASSERT_EQ(received.size(), 2u);
    const auto down = nlohmann::json::parse(received[0]["body"].get<std::string>());
    const auto up = nlohmann::json::parse(received[1]["body"].get<std::string>());
    // The document's every field: ChannelMessageTest.
    EXPECT_EQ(down["event"], "down");
    EXPECT_EQ(down["port"], flapping);
    EXPECT_EQ(down["reason"], "refused");
    EXPECT_EQ(down["changes"].size(), 1u) << "the watched entry did not change";
    EXPECT_EQ(up["event"], "up");
    EXPECT_EQ(up["name"], "flapping");
    EXPECT_EQ(up["outage_start"], down["outage_start"]);
    EXPECT_GE(up["outage_seconds"].get<int>(), 1);
    // The held channel takes no recoveries.
    EXPECT_EQ(held.received().size(), 1u);
    EXPECT_EQ(occurrences(vigilon->output(), "channel"), 0u) << vigilon->output();
}

TEST_F(ChannelProcess, aMessageNotDeliveredBeforeTheEndIsSentOnceAfterTheNextStart)
{
    RefusedPort refused;
    const std::uint16_t entryPort = refused.port();
    std::uint16_t receiverPort = 0;
    {
        ChannelReceiver refusing("http", "status500", dir_ / "refused.jsonl");
        ASSERT_TRUE(refusing.ok()) << refusing.said();
        receiverPort = refusing.port();
        store({{entryPort, GenericTcp, 1, 0, "", "down at first"}},
              {{"http://127.0.0.1:" + std::to_string(receiverPort) + "/in", "later", true, 0, {}}});
        auto vigilon = run();
        ASSERT_TRUE(vigilon->waitForOutput("\tdown at first\tFailed\t", 30000)) << vigilon->output();
        // Tried once and refused, as the outbox tells once the history has
        // written it; the next try is half a minute away.
        ASSERT_TRUE(waitUntil([&] { return outbox() == std::vector<int>{1}; }, 30000)) << vigilon->output();
        vigilon->signal(SIGTERM);
        EXPECT_EQ(vigilon->waitForExit(20000), 0);
        EXPECT_EQ(refusing.received().size(), 1u);
    }
    EXPECT_EQ(outbox(), std::vector<int>{1});
    ChannelReceiver receiver("http", "ok", dir_ / "later.jsonl", {"--port", std::to_string(receiverPort)});
    ASSERT_TRUE(receiver.ok()) << receiver.said();
    // The entry answers now: the next run has nothing new to say of it.
    refused.release();
    TcpServer back(TcpServer::CloseAtOnce, 0, {}, "127.0.0.1", entryPort);
    auto vigilon = run();
    ASSERT_TRUE(waitUntil([&] { return !receiver.received().empty(); }, 30000)) << vigilon->output();
    for (int n = 0; n < 3; ++n) {
        ASSERT_TRUE(vigilon->waitForOutput("\tdown at first\tOk\t", 10000));
        vigilon->skipSeenOutput();
    }
    vigilon->signal(SIGTERM);
    EXPECT_EQ(vigilon->waitForExit(20000), 0);
    const auto received = receiver.received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(nlohmann::json::parse(received[0]["body"].get<std::string>())["event"], "down");
    EXPECT_TRUE(outbox().empty());
}

} // namespace
} // namespace vigilon::test
