// SPDX-License-Identifier: MIT
// Loading and saving the configuration, on the SQLite store and on the
// in-memory one that other tests use in its place.
#include "app/store/MemoryRegistry.h"
#include "app/store/Settings.h"
#include "app/store/SqliteRegistry.h"
#include "tests/store/StoreTestSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace vigilon {
namespace {

using reg::Status;
using test::TempDir;

// Raw access to the Monitor key, as another tool would have it.
void putString(reg::Registry &registry, const std::string &name, const std::string &bytes,
               std::uint32_t type = reg::RegExpandSz)
{
    ASSERT_EQ(registry.createKey(kMonitorKey)->setValue(name, type, {bytes.begin(), bytes.end()}), Status::Ok);
}

std::optional<reg::Value> valueOf(reg::Registry &registry, const std::string &name)
{
    reg::Value value;
    auto key = registry.openKey(kMonitorKey, reg::KeyQueryValue);
    if (key && key->queryValue(name, value) == Status::Ok)
        return value;
    return std::nullopt;
}

std::vector<std::uint8_t> dataOf(reg::Registry &registry, const std::string &name)
{
    return valueOf(registry, name).value_or(reg::Value{}).data;
}

struct Backend {
    const char *name;
    bool persistent;
};

class SettingsTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        if (GetParam().persistent) {
            Status status = Status::Ok;
            store_ = reg::SqliteRegistry::open(file(), &status);
            ASSERT_EQ(status, Status::Ok);
        } else {
            store_ = std::make_unique<reg::MemoryRegistry>();
        }
    }

    std::string file() const { return dir_ / "registry.sqlite"; }
    reg::Registry &store() { return *store_; }

    // The store as the next start of the program sees it.
    reg::Registry &reopened()
    {
        if (GetParam().persistent) {
            second_ = reg::SqliteRegistry::open(file());
            EXPECT_TRUE(second_);
            return *second_;
        }
        return *store_;
    }

    LoadedSettings load(bool readTarget = false, std::string *target = nullptr, Status *status = nullptr)
    {
        std::string host = "127.0.0.1";
        LoadedSettings loaded = loadSettings(reopened(), readTarget, target ? *target : host, status);
        return loaded;
    }

    void save(const PortList &ports, const std::string &target = "watched.example", std::uint32_t interval = 7,
              std::uint32_t retry = 3)
    {
        ASSERT_EQ(saveSettings(store(), target, interval, retry, ports), Status::Ok);
    }

    static std::vector<std::uint32_t> portsOf(const LoadedSettings &loaded)
    {
        std::vector<std::uint32_t> ports;
        for (const auto &entry : loaded.ports)
            ports.push_back(entry->port);
        return ports;
    }

    TempDir dir_;
    std::unique_ptr<reg::Registry> store_;
    std::unique_ptr<reg::Registry> second_;
};

TEST_P(SettingsTest, SaveWritesTheLayoutInItsOrderWithoutThePlaceholder)
{
    const PortList ports = test::markedPorts(3, 2);
    save(ports, "watched.example", 9, 2);

    auto key = store().openKey(kMonitorKey, reg::KeyQueryValue);
    ASSERT_TRUE(key);
    const std::vector<std::string> expected = {
        "Port Count", "Interval", "Retry", "Target",
        "Port #0", "Threshold #0", "Protocol #0", "PortName #0", "Service #0", "Action #0", "Active #0",
        "Port #1", "Threshold #1", "Protocol #1", "PortName #1", "Service #1", "Action #1", "Active #1"};
    EXPECT_EQ(key->valueNames(), expected); // nothing for the placeholder at index 2

    reg::Value value;
    ASSERT_EQ(key->queryValue("Port Count", value), Status::Ok);
    EXPECT_EQ(value.type, reg::RegDword);
    EXPECT_EQ(value.data, reg::dwordBytes(2));
    ASSERT_EQ(key->queryValue("Service #1", value), Status::Ok);
    EXPECT_EQ(value.type, reg::RegExpandSz);
    EXPECT_EQ(value.data, reg::stringBytes("alert 3 %TARGET%")); // no NUL, not expanded
    ASSERT_EQ(key->queryValue("Target", value), Status::Ok);
    EXPECT_EQ(value.type, reg::RegExpandSz);

    std::string target = "given.example";
    load(false, &target);
    EXPECT_EQ(target, "given.example") << "the target is read only when asked";
    const LoadedSettings loaded = load(true, &target);
    EXPECT_EQ(target, "watched.example");
    EXPECT_EQ(loaded.intervalSeconds, 9u);
    EXPECT_EQ(loaded.retryLimit, 2u);
    EXPECT_TRUE(test::sameEntries(loaded.ports, ports));
    EXPECT_EQ(loaded.ports.at(1)->status, Idle);
}

