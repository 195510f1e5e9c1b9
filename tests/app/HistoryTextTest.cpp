// SPDX-License-Identifier: MIT
// What the kept history looks like to the user: uptimes, outage rows, the
// graph window's lines and the CSV export.
#include "base/Language.h"
#include "base/StringTable.h"
#include "app/text/HistoryText.h"
#include "tests/support/FakeEventLoop.h"

#include <gtest/gtest.h>

namespace vigilon::test {
namespace {

// 2026-12-08 05:03:05 UTC.
constexpr std::int64_t kStart = 1796706185000;

struct Texts {
    Language before = currentLanguage();
    explicit Texts(Language language) { setCurrentLanguage(language); }
    ~Texts() { setCurrentLanguage(before); }
};

TEST(HistoryText, anUptimeIsCutToHundredthsAndNeverReadsWholeWithAFailure)
{
    const std::pair<double, const char *> cases[] = {
        {1.0, "100 %"},     {0.99996, "99.99 %"}, {0.9999999, "99.99 %"}, {0.9993, "99.93 %"},
        {0.12345, "12.34 %"}, {0.5, "50.00 %"},   {0.0, "0.00 %"},       {-1.0, "\u2013"},
    };
    for (const auto &[share, text] : cases)
        EXPECT_EQ(uptimeText(share), text) << share;
}

TEST(HistoryText, timesCarryTheirOffsetFromUtc)
{
    // East and west of Greenwich, and half an hour off the whole hours.
    const std::pair<const char *, const char *> zones[] = {
        {"JST-9", "2026-12-08T14:03:05+09:00"}, {"UTC0", "2026-12-08T05:03:05+00:00"},
        {"EST5", "2026-12-08T00:03:05-05:00"},  {"IST-5:30", "2026-12-08T10:33:05+05:30"}};
    for (const auto &[zone, text] : zones) {
        ScopedTimeZone local{zone};
        EXPECT_EQ(isoLocalTime(kStart + 999), text);
    }
}

TEST(HistoryText, outageRowsSayWhenTheyEndedOrThatTheyLastInBothLanguages)
{
    ScopedTimeZone utc{"UTC0"};
    OutageView ended{kStart, kStart + 65'000, false, FailureReason::of(FailureKind::Refused), true};
    OutageView unseen{kStart, kStart + 2 * 86'400'000 + 3'723'000, true, FailureReason::of(FailureKind::TimedOut)};
    OutageView lasting{kStart, 0, false, FailureReason::of(FailureKind::TimedOut)};
    const std::int64_t now = kStart + 10'000;
    using Row = std::array<std::string, kOutageColumns>;
    {
        Texts ja{Language::Japanese};
        EXPECT_EQ(outageRowTexts(ended, now), (Row{"2026年 12月 08日 05:03:05", "2026年 12月 08日 05:04:10", "00:01:05",
                                                   "接続を拒否されました"}));
        EXPECT_EQ(outageRowTexts(lasting, now)[1] + outageRowTexts(lasting, now)[2], "継続中00:00:10");
    }
    Texts en{Language::English};
    EXPECT_EQ(outageRowTexts(unseen, now)[1] + outageRowTexts(unseen, now)[2],
              "2026-12-10 06:05:08 (not observed)2 d 01:02:03");
    EXPECT_EQ(outageRowTexts(lasting, now)[1], "under way");
    // A clock set back shows no negative duration.
    EXPECT_EQ(outageRowTexts(lasting, kStart - 5000)[2], "00:00:00");

    UptimeView uptime{0.99996, 1.0, -1.0, {ended, lasting, unseen, ended}};
    const std::vector<std::string> lines = graphHistoryLines(uptime, now);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0] + lines[2], "Uptime 24 h 99.99 % / 7 d 100 % / 30 d \u2013"
                                   "Outage 2026-12-08 05:03:05 (00:00:10) no answer (timed out)");
}

TEST(HistoryText, theCsvHasABomOneHeaderIsoTimesAndQuotesWhatNeedsIt)
{
    ScopedTimeZone tokyo{"JST-9"};
    Texts en{Language::English};
    const FailureReason icmp = FailureReason::unreachable(3, 1);
    const std::string icmpText = reasonTextShown(icmp);
    ASSERT_NE(icmpText.find(','), std::string::npos);
    const std::vector<OutageView> outages = {
        {kStart + 120'000, 0, false, FailureReason::of(FailureKind::TimedOut), true},
        {kStart, kStart + 65'400, false, icmp, false},
        {kStart - 60'000, kStart - 30'000, true, FailureReason::of(FailureKind::Refused), true},
    };
    const std::string csv = outagesCsv(outages, kStart + 130'500);
    EXPECT_EQ(csv, "\xEF\xBB\xBF"
                   "start,end,duration_seconds,reason,alert_ran,end_observed\r\n"
                   "2026-12-08T14:05:05+09:00,,10,no answer (timed out),yes,\r\n"
                   "2026-12-08T14:03:05+09:00,2026-12-08T14:04:10+09:00,65,\"" +
                       icmpText +
                       "\",no,yes\r\n"
                       "2026-12-08T14:02:05+09:00,2026-12-08T14:02:35+09:00,30,connection refused,yes,no\r\n");

    // Under the Japanese interface the whole table is Japanese, its answers
    // too; times and seconds read the same.
    Texts ja{Language::Japanese};
    EXPECT_EQ(outagesCsv({outages[2]}, kStart + 130'500), "\xEF\xBB\xBF"
              "開始,終了,継続時間 (秒),原因,アラート実行,終了を確認\r\n"
              "2026-12-08T14:02:05+09:00,2026-12-08T14:02:35+09:00,30," + reasonTextShown(outages[2].reason) +
              ",はい,いいえ\r\n");
}

} // namespace
} // namespace vigilon::test
