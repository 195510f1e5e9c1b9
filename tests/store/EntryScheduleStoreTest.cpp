// SPDX-License-Identifier: MIT
// An entry's own interval, retry limit and timeout in the store: optional
// values that go between vigilon-reg, the program and .reg files.
#include "store/Settings.h"
#include "store/posix/SqliteRegistry.h"
#include "tests/store/RegToolFixture.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <tuple>

namespace vigilon {
namespace {

using reg::Status;
const std::string kMonitor = "HKLM\\Software\\Ardentis\\Vigilon\\Monitor";

class EntryScheduleStore : public test::RegToolFixture {
protected:
    std::string file() const { return dir_ / "registry.sqlite"; }
    test::RunResult reg(const std::vector<std::string> &args) { return runTool(file(), args); }
    void add(const std::string &name, const std::string &type, const std::string &data)
    {
        const test::RunResult run = reg({"add", kMonitor, "/v", name, "/t", type, "/d", data, "/f"});
        ASSERT_EQ(run.status, 0) << run.err;
    }
    // Two entries, as the tool stores them.
    void storeTwoEntries()
    {
        add("Port Count", "REG_DWORD", "2");
        for (const char *i : {"0", "1"}) {
            const std::string n = std::string(" #") + i;
            add("Port" + n, "REG_DWORD", std::string("8") + i);
            add("Protocol" + n, "REG_DWORD", "0");
            add("Threshold" + n, "REG_DWORD", "0");
            add("PortName" + n, "REG_EXPAND_SZ", std::string("entry ") + i);
            add("Service" + n, "REG_SZ", "");
            add("Action" + n, "REG_DWORD", "1");
            add("Active" + n, "REG_DWORD", "1");
        }
    }
    test::TempDir dir_;
    using Schedule = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>;
    static Schedule scheduleOf(const MonitorPort &entry)
    {
        return {entry.intervalSeconds, entry.retryLimit, entry.timeoutMs};
    }
};

// A store without the values loads entries without a schedule of their own
// and a save adds none; values set with the tool load, out-of-range ones
// brought into their limits; a save writes only what changed, takes away
// what went back to none, and an export imports elsewhere unchanged.
TEST_F(EntryScheduleStore, valuesAreOptionalAndGoBetweenToolProgramAndRegFiles)
{
    storeTwoEntries();
    std::string target = "127.0.0.1";
    {
        auto store = reg::SqliteRegistry::open(file());
        ASSERT_TRUE(store);
        StoredValues stored;
        LoadedSettings loaded = loadSettings(*store, false, target, nullptr, &stored);
        ASSERT_EQ(loaded.ports.size(), 2u);
        EXPECT_EQ(scheduleOf(*loaded.ports[0]), Schedule(0, 0, 0));
        appendPlaceholder(loaded.ports);
        ASSERT_EQ(saveSettings(*store, target, 5, 1, loaded.ports, &stored), Status::Ok);
        ASSERT_EQ(saveSettings(*store, target, 5, 1, loaded.ports), Status::Ok);
    }
    for (const char *name : {"Interval #0", "Retry #0", "Timeout #0"})
        EXPECT_EQ(reg({"query", kMonitor, "/v", name}).status, 1) << name;

    add("Interval #0", "REG_DWORD", "60");
    add("Retry #0", "REG_DWORD", "3");
    add("Timeout #0", "REG_DWORD", "750");
    add("Interval #1", "REG_DWORD", "100000");
    add("Retry #1", "REG_DWORD", "9");
    add("Timeout #1", "REG_DWORD", "20");
    {
        auto store = reg::SqliteRegistry::open(file());
        StoredValues stored;
        LoadedSettings loaded = loadSettings(*store, false, target, nullptr, &stored);
        ASSERT_EQ(loaded.ports.size(), 2u);
        EXPECT_EQ(scheduleOf(*loaded.ports[0]), Schedule(60, 3, 750));
        EXPECT_EQ(scheduleOf(*loaded.ports[1]), Schedule(99999, 5, 100));
        // Another hand changes a value the program does not change.
        add("Retry #0", "REG_DWORD", "2");
        loaded.ports[0]->intervalSeconds = 0;
        loaded.ports[0]->timeoutMs = 1500;
        appendPlaceholder(loaded.ports);
        ASSERT_EQ(saveSettings(*store, target, 5, 1, loaded.ports, &stored), Status::Ok);
    }
    EXPECT_EQ(reg({"query", kMonitor, "/v", "Interval #0"}).status, 1) << "back to the global interval: gone";
    EXPECT_EQ(reg({"query", kMonitor, "/v", "Retry #0"}).out,
              "\nHKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Monitor\n    Retry #0    REG_DWORD    0x2\n\n");
    EXPECT_EQ(reg({"query", kMonitor, "/v", "Timeout #0"}).out,
              "\nHKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Monitor\n    Timeout #0    REG_DWORD    0x5dc\n\n");
    EXPECT_EQ(reg({"query", kMonitor, "/v", "Interval #1"}).out,
              "\nHKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Monitor\n    Interval #1    REG_DWORD    0x1869f\n\n")
        << "written within its limits";

    const std::string exported = dir_ / "monitor.reg";
    ASSERT_EQ(reg({"export", exported}).status, 0);
    const std::string other = dir_ / "other.sqlite";
    ASSERT_EQ(runTool(other, {"import", exported}).status, 0);
    auto store = reg::SqliteRegistry::open(other);
    ASSERT_TRUE(store);
    const LoadedSettings loaded = loadSettings(*store, false, target);
    ASSERT_EQ(loaded.ports.size(), 2u);
    EXPECT_EQ(scheduleOf(*loaded.ports[0]), Schedule(0, 2, 1500));
    EXPECT_EQ(scheduleOf(*loaded.ports[1]), Schedule(99999, 5, 100));
}

} // namespace
} // namespace vigilon