TEST_P(SettingsTest, EntriesMadeFromThePlaceholderAreSavedWithActionOne)
{
    PortList ports;
    appendPlaceholder(ports);
    ports.back()->name = "first";
    ports.back()->port = 25;
    appendPlaceholder(ports);
    ports.back()->name = "second";
    appendPlaceholder(ports);
    save(ports);
    EXPECT_EQ(dataOf(store(), "Action #0"), reg::dwordBytes(1));
    EXPECT_EQ(dataOf(store(), "Action #1"), reg::dwordBytes(1));
    EXPECT_FALSE(valueOf(store(), "PortName #2").has_value());
    EXPECT_EQ(load().ports.size(), 2u);
}

TEST_P(SettingsTest, EntryWithAMissingValueIsSkippedAndTheListClosesUp)
{
    save(test::markedPorts(1, 3));
    ASSERT_EQ(store().openKey(kMonitorKey, reg::KeySetValue)->deleteValue("Action #1"), Status::Ok);
    LoadedSettings loaded = load();
    EXPECT_EQ(portsOf(loaded), (std::vector<std::uint32_t>{100, 102}));

    // The next save stores the former entry 2 as entry 1; the old index 2
    // stays behind, beyond the count.
    appendPlaceholder(loaded.ports);
    save(loaded.ports);
    EXPECT_EQ(dataOf(store(), "Port Count"), reg::dwordBytes(2));
    EXPECT_EQ(dataOf(store(), "Port #1"), reg::dwordBytes(102));
    EXPECT_EQ(dataOf(store(), "Port #2"), reg::dwordBytes(102));
    EXPECT_EQ(portsOf(load()), (std::vector<std::uint32_t>{100, 102}));
}

struct StringCase {
    const char *label;
    std::string stored;
    bool loads;
    std::string loaded;
};

TEST_P(SettingsTest, StringsAreReadUpToTheirLengthOrFirstNulAndAtMost1023Bytes)
{
    const std::vector<StringCase> cases = {
        {"no NUL", "plain", true, "plain"},
        {"embedded NUL", std::string("abc\0def", 7), true, "abc"},
        {"trailing NUL", std::string("abc\0", 4), true, "abc"},
        {"empty", "", true, ""},
        {"1023 bytes", std::string(1023, 'x'), true, std::string(1023, 'x')},
        {"1024 bytes", std::string(1024, 'x'), false, ""},
        {"1023 bytes ending in NUL", std::string(1022, 'y') + '\0', true, std::string(1022, 'y')},
    };
    for (const char *valueName : {"PortName #0", "Service #0"}) {
        for (const StringCase &c : cases) {
            SCOPED_TRACE(std::string(valueName) + ", " + c.label);
            save(test::markedPorts(1, 1), "host.example");
            putString(store(), valueName, c.stored);
            const LoadedSettings loaded = load();
            ASSERT_EQ(loaded.ports.size(), c.loads ? 1u : 0u);
            if (c.loads) {
                const MonitorPort &entry = *loaded.ports[0];
                EXPECT_EQ(std::string(valueName) == "PortName #0" ? entry.name : entry.command, c.loaded);
            }
        }
    }
    for (const StringCase &c : cases) {
        SCOPED_TRACE(std::string("Target, ") + c.label);
        putString(store(), "Target", c.stored);
        std::string target = "before.example";
        load(true, &target);
        EXPECT_EQ(target, c.loads ? c.loaded : "before.example");
    }
}

