// SPDX-License-Identifier: MIT
// The status page of a real vigilon process, opened in a real headless
// Chromium: what it lists, how it follows a failure without a reload, what
// a hostile name becomes, and how it looks in both languages, at phone
// width and in the dark.
#include "history/HistoryFile.h"
#include "store/posix/SqliteRegistry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FrameParts.h"
#include "tests/support/HttpClient.h"
#include "tests/support/Network.h"
#include "tests/support/TempDir.h"
#include "tests/support/TlsServer.h"
#include "tests/support/WebDriver.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vigilon::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kHostile = "<img src=x onerror=alert(1)>";

// What the page shows of each entry, read from its DOM.
const char *const kReadEntries = R"JS(
return Array.prototype.map.call(document.querySelectorAll('#entries > li'), function (li) {
  var cert = li.querySelector('.cert');
  return { name: li.querySelector('.name').textContent, cls: li.className,
           state: li.querySelector('.state').textContent, u7: li.querySelector('.u7').textContent,
           cert: cert ? cert.textContent : null };
});
)JS";

class StatusPage : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *bin = std::getenv("VIGILON_BIN");
        if (!bin || !fs::exists(bin))
            GTEST_SKIP() << "VIGILON_BIN does not name the vigilon program";
        if (const std::string missing = Browser::missing(); !missing.empty())
            GTEST_SKIP() << missing;
        binary_ = bin;
        fs::create_directories(dir_ / "runtime");
        fs::permissions(dir_ / "runtime", fs::perms::owner_all);
    }

    // Days of checks before the run, ten a day shortly after midnight UTC:
    // the day 10 days back half failed.
    void fillHistory(const SeriesKey &key)
    {
        history::HistoryFile file;
        std::string said;
        ASSERT_EQ(file.open(dir_ / "history.db", said), history::HistoryFile::Opened::Ok) << said;
        const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count();
        const std::int64_t today = now / history::kDayMillis;
        const std::int64_t series = file.seriesId(key);
        ASSERT_TRUE(file.begin());
        for (int back = 89; back >= 1; --back) {
            std::vector<history::RawCheck> checks;
            for (int i = 0; i < 10; ++i) {
                history::RawCheck check;
                check.millis = (today - back) * history::kDayMillis + 30 * 60000 + i * 60000;
                check.micros = 2000;
                if (back == 10 && i < 5) {
                    check.result = 3;
                    check.reason = FailureReason::of(FailureKind::Refused);
                }
                checks.push_back(check);
            }
            ASSERT_TRUE(file.appendChecks(series, checks));
        }
        ASSERT_TRUE(file.prune(now));
        ASSERT_TRUE(file.commit());
    }

    // Saves a screenshot where VIGILON_SCREENSHOTS says, to be looked at.
    void keep(Browser &browser, const std::string &name)
    {
        const std::string png = browser.screenshot();
        EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n") << name;
        if (const char *folder = std::getenv("VIGILON_SCREENSHOTS"); folder && *folder)
            std::ofstream(std::string(folder) + "/" + name + ".png", std::ios::binary) << png;
    }

    std::string binary_;
    TempDir dir_;
    std::string storePath_ = dir_ / "registry.sqlite";
};

