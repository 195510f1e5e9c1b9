// SPDX-License-Identifier: MIT
// A quiet period in the real program run headless: a failing entry quiet
// for some seconds is checked and recorded, but its alert command (a real
// child) does not run and no channel message goes to the real receiver
// until the period ends; then both come once.
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
#include <ctime>
#include <filesystem>
#include <sstream>

namespace vigilon::test {
namespace {

namespace fs = std::filesystem;

// Seconds since 1970 of a UTC time that text begins with, written as
// format says (year, month, day, hour, minute, second); -1 when it does not.
std::int64_t utcSeconds(const std::string &text, const char *format)
{
    std::tm t{};
    if (std::sscanf(text.c_str(), format, &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min, &t.tm_sec) != 6)
        return -1;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return static_cast<std::int64_t>(timegm(&t));
}

// The times of the --verbose lines that say the entry failed.
std::vector<std::int64_t> failedStamps(const std::string &output, const std::string &name)
{
    std::vector<std::int64_t> stamps;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::int64_t at = utcSeconds(line, "%d-%d-%d %d:%d:%d");
        if (line.find("\t" + name + "\tFailed\t") != std::string::npos && at >= 0)
            stamps.push_back(at);
    }
    return stamps;
}

TEST(QuietProcess, aFailureDuringAQuietPeriodIsRecordedAndAnnouncedOnceWhenItEnds)
{
    const char *bin = std::getenv("VIGILON_BIN");
    if (!bin || !fs::exists(bin))
        GTEST_SKIP() << "VIGILON_BIN does not name the vigilon program";
    TempDir dir;
    fs::create_directories(dir / "runtime");
    fs::permissions(dir / "runtime", fs::perms::owner_all);
    const std::string alertLog = dir / "alert.log";
    const std::string script = dir / "alert.sh";
    ASSERT_TRUE(writeFile(script, "#!/bin/sh\necho \"$(date +%s) $VIGILON_ENTRY $1\" >> '" + alertLog + "'\n", true));
    ChannelReceiver receiver("http", "ok", dir / "in.jsonl");
    ASSERT_TRUE(receiver.ok()) << receiver.said();

    const std::string storePath = dir / "registry.sqlite";
    const std::string historyPath = dir / "history.sqlite";
    // Quiet for the first seconds of the run: the entry is declared failed
    // (at its second check, a second apart, two seconds after the start)
    // within them.
    const std::int64_t quietUntil = static_cast<std::int64_t>(std::time(nullptr)) + 12;
    const RefusedPort down;
    {
        auto registry = reg::SqliteRegistry::open(storePath);
        ASSERT_TRUE(registry);
        ASSERT_EQ(storePorts(*registry, {{down.port(), GenericTcp, 1, 0, script + " %TARGET%", "down"}}, 1, 1,
                             "127.0.0.1"),
                  reg::Status::Ok);
        ASSERT_EQ(saveChannels(*registry, {{"http://127.0.0.1:" + std::to_string(receiver.port()) + "/in", "", true,
                                            0, {}}}),
                  reg::Status::Ok);
        ASSERT_EQ(registry->openKey(kMonitorKey, reg::KeySetValue)
                      ->setValue("Quiet Until #0", reg::RegDword,
                                 reg::dwordBytes(static_cast<std::uint32_t>(quietUntil))),
                  reg::Status::Ok);
    }
    ChildProcess vigilon({bin, "-service", "--verbose"},
                         {"DISPLAY=", "WAYLAND_DISPLAY=", "VIGILON_REGISTRY=" + storePath,
                          "VIGILON_HISTORY=" + historyPath, "XDG_RUNTIME_DIR=" + dir / "runtime", "TZ=UTC"});
    ASSERT_TRUE(waitUntil([&] { return !readLines(alertLog).empty(); }, 60000)) << vigilon.output();
    ASSERT_TRUE(waitUntil([&] { return !receiver.received().empty(); }, 30000)) << vigilon.output();
    // Three more checks fail: nothing more is said.
    vigilon.skipSeenOutput();
    for (int n = 0; n < 3; ++n) {
        ASSERT_TRUE(vigilon.waitForOutput("\tdown\tFailed\t", 10000)) << vigilon.output();
        vigilon.skipSeenOutput();
    }
    EXPECT_EQ(vigilon.terminate(20000), 0);

    const std::vector<std::int64_t> failed = failedStamps(vigilon.output(), "down");
    ASSERT_FALSE(failed.empty()) << vigilon.output();
    ASSERT_LT(failed.front(), quietUntil) << "declared failed while quiet, and checked on:\n" << vigilon.output();
    EXPECT_GE(std::count_if(failed.begin(), failed.end(), [&](std::int64_t t) { return t < quietUntil; }), 2)
        << vigilon.output();

    const std::vector<std::string> alerts = readLines(alertLog);
    ASSERT_EQ(alerts.size(), 1u) << vigilon.output();
    EXPECT_GE(std::stoll(alerts[0]), quietUntil) << alerts[0];
    EXPECT_NE(alerts[0].find(" down 127.0.0.1"), std::string::npos) << alerts[0];
    const auto received = receiver.received();
    ASSERT_EQ(received.size(), 1u);
    const auto message = nlohmann::json::parse(received[0]["body"].get<std::string>());
    EXPECT_EQ(message["event"], "down");
    EXPECT_EQ(message["name"], "down");
    EXPECT_GE(utcSeconds(message["time"].get<std::string>(), "%d-%d-%dT%d:%d:%d"), quietUntil) << message["time"];
    // The outage began without its alert; the quiet span is kept.
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(historyPath.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    const auto number = [db](const char *sql) {
        sqlite3_stmt *query = nullptr;
        std::int64_t value = -1;
        if (sqlite3_prepare_v2(db, sql, -1, &query, nullptr) == SQLITE_OK && sqlite3_step(query) == SQLITE_ROW)
            value = sqlite3_column_int64(query, 0);
        sqlite3_finalize(query);
        return value;
    };
    EXPECT_EQ(number("SELECT count(*) FROM quiet_spans WHERE ended > start"), 1);
    EXPECT_GE(number("SELECT ended / 1000 FROM quiet_spans"), quietUntil);
    EXPECT_EQ(number("SELECT alert FROM outages"), 0);
    sqlite3_close(db);
}

} // namespace
} // namespace vigilon::test
