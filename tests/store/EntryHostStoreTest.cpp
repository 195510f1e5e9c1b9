// SPDX-License-Identifier: MIT
// Entries that name a host of their own, in a real SQLite store: what is
// written and read back, and that a store without such hosts stays exactly
// as it was.
#include "app/store/Settings.h"
#include "app/store/posix/SqliteRegistry.h"
#include "tests/support/FrameParts.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

namespace vigilon {
namespace {

using reg::SqliteRegistry;
using reg::Status;

using Snapshot = std::map<std::string, std::pair<std::uint32_t, std::vector<std::uint8_t>>>;

class EntryHostStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        store_ = SqliteRegistry::open(dir_ / "registry.sqlite");
        ASSERT_TRUE(store_);
    }
    // Every value of the configuration's key, with its type and bytes.
    Snapshot snapshot()
    {
        Snapshot out;
        auto key = store_->openKey(kMonitorKey, reg::KeyQueryValue);
        if (!key)
            return out;
        for (const std::string &name : key->valueNames()) {
            reg::Value value;
            key->queryValue(name, value);
            out[name] = {value.type, value.data};
        }
        return out;
    }
    std::optional<std::string> storedString(const std::string &name)
    {
        const Snapshot values = snapshot();
        const auto it = values.find(name);
        if (it == values.end())
            return std::nullopt;
        return std::string(it->second.second.begin(), it->second.second.end());
    }
    PortList load(StoredValues *stored = nullptr)
    {
        std::string target = "127.0.0.1";
        Status status = Status::Ok;
        LoadedSettings loaded = loadSettings(*store_, true, target, &status, stored);
        EXPECT_EQ(status, Status::Ok);
        appendPlaceholder(loaded.ports);
        return std::move(loaded.ports);
    }
    Status save(const PortList &ports, StoredValues *stored = nullptr)
    {
        return saveSettings(*store_, "127.0.0.1", 5, 1, ports, stored);
    }

    test::TempDir dir_;
    std::unique_ptr<SqliteRegistry> store_;
};

TEST_F(EntryHostStore, hostsGoInAndComeBackAndOnlyEntriesWithOneStoreIt)
{
    struct Case {
        std::string host;
        // What "Host #i" holds afterwards; none: no such value.
        std::optional<std::string> stored;
    };
    const Case cases[] = {
        {"", std::nullopt},
        {"127.0.0.2", "127.0.0.2"},
        {"::1", "::1"},
        {"web-1.example", "web-1.example"},
        {"ホスト.example", "ホスト.example"},
    };
    std::vector<test::StoredPort> list;
    for (const Case &c : cases)
        list.push_back({80, GenericTcp, 1, 0, "alert %TARGET%", "TCP", c.host});
    ASSERT_EQ(test::storePorts(*store_, list), Status::Ok);

    const PortList loaded = load();
    ASSERT_EQ(realEntryCount(loaded), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].host);
        EXPECT_EQ(loaded[i]->host, cases[i].host);
        EXPECT_EQ(storedString("Host #" + std::to_string(i)), cases[i].stored);
        EXPECT_EQ(checkedHost(*loaded[i], "10.0.0.7"), cases[i].host.empty() ? "10.0.0.7" : cases[i].host);
    }
    const Snapshot values = snapshot();
    EXPECT_EQ(values.at("Host #1").first, reg::RegExpandSz);
}

// A store written before entries had hosts of their own: it loads with every
// entry on the target host, and saving it back, with or without what the
// load found, leaves every value as it was.
TEST_F(EntryHostStore, aStoreWithoutHostsLoadsAsBeforeAndIsSavedByteForByte)
{
    ASSERT_EQ(test::storePorts(*store_, {{21, GenericTcp, 1}, {80, Http, 0, 300, "x %TARGET%"}, {7, Ping, 1}}, 5, 1,
                               "127.0.0.1"),
              Status::Ok);
    const Snapshot before = snapshot();
    for (const bool knowing : {true, false}) {
        SCOPED_TRACE(knowing ? "with what the load found" : "writing every value");
        StoredValues stored;
        const PortList loaded = load(knowing ? &stored : nullptr);
        ASSERT_EQ(realEntryCount(loaded), 3u);
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(loaded[i]->host, "");
        ASSERT_EQ(save(loaded, knowing ? &stored : nullptr), Status::Ok);
        EXPECT_EQ(snapshot(), before);
    }
}

// A host taken away again, and an index that a deleted entry with a host
// leaves behind (values at or above the count stay in the store): the entry
// that comes to that index later checks the target host, not the old one.
TEST_F(EntryHostStore, noEntryInheritsAHostItDoesNotHave)
{
    for (const bool knowing : {true, false}) {
        SCOPED_TRACE(knowing ? "with what the load found" : "writing every value");
        StoredValues stored;
        ASSERT_EQ(test::storePorts(*store_, {{21, GenericTcp, 1, 0, "", "a", "one.example"},
                                             {22, GenericTcp, 1, 0, "", "b", "two.example"}}),
                  Status::Ok);
        PortList ports = load(knowing ? &stored : nullptr);
        ASSERT_EQ(realEntryCount(ports), 2u);

        // The first loses its host, the second is deleted: "Host #1" stays.
        ports[0]->host.clear();
        ports.erase(ports.begin() + 1);
        ASSERT_EQ(save(ports, knowing ? &stored : nullptr), Status::Ok);
        EXPECT_EQ(storedString("Host #0"), std::nullopt);
        EXPECT_EQ(storedString("Host #1"), "two.example");

        // A new entry without a host takes index 1.
        auto added = std::make_unique<MonitorPort>();
        added->port = 23;
        added->name = "c";
        ports.insert(ports.end() - 1, std::move(added));
        ASSERT_EQ(save(ports, knowing ? &stored : nullptr), Status::Ok);
        const PortList again = load();
        ASSERT_EQ(realEntryCount(again), 2u);
        EXPECT_EQ(again[0]->host, "");
        EXPECT_EQ(again[1]->host, "");
        EXPECT_EQ(storedString("Host #1"), std::nullopt);
    }
}

// The host column's width is stored as "Column Width #6" beside the six of
// before, whose meaning stays; a store with the six only loads them alone.
TEST_F(EntryHostStore, theHostColumnsWidthIsASeventhValueBesideTheOldSix)
{
    struct Case {
        std::vector<int> saved;
        std::vector<int> loaded;
    };
    const Case cases[] = {
        {{101, 201, 41, 121, 61, 61}, {101, 201, 41, 121, 61, 61}},
        {{101, 201, 41, 121, 61, 61, 150}, {101, 201, 41, 121, 61, 61, 150}},
        {{101, 201, 41, 0, 61, 61, 150}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.saved.size());
        WindowLayout layout;
        layout.columnWidths = c.saved;
        ASSERT_EQ(saveWindowLayout(*store_, layout), Status::Ok);
        if (c.saved.size() == 6) {
            auto key = store_->openKey(kMonitorKey, reg::KeySetValue);
            key->deleteValue("Column Width #6");
        }
        const WindowLayout loaded = loadWindowLayout(*store_);
        EXPECT_EQ(loaded.columnWidths, c.loaded);
    }
}

} // namespace
} // namespace vigilon