// Five entries, one of them failing, one named like markup and one on TLS:
// the page lists them with their states, uptimes and certificate's days; when a listener the test holds
// closes, its entry turns failed in place, the page never reloaded; the
// name stays text; nothing goes to the console.
TEST_F(StatusPage, showsTheEntriesAndFollowsAFailureInPlace)
{
    TcpServer web(TcpServer::Answer), hostile(TcpServer::Answer);
    const TestPki pki;
    ASSERT_TRUE(pki.writeCa(dir_ / "ca.pem"));
    TlsServer tls(pki.named("good"));
    auto database = std::make_unique<TcpServer>(TcpServer::Answer);
    const RefusedPort refused;
    const std::uint16_t closed = refused.port();
    {
        auto registry = reg::SqliteRegistry::open(storePath_);
        ASSERT_TRUE(registry && registry->createKey(kProgramKey));
        ASSERT_EQ(storePorts(*registry,
                             {{web.port(), GenericTcp, 1, 0, "", "web"},
                              {database->port(), GenericTcp, 1, 0, "", "database"},
                              {closed, GenericTcp, 1, 0, "", "down"},
                              {hostile.port(), GenericTcp, 1, 0, "", kHostile},
                              {tls.port(), Tls, 1, 0, "", "tls"}},
                             1, 1, "127.0.0.1"),
                  reg::Status::Ok);
    }
    fillHistory(SeriesKey{"web", "127.0.0.1", web.port(), GenericTcp});
    const std::uint16_t port = closedTcpPort();
    ChildProcess vigilon({binary_, "-service", "--metrics=127.0.0.1:" + std::to_string(port)},
                         {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "VIGILON_LANG=en",
                          "VIGILON_REGISTRY=" + storePath_, "VIGILON_HISTORY=" + dir_ / "history.db",
                          "XDG_RUNTIME_DIR=" + dir_ / "runtime", "SSL_CERT_FILE=" + dir_ / "ca.pem"});
    json entries;
    ASSERT_TRUE(waitUntil([&] {
        entries = json::parse(httpBody(httpRequest(port, "GET", "/api/v1/entries")), nullptr, false);
        if (!entries.is_object() || entries["entries"].size() != 5)
            return false;
        for (const json &e : entries["entries"]) {
            if (e["state"] != (e["name"] == "down" ? "failed" : "ok"))
                return false;
        }
        return true;
    }, 20000)) << entries.dump() << vigilon.output();

    // The history file the program was given is the one it reads: the half
    // failed day 10 days back (the figures themselves: EntriesApiTest).
    const json &stored = entries["entries"][0];
    ASSERT_EQ(stored["name"], "web");
    ASSERT_EQ(stored["daily_uptime"].size(), 90u) << stored.dump();
    EXPECT_EQ(stored["daily_uptime"][79], 50.0);

    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    {
        Browser browser({dir_ / "profile-en", 1100, 900, "en-US,en"});
        ASSERT_TRUE(browser.ready()) << browser.error();
        ASSERT_TRUE(browser.open(url));
        json shown = browser.run(kReadEntries);
        ASSERT_EQ(shown.size(), 5u) << shown.dump();
        EXPECT_EQ(shown[0]["name"], "web");
        EXPECT_EQ(shown[0]["cls"], "e st-ok");
        EXPECT_EQ(shown[0]["state"], "Ok");
        EXPECT_EQ(shown[0]["u7"], "100 %");
        EXPECT_EQ(shown[1]["cls"], "e st-ok");
        EXPECT_EQ(shown[2]["name"], "down");
        EXPECT_EQ(shown[2]["cls"], "e st-failed");
        EXPECT_EQ(shown[2]["state"], "Failed");
        // The hostile name is the text of its element, and made nothing.
        EXPECT_EQ(shown[3]["name"], kHostile);
        EXPECT_EQ(browser.run("return document.querySelectorAll('img').length"), 0);
        EXPECT_EQ(browser.run("return document.getElementById('overall').textContent"), "1 of 5 failing");
        // The certificate's days, on the TLS entry alone.
        EXPECT_EQ(shown[4]["cert"], "90 days left");
        EXPECT_TRUE(shown[0]["cert"].is_null());
        keep(browser, "status-en");

        // The database's listener closes: its entry turns failed in the page
        // that stays open, without a reload (the mark set in it remains).
        browser.run("window.stayed = true; return 0");
        database.reset();
        const bool turned = waitUntil([&] {
            shown = browser.run(kReadEntries);
            return shown.size() == 5 && shown[1]["cls"] == "e st-failed";
        }, 30000);
        EXPECT_TRUE(turned) << shown.dump();
        EXPECT_EQ(shown[1]["state"], "Failed");
        EXPECT_EQ(browser.run("return window.stayed === true"), true);
        EXPECT_EQ(browser.run("return document.getElementById('overall').textContent"), "2 of 5 failing");
        EXPECT_EQ(browser.run("return document.querySelectorAll('img').length"), 0);
        keep(browser, "status-en-failed");
        EXPECT_EQ(browser.consoleErrors(), std::vector<std::string>());
    }
    {
        // Japanese, asked by the browser; at phone width, light and dark.
        Browser browser({dir_ / "profile-ja", 390, 844, "ja"});
        ASSERT_TRUE(browser.ready()) << browser.error();
        ASSERT_TRUE(browser.devtools("Emulation.setDeviceMetricsOverride",
                                     {{"width", 390}, {"height", 844}, {"deviceScaleFactor", 1}, {"mobile", true}}));
        ASSERT_TRUE(browser.open(url));
        EXPECT_EQ(browser.run("return window.innerWidth"), 390);
        EXPECT_EQ(browser.run("return document.documentElement.lang"), "ja");
        EXPECT_EQ(browser.run("return document.getElementById('overall').textContent"),
                  "2 件が失敗しています (全 5 件中)");
        const json shown = browser.run(kReadEntries);
        ASSERT_EQ(shown.size(), 5u);
        EXPECT_EQ(shown[0]["state"], "正常");
        EXPECT_EQ(shown[4]["cert"], "残り 90 日");
        EXPECT_EQ(shown[2]["state"], "失敗");
        // Nothing wider than the screen.
        EXPECT_EQ(browser.run("return document.documentElement.scrollWidth <= window.innerWidth"), true);
        keep(browser, "status-ja-phone");
        ASSERT_TRUE(browser.devtools("Emulation.setEmulatedMedia",
                                     {{"features", {{{"name", "prefers-color-scheme"}, {"value", "dark"}}}}}));
        EXPECT_EQ(browser.run("return getComputedStyle(document.body).backgroundColor"), "rgb(18, 21, 25)");
        keep(browser, "status-ja-phone-dark");
        EXPECT_EQ(browser.consoleErrors(), std::vector<std::string>());
    }
    vigilon.signal(SIGTERM);
    EXPECT_EQ(vigilon.waitForExit(10000), 0) << vigilon.output();
}