TEST_P(SettingsTest, NamesAndKeyPathsCompareWithoutRegardToCase)
{
    auto key = store().createKey("SOFTWARE\\ardentis\\VIGILON\\monitor");
    ASSERT_TRUE(key);
    const auto dword = [&](const char *name, std::uint32_t v) {
        ASSERT_EQ(key->setValue(name, reg::RegDword, reg::dwordBytes(v)), Status::Ok);
    };
    dword("PORT COUNT", 1);
    dword("interval", 11);
    dword("port #0", 443);
    dword("PROTOCOL #0", Http);
    dword("threshold #0", 5);
    ASSERT_EQ(key->setValue("portname #0", reg::RegSz, reg::stringBytes("web")), Status::Ok);
    ASSERT_EQ(key->setValue("SERVICE #0", reg::RegSz, reg::stringBytes("")), Status::Ok);
    dword("ACTION #0", 1);
    dword("active #0", 1);

    const LoadedSettings loaded = load();
    EXPECT_EQ(loaded.intervalSeconds, 11u);
    ASSERT_EQ(portsOf(loaded), std::vector<std::uint32_t>{443});
    EXPECT_EQ(loaded.ports[0]->name, "web");

    // A save overwrites the values in place instead of adding twins, and
    // keeps the key's first spelling.
    const std::size_t before = key->valueNames().size();
    save(test::markedPorts(1, 1));
    EXPECT_EQ(store().openKey(kMonitorKey, reg::KeyQueryValue)->valueNames().size(), before + 2); // Retry, Target
    EXPECT_EQ(store().subkeys("Software\\Ardentis\\Vigilon"),
              std::vector<std::string>{"SOFTWARE\\ardentis\\VIGILON\\monitor"});
}

TEST_P(SettingsTest, ValueTypesAreNotCheckedButSizesAre)
{
    save(test::markedPorts(1, 1));
    // A string-typed port of four bytes reads as the number.
    putString(store(), "Port #0", std::string("\x50\x00\x00\x00", 4), reg::RegSz);
    EXPECT_EQ(portsOf(load()), std::vector<std::uint32_t>{80});
    // Fewer bytes fill the low bytes of the new entry's value.
    putString(store(), "Port #0", std::string("\x90\x1f", 2), reg::RegBinary);
    EXPECT_EQ(portsOf(load()), std::vector<std::uint32_t>{8080});
    // More than four bytes do not fit: an entry is dropped
    // (StoredValues.intervalsOutsideTheRangeAndValuesThatDoNotFitAreSaidWhenLoaded),
    // a header value takes its default.
    putString(store(), "Interval", std::string(8, '\x01'), reg::RegDword);
    EXPECT_EQ(load().intervalSeconds, 5u);

    // A huge count loads what is there.
    save(test::markedPorts(1, 3));
    putString(store(), "Port Count", std::string(4, '\xff'), reg::RegDword);
    EXPECT_EQ(portsOf(load()), (std::vector<std::uint32_t>{100, 101, 102}));
}

TEST_P(SettingsTest, LogonFlagNeverCreatesItsKey)
{
    EXPECT_EQ(setLogonFlag(store(), 1), Status::NotFound);
    EXPECT_FALSE(store().openKey(kProgramKey, reg::KeyQueryValue));
    std::uint32_t taken = 7;
    EXPECT_EQ(takeLogonFlag(store(), taken), Status::NotFound);
    EXPECT_EQ(taken, 0u);
    EXPECT_FALSE(store().openKey(kProgramKey, reg::KeyQueryValue));

    save(test::markedPorts(1, 0)); // creates the program key as the Monitor key's parent
    auto key = store().openKey("software\\ardentis\\vigilon\\", reg::KeyQueryValue); // without values yet
    ASSERT_TRUE(key);
    EXPECT_EQ(key->setValue(kLogonValue, reg::RegDword, reg::dwordBytes(1)), Status::ReadOnly) << "opened to query";
    EXPECT_EQ(takeLogonFlag(store(), taken), Status::Ok); // missing value: 0, and now written as 0
    EXPECT_EQ(taken, 0u);
    EXPECT_EQ(setLogonFlag(store(), 1), Status::Ok);
    EXPECT_EQ(takeLogonFlag(reopened(), taken), Status::Ok);
    EXPECT_EQ(taken, 1u);
    EXPECT_EQ(takeLogonFlag(store(), taken), Status::Ok);
    EXPECT_EQ(taken, 0u);
    reg::Value value;
    ASSERT_EQ(store().openKey(kProgramKey, reg::KeyQueryValue)->queryValue("logon", value), Status::Ok);
    EXPECT_EQ(value.type, reg::RegDword);
    EXPECT_EQ(value.data, reg::dwordBytes(0));
}

