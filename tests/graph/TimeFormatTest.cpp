// SPDX-License-Identifier: MIT
#include "graph/TimeFormat.h"

#include "app/base/StringTable.h"

#include <gtest/gtest.h>

namespace vigilon {
namespace {

// The tests run with TZ=UTC.
constexpr std::uint32_t k20070314_090507 = 1173863107;

TEST(TimeFormat, LocalTimeFieldsArePaddedAndOthersKept)
{
    EXPECT_EQ(formatLocalTime(loadString(sid::GraphDateTimeFormat), k20070314_090507),
              "2007年 03月 14日 09時05分07秒");
    EXPECT_EQ(formatLocalTime(loadString(sid::GraphTimeLabel), k20070314_090507), "09:05:07");
    // Unknown fields, a lone trailing percent and "%%" as the table's
    // texts could hold them.
    EXPECT_EQ(formatLocalTime("%x %% %", 0), "%x % %");
    EXPECT_EQ(formatLocalTime("%Y-%m-%d %H:%M:%S", 0xFFFFFFFFu), "2106-02-07 06:28:15");
}

TEST(TimeFormat, ElapsedCountsWholeDaysAndWrapsTheRest)
{
    const std::string &format = loadString(sid::GraphElapsedFormat);
    EXPECT_EQ(formatElapsed(format, 0), "0日 00時間 00分 00秒");
    EXPECT_EQ(formatElapsed(format, 86399), "0日 23時間 59分 59秒");
    EXPECT_EQ(formatElapsed(format, 2 * 86400 + 3 * 3600 + 4 * 60 + 5), "2日 03時間 04分 05秒");
    // Days are not padded nor limited to two digits.
    EXPECT_EQ(formatElapsed(format, 123u * 86400u), "123日 00時間 00分 00秒");
}

} // namespace
} // namespace vigilon
