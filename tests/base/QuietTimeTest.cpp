// SPDX-License-Identifier: MIT
// Weekly quiet windows: the stored text form read and written back, and
// whether a moment lies in one, across midnight and across the changes of
// daylight saving time.
#include "base/QuietTime.h"
#include "tests/support/FakeEventLoop.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace vigilon {
namespace {

std::vector<QuietWindow> windowsOf(const std::string &text)
{
    std::vector<QuietWindow> windows;
    std::string error;
    EXPECT_TRUE(parseQuietWindows(text, windows, error)) << text << ": " << error;
    return windows;
}

std::tm at(int weekday, int hour, int minute)
{
    std::tm local{};
    local.tm_wday = weekday;
    local.tm_hour = hour;
    local.tm_min = minute;
    return local;
}

TEST(QuietWindows, theTextFormReadsDaysRangesAndListsAndIsWrittenBackInOneForm)
{
    const auto windows = windowsOf(" sun 02:00-04:00 , Mon-Fri 12:00-13:00,Fri-Mon 22:30-06:00,Sat+Wed 00:00-24:00,daily "
                                   "09:15-09:45");
    ASSERT_EQ(windows.size(), 5u);
    EXPECT_EQ(windows[0], (QuietWindow{0x01, 120, 240}));
    EXPECT_EQ(windows[1], (QuietWindow{0x3E, 720, 780}));
    // A range of days wraps over the week's end.
    EXPECT_EQ(windows[2], (QuietWindow{0x63, 1350, 360}));
    EXPECT_EQ(windows[3], (QuietWindow{0x48, 0, 1440}));
    EXPECT_EQ(windows[4], (QuietWindow{0x7F, 555, 585}));
    const std::string text = quietWindowsText(windows);
    EXPECT_EQ(text, "Sun 02:00-04:00,Mon-Fri 12:00-13:00,Fri-Mon 22:30-06:00,Wed+Sat 00:00-24:00,Daily 09:15-09:45");
    EXPECT_EQ(windowsOf(text), windows);
    EXPECT_TRUE(windowsOf("").empty());
    EXPECT_EQ(quietWindowsText({}), "");
}

TEST(QuietWindows, aTextThatDoesNotReadIsRefusedWithItsItemAndChangesNothing)
{
    std::vector<QuietWindow> windows = {{0x01, 0, 60}};
    for (const char *bad : {"Sun", "Sun 02:00", "Sunday 02:00-04:00", "Sun 2:00-04:00", "Sun 02:00-04:60",
                            "Sun 24:30-01:00", "Sun 03:00-03:00", "Sun 24:00-01:00", "Sun 02:00-04:00,", "Xyz-Mon 01:00-02:00",
                            "Sun+ 01:00-02:00", "Mon 01:00-02:00,Tue 25:00-26:00"}) {
        std::string error;
        EXPECT_FALSE(parseQuietWindows(bad, windows, error)) << bad;
        EXPECT_EQ(windows.size(), 1u) << bad;
    }
    std::string error;
    parseQuietWindows("Mon 01:00-02:00,Tue 25:00-26:00", windows, error);
    EXPECT_EQ(error, "Tue 25:00-26:00");
}

TEST(QuietWindows, aWindowHoldsItsStartNotItsEndAndOneAcrossMidnightEndsOnTheNextDay)
{
    const auto sunday = windowsOf("Sun 02:00-04:00");
    EXPECT_FALSE(inQuietWindow(sunday, at(0, 1, 59)));
    EXPECT_TRUE(inQuietWindow(sunday, at(0, 2, 0)));
    EXPECT_TRUE(inQuietWindow(sunday, at(0, 3, 59)));
    EXPECT_FALSE(inQuietWindow(sunday, at(0, 4, 0)));
    EXPECT_FALSE(inQuietWindow(sunday, at(1, 3, 0)));

    // Saturday 23:00 to Sunday 01:00; not Sunday's own late evening.
    const auto night = windowsOf("Sat 23:00-01:00");
    EXPECT_FALSE(inQuietWindow(night, at(6, 22, 59)));
    EXPECT_TRUE(inQuietWindow(night, at(6, 23, 30)));
    EXPECT_TRUE(inQuietWindow(night, at(0, 0, 59)));
    EXPECT_FALSE(inQuietWindow(night, at(0, 1, 0)));
    EXPECT_FALSE(inQuietWindow(night, at(0, 23, 30)));
    EXPECT_FALSE(inQuietWindow(night, at(5, 0, 30)));
    const auto wholeDay = windowsOf("Wed 00:00-24:00");
    EXPECT_TRUE(inQuietWindow(wholeDay, at(3, 23, 59)));
    EXPECT_FALSE(inQuietWindow(wholeDay, at(4, 0, 0)));
    EXPECT_FALSE(inQuietWindow({}, at(3, 12, 0)));
}

TEST(QuietWindows, aQuietPeriodSetByHandLastsUntilItsTimeOrUntilResumed)
{
    EXPECT_FALSE(quietByHand(0, 1000));
    EXPECT_TRUE(quietByHand(1001, 1000));
    EXPECT_FALSE(quietByHand(1000, 1000));
    EXPECT_TRUE(quietByHand(kQuietUntilResumed, 5000000000));
}

#ifndef _WIN32
// Seconds since 1970 of a UTC time.
std::int64_t utc(int year, int month, int day, int hour, int minute)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    return static_cast<std::int64_t>(timegm(&t));
}

TEST(QuietWindows, localTimeFollowsDaylightSavingTimeBothWays)
{
    test::ScopedTimeZone berlin("Europe/Berlin");
    const auto window = windowsOf("Sun 02:00-04:00");
    // 29 March 2026: at 01:00 UTC the clocks go from 02:00 to 03:00. The
    // window's first hour does not happen: it lasts one hour.
    EXPECT_FALSE(inQuietWindow(window, utc(2026, 3, 29, 0, 59)));  // 01:59 CET
    EXPECT_TRUE(inQuietWindow(window, utc(2026, 3, 29, 1, 0)));    // 03:00 CEST
    EXPECT_TRUE(inQuietWindow(window, utc(2026, 3, 29, 1, 59)));   // 03:59 CEST
    EXPECT_FALSE(inQuietWindow(window, utc(2026, 3, 29, 2, 0)));   // 04:00 CEST
    // 25 October 2026: at 01:00 UTC the clocks go from 03:00 back to 02:00.
    // 02:00 to 03:00 happens twice: the window lasts three hours.
    EXPECT_FALSE(inQuietWindow(window, utc(2026, 10, 24, 23, 59))); // 01:59 CEST
    EXPECT_TRUE(inQuietWindow(window, utc(2026, 10, 25, 0, 0)));    // 02:00 CEST
    EXPECT_TRUE(inQuietWindow(window, utc(2026, 10, 25, 1, 30)));   // 02:30 CET
    EXPECT_TRUE(inQuietWindow(window, utc(2026, 10, 25, 2, 59)));   // 03:59 CET
    EXPECT_FALSE(inQuietWindow(window, utc(2026, 10, 25, 3, 0)));   // 04:00 CET
    // The same moment elsewhere is another local time.
    test::ScopedTimeZone tokyo("Asia/Tokyo");
    EXPECT_FALSE(inQuietWindow(window, utc(2026, 10, 25, 0, 0))); // 09:00 JST
    EXPECT_TRUE(inQuietWindow(window, utc(2026, 10, 24, 17, 30))); // Sun 02:30 JST
}
#endif

} // namespace
} // namespace vigilon