TEST_P(SettingsTest, NestedTransactionsUndoOnlyTheFailedPart)
{
    auto key = store().createKey("Software\\Test");
    ASSERT_TRUE(key);
    const auto put = [&](const char *name) { return key->setValue(name, reg::RegDword, reg::dwordBytes(1)); };
    EXPECT_EQ(store().transact([&]() {
        EXPECT_EQ(put("outer before"), Status::Ok);
        EXPECT_EQ(store().transact([&]() {
            EXPECT_EQ(put("inner"), Status::Ok);
            return Status::Full;
        }),
                  Status::Full);
        return put("outer after");
    }),
              Status::Ok);
    EXPECT_EQ(key->valueNames(), (std::vector<std::string>{"outer before", "outer after"}));

    EXPECT_EQ(store().transact([&]() {
        put("dropped");
        return Status::IoError;
    }),
              Status::IoError);
    EXPECT_EQ(key->valueNames().size(), 2u);
}

TEST_P(SettingsTest, KeysAreDeletedWithEverythingBelowThem)
{
    ASSERT_TRUE(store().createKey("Software\\A\\B\\C"));
    ASSERT_TRUE(store().createKey("Software\\A\\D"));
    ASSERT_TRUE(store().createKey("Software\\AB"));
    ASSERT_EQ(store().createKey("software\\a\\b")->setValue("x", reg::RegSz, {}), Status::Ok);
    EXPECT_EQ(store().subkeys("SOFTWARE\\a"), (std::vector<std::string>{"Software\\A\\B", "Software\\A\\D"}));
    EXPECT_EQ(store().deleteKey("Software\\A"), Status::Ok);
    EXPECT_FALSE(store().openKey("Software\\A\\B\\C", reg::KeyQueryValue));
    EXPECT_FALSE(store().openKey("Software\\A\\B", reg::KeyQueryValue));
    EXPECT_TRUE(store().openKey("Software\\AB", reg::KeyQueryValue));
    EXPECT_EQ(store().subkeys(""), std::vector<std::string>{"Software"});
    // A fresh key of the same name starts without the old values.
    ASSERT_TRUE(store().createKey("Software\\A\\B"));
    EXPECT_TRUE(store().openKey("Software\\A\\B", reg::KeyQueryValue)->valueNames().empty());
}

// A write that fails undoes the whole save. The SQLite store's own
// failures are InjectedFaultTest's.
TEST(Settings, FailedSaveLeavesThePreviousConfigurationWhole)
{
    reg::MemoryRegistry store;
    ASSERT_EQ(saveSettings(store, test::markedTarget(1), 1, 1, test::markedPorts(1)), Status::Ok);
    for (int failAt : {1, 2, 5, 20, 4 + 7 * test::kMarkedEntries}) {
        SCOPED_TRACE("write " + std::to_string(failAt) + " fails");
        store.failWrites(Status::IoError, failAt - 1);
        EXPECT_EQ(saveSettings(store, test::markedTarget(2), 2, 1, test::markedPorts(2, 6)), Status::IoError);
        store.failWrites(Status::Ok);
        std::string target;
        const LoadedSettings loaded = loadSettings(store, true, target);
        EXPECT_EQ(target, test::markedTarget(1));
        EXPECT_EQ(loaded.intervalSeconds, 1u);
        EXPECT_EQ(loaded.ports.size(), std::size_t(test::kMarkedEntries));
        EXPECT_FALSE(valueOf(store, "Port #5").has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(Stores, SettingsTest, ::testing::Values(Backend{"Sqlite", true}, Backend{"Memory", false}),
                         [](const ::testing::TestParamInfo<Backend> &info) { return std::string(info.param.name); });

} // namespace
} // namespace vigilon
