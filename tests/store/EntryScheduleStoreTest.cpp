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

class EntryScheduleStore : public test::RegToolFixture {
protected:
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
    addAll({{"Port Count", "REG_DWORD", "2"}});
    addEntry(0, "80", "0", "entry 0");
    addEntry(1, "81", "0", "entry 1");
    for (const bool knowing : {true, false})
        loadEditSave(2, [](LoadedSettings &loaded) { EXPECT_EQ(scheduleOf(*loaded.ports[0]), Schedule(0, 0, 0)); }, {},
                     knowing);
    for (const char *name : {"Interval #0", "Retry #0", "Timeout #0"})
        EXPECT_EQ(queried(name), "(none)") << name;

    addAll({{"Interval #0", "REG_DWORD", "60"}, {"Retry #0", "REG_DWORD", "3"}, {"Timeout #0", "REG_DWORD", "750"},
            {"Interval #1", "REG_DWORD", "100000"}, {"Retry #1", "REG_DWORD", "9"}, {"Timeout #1", "REG_DWORD", "20"}});
    loadEditSave(2, [this](LoadedSettings &loaded) {
        EXPECT_EQ(scheduleOf(*loaded.ports[0]), Schedule(60, 3, 750));
        EXPECT_EQ(scheduleOf(*loaded.ports[1]), Schedule(99999, 5, 100));
        // Another hand changes a value the program does not change.
        add(kMonitor, "Retry #0", "REG_DWORD", "2");
        loaded.ports[0]->intervalSeconds = 0;
        loaded.ports[0]->timeoutMs = 1500;
    });
    EXPECT_EQ(queried("Interval #0"), "(none)") << "back to the global interval: gone";
    EXPECT_EQ(queried("Retry #0"), shown("Retry #0", "REG_DWORD", "0x2"));
    EXPECT_EQ(queried("Timeout #0"), shown("Timeout #0", "REG_DWORD", "0x5dc"));
    EXPECT_EQ(queried("Interval #1"), shown("Interval #1", "REG_DWORD", "0x1869f")) << "written within its limits";

    const LoadedSettings loaded = throughRegFile();
    ASSERT_EQ(loaded.ports.size(), 2u);
    EXPECT_EQ(scheduleOf(*loaded.ports[0]), Schedule(0, 2, 1500));
    EXPECT_EQ(scheduleOf(*loaded.ports[1]), Schedule(99999, 5, 100));
}

} // namespace
} // namespace vigilon