// A heartbeat entry and an inactive one in a real vigilon with --verbose:
// both listed before anything happened, the inactive one as not checked; a
// call turns the heartbeat entry Ok in the open page, silence fails it with
// "no heartbeat"; the token never shows in the output or the page.
TEST_F(StatusPage, listsHeartbeatAndNeverCheckedEntries)
{
    const std::string token = "cron-job-token-0123456789";
    {
        auto registry = reg::SqliteRegistry::open(storePath_);
        ASSERT_TRUE(registry && registry->createKey(kProgramKey));
        // 3 s x (3 + 1): longer than the page's polls, which see it Ok.
        ASSERT_EQ(storePorts(*registry, {{0, Push, 1, 0, "", "nightly backup"}, {9, GenericTcp, 0, 0, "", "idle"}}, 3,
                             3, "127.0.0.1"),
                  reg::Status::Ok);
        ASSERT_EQ(registry->openKey(kMonitorKey, reg::KeySetValue)
                      ->setValue("Push Token #0", reg::RegSz, reg::stringBytes(token)),
                  reg::Status::Ok);
    }
    const std::uint16_t port = closedTcpPort();
    ChildProcess vigilon({binary_, "-service", "--verbose", "--metrics=127.0.0.1:" + std::to_string(port)},
                         {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "VIGILON_LANG=en",
                          "VIGILON_REGISTRY=" + storePath_, "VIGILON_HISTORY=" + dir_ / "history.db",
                          "XDG_RUNTIME_DIR=" + dir_ / "runtime"});
    ASSERT_TRUE(waitUntil([&] { return httpStatus(httpRequest(port, "GET", "/api/v1/entries")) == 200; }, 20000))
        << vigilon.output();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
    Browser browser({dir_ / "profile-push", 1100, 700, "en-US,en"});
    ASSERT_TRUE(browser.ready()) << browser.error();
    ASSERT_TRUE(browser.open(url));
    json shown = browser.run(kReadEntries);
    ASSERT_EQ(shown.size(), 2u) << shown.dump();
    EXPECT_EQ(shown[1]["name"], "idle");
    EXPECT_EQ(shown[1]["state"], "Not checked");

    // The job calls: Ok in place (POST with a body, as curl -d sends it).
    EXPECT_EQ(httpStatus(httpRequest(port, "POST", "/push/" + token, "127.0.0.1",
                                     "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 6\r\n\r\nx=done")),
              200);
    EXPECT_TRUE(waitUntil([&] {
        shown = browser.run(kReadEntries);
        return shown.size() == 2 && shown[0]["state"] == "Ok";
    }, 20000)) << shown.dump() << vigilon.output();
    keep(browser, "status-push");

    // Silence beyond the window: failed, with its reason.
    EXPECT_TRUE(waitUntil([&] {
        shown = browser.run(kReadEntries);
        return shown.size() == 2 && shown[0]["state"] == "Failed";
    }, 20000)) << shown.dump();
    const std::string text = browser.run("return document.body.textContent");
    EXPECT_NE(text.find("no heartbeat"), std::string::npos) << text;
    EXPECT_EQ(text.find(token), std::string::npos);
    EXPECT_EQ(browser.consoleErrors(), std::vector<std::string>());
    vigilon.signal(SIGTERM);
    EXPECT_EQ(vigilon.waitForExit(10000), 0) << vigilon.output();
    EXPECT_NE(vigilon.output().find("nightly backup\tFailed"), std::string::npos) << vigilon.output();
    EXPECT_EQ(vigilon.output().find(token), std::string::npos) << "the token is a secret";
}

} // namespace
} // namespace vigilon::test
