// SPDX-License-Identifier: MIT
// What the kept history looks like to the user: uptimes, outage rows, the
// graph window's lines and the CSV export.
#include "app/base/Language.h"
#include "app/base/StringTable.h"
#include "app/dialogs/HistoryText.h"
#include "app/dialogs/OutageListController.h"
#include "tests/support/FakeEventLoop.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace vigilon::test {
namespace {

// 2026-12-08 05:03:05 UTC.
constexpr std::int64_t kStart = 1796706185000;

class Texts {
public:
    explicit Texts(Language language) { setCurrentLanguage(language); }
    ~Texts() { setCurrentLanguage(before_); }
    Texts(const Texts &) = delete;
    Texts &operator=(const Texts &) = delete;

private:
    Language before_ = currentLanguage();
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
    {
        ScopedTimeZone tokyo{"JST-9"};
        EXPECT_EQ(isoLocalTime(kStart), "2026-12-08T14:03:05+09:00");
        EXPECT_EQ(isoLocalTime(kStart + 999), "2026-12-08T14:03:05+09:00");
    }
    {
        ScopedTimeZone utc{"UTC0"};
        EXPECT_EQ(isoLocalTime(kStart), "2026-12-08T05:03:05+00:00");
    }
    {
        // West of Greenwich, and half an hour off the whole hours.
        ScopedTimeZone newYork{"EST5"};
        EXPECT_EQ(isoLocalTime(kStart), "2026-12-08T00:03:05-05:00");
        ScopedTimeZone india{"IST-5:30"};
        EXPECT_EQ(isoLocalTime(kStart), "2026-12-08T10:33:05+05:30");
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
        EXPECT_EQ(outageRowTexts(unseen, now)[1], "2026年 12月 10日 06:05:08 (監視終了)");
        EXPECT_EQ(outageRowTexts(unseen, now)[2], "2日 01:02:03");
        EXPECT_EQ(outageRowTexts(lasting, now)[1], "継続中");
        EXPECT_EQ(outageRowTexts(lasting, now)[2], "00:00:10");
    }
    Texts en{Language::English};
    EXPECT_EQ(outageRowTexts(ended, now),
              (Row{"2026-12-08 05:03:05", "2026-12-08 05:04:10", "00:01:05", "connection refused"}));
    EXPECT_EQ(outageRowTexts(unseen, now)[1], "2026-12-10 06:05:08 (not observed)");
    EXPECT_EQ(outageRowTexts(unseen, now)[2], "2 d 01:02:03");
    EXPECT_EQ(outageRowTexts(lasting, now)[1], "under way");
    // A clock set back shows no negative duration.
    EXPECT_EQ(outageRowTexts(lasting, kStart - 5000)[2], "00:00:00");

    UptimeView uptime{0.99996, 1.0, -1.0, {ended, lasting, unseen, ended}};
    const std::vector<std::string> lines = graphHistoryLines(uptime, now);
    EXPECT_EQ(lines, (std::vector<std::string>{"Uptime 24 h 99.99 % / 7 d 100 % / 30 d \u2013",
                                               "Outage 2026-12-08 05:03:05 (00:01:05) connection refused",
                                               "Outage 2026-12-08 05:03:05 (00:00:10) no answer (timed out)",
                                               "Outage 2026-12-08 05:03:05 (2 d 01:02:03) no answer (timed out)"}));
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
    // Japanese: the header and reasons in Japanese, UTF-8 after the mark.
    Texts ja{Language::Japanese};
    const std::string japanese = outagesCsv({outages[2]}, kStart);
    EXPECT_EQ(japanese, "\xEF\xBB\xBF"
                        "開始,終了,継続時間 (秒),原因,アラート実行,終了を確認\r\n"
                        "2026-12-08T14:02:05+09:00,2026-12-08T14:02:35+09:00,30,接続を拒否されました,yes,no\r\n");

    // The bytes reach the file as they are, replacing what it held.
    TempDir dir;
    const std::string path = dir.path() + "/outages.csv";
    std::ofstream(path) << "an older, longer content than the new one ........................................";
    std::string error;
    ASSERT_TRUE(writeWholeFile(path, japanese, error)) << error;
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), japanese);
    EXPECT_FALSE(writeWholeFile(dir.path() + "/missing/outages.csv", japanese, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace vigilon::test
