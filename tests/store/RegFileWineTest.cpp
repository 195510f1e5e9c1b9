// SPDX-License-Identifier: MIT
// Registry files between this store and Wine's registry, in a Wine prefix
// of the test's own: what Wine's regedit exports, vigilon-reg imports on
// Linux, and what vigilon-reg exports, Wine's regedit imports; the values
// are compared as each side reads them back.
#include "store/posix/SqliteRegistry.h"
#include "tests/store/RegToolFixture.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"
#include "tests/support/WinePrefix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace vigilon {
namespace {

using reg::Status;

const std::string kTree = "Software\\Ardentis\\Vigilon";
const std::string kTreeFull = "HKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon";

class RegFileWineTest : public test::RegToolFixture {
protected:
    void SetUp() override
    {
        RegToolFixture::SetUp();
        if (IsSkipped())
            return;
        wine_ = std::make_unique<test::WinePrefix>();
        ASSERT_TRUE(wine_->ready()) << wine_->error();
    }

    // The tree's values by name: Wine's registry lists them sorted, not in
    // the order they were set.
    test::StoreDump dump(const std::string &store)
    {
        auto registry = reg::SqliteRegistry::open(path(store));
        test::StoreDump dump = registry ? test::dumpStore(*registry, kTree) : test::StoreDump{};
        for (auto &[key, values] : dump)
            std::sort(values.begin(), values.end());
        return dump;
    }

    // Wine's regedit writes the tree to a file.
    void exportFromWine(const std::string &file)
    {
        const test::RunResult run = wine_->run({"regedit", "/E", test::WinePrefix::windowsPath(file), kTreeFull});
        ASSERT_EQ(run.status, 0) << run.out << run.err;
        ASSERT_TRUE(test::exists(file));
    }

    std::unique_ptr<test::WinePrefix> wine_;
};

TEST_F(RegFileWineTest, WineRegeditsExportImportsOnLinux)
{
    const std::vector<std::vector<std::string>> adds = {
        {"reg", "add", kMonitor, "/v", "Port #0", "/t", "REG_DWORD", "/d", "22", "/f"},
        {"reg", "add", kMonitor, "/v", "PortName #0", "/t", "REG_EXPAND_SZ", "/d", "監視 (22)", "/f"},
        {"reg", "add", kMonitor, "/v", "名前", "/t", "REG_SZ", "/d", "日本語", "/f"},
        {"reg", "add", kMonitor, "/v", "Service #0", "/t", "REG_SZ", "/d", "C:\\tools\\alert.bat %TARGET%", "/f"},
        {"reg", "add", kMonitor, "/v", "Blob", "/t", "REG_BINARY", "/d", "0102ff", "/f"},
        {"reg", "add", kMonitor, "/v", "List", "/t", "REG_MULTI_SZ", "/d", "one\\0two", "/f"},
        {"reg", "add", "HKLM\\Software\\Ardentis\\Vigilon\\Graphs", "/f"},
        {"reg", "add", "HKLM\\Software\\Other", "/v", "x", "/d", "y", "/f"},
    };
    for (const auto &add : adds) {
        const test::RunResult run = wine_->run(add);
        ASSERT_EQ(run.status, 0) << add[4] << ": " << run.out << run.err;
    }
    exportFromWine(path("wine.reg"));
    EXPECT_EQ(test::readFile(path("wine.reg")).rfind("\xFF\xFE", 0), 0u); // UTF-16 with its mark

    const test::RunResult run = reg("s.sqlite", {"import", path("wine.reg")});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto bytes = [](const std::string &t) { return std::vector<std::uint8_t>(t.begin(), t.end()); };
    const test::StoreDump imported = dump("s.sqlite");
    std::map<std::string, std::pair<std::uint32_t, std::vector<std::uint8_t>>> monitor;
    for (const auto &[name, type, data] : imported.at(kTree + "\\Monitor"))
        monitor[name] = {type, data};
    EXPECT_EQ(monitor["Port #0"], std::make_pair(std::uint32_t(reg::RegDword), reg::dwordBytes(22)));
    EXPECT_EQ(monitor["PortName #0"], std::make_pair(std::uint32_t(reg::RegExpandSz), bytes("監視 (22)")));
    EXPECT_EQ(monitor["名前"], std::make_pair(std::uint32_t(reg::RegSz), bytes("日本語")));
    EXPECT_EQ(monitor["Service #0"], std::make_pair(std::uint32_t(reg::RegSz), bytes("C:\\tools\\alert.bat %TARGET%")));
    EXPECT_EQ(monitor["Blob"], std::make_pair(std::uint32_t(reg::RegBinary), std::vector<std::uint8_t>{1, 2, 0xFF}));
    EXPECT_EQ(monitor["List"], std::make_pair(std::uint32_t(7), bytes(std::string("one\0two\0\0", 9))));
    EXPECT_EQ(imported.count(kTree + "\\Graphs"), 1u);
    auto store = reg::SqliteRegistry::open(path("s.sqlite"));
    ASSERT_TRUE(store);
    EXPECT_EQ(test::dumpStore(*store).count("Software\\Other"), 0u);
}

TEST_F(RegFileWineTest, OurExportImportsIntoWineRegedit)
{
    {
        auto store = reg::SqliteRegistry::open(path("a.sqlite"));
        ASSERT_TRUE(store);
        ASSERT_EQ(test::seedEveryKind(*store), Status::Ok);
    }
    test::RunResult run = reg("a.sqlite", {"export", path("ours.reg")});
    ASSERT_EQ(run.status, 0) << run.err;
    run = wine_->run({"regedit", "/S", test::WinePrefix::windowsPath(path("ours.reg"))});
    ASSERT_EQ(run.status, 0) << run.out << run.err;

    // Wine's own tools read the values...
    run = wine_->run({"reg", "query", kMonitor, "/v", "Port Count"});
    EXPECT_NE(run.out.find("REG_DWORD    0x12345678"), std::string::npos) << run.out << run.err;
    run = wine_->run({"reg", "query", kMonitor, "/v", "Target"});
    EXPECT_NE(run.out.find("REG_EXPAND_SZ    %TARGET%.example"), std::string::npos) << run.out << run.err;
    EXPECT_NE(wine_->run({"reg", "query", "HKLM\\Software\\Ardentis\\Vigilon\\Graphs\\空き"}).status, 1);
    EXPECT_EQ(wine_->run({"reg", "query", "HKLM\\Software\\Other"}).status, 1);

    // ...and every key and value comes back from Wine's registry as it was.
    exportFromWine(path("back.reg"));
    run = reg("b.sqlite", {"import", path("back.reg")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(dump("b.sqlite"), dump("a.sqlite"));
}

} // namespace
} // namespace vigilon
