// SPDX-License-Identifier: MIT
// The switch that keeps the history or not: stored, read before the frame
// and by it, and handed to the history.
#include "tests/support/FrameFixture.h"

namespace vigilon::test {
namespace {

using HistorySwitch = FrameFixture;

struct SilentHistory final : HistoryReader {
    void uptimeOf(const SeriesKey &, std::size_t, std::function<void(UptimeView)>) override {}
    void outagesOf(const SeriesKey &, std::size_t, std::function<void(std::vector<OutageView>)>) override {}
    void dayUptimes(std::function<void(std::vector<std::pair<SeriesKey, double>>)>) override {}
};

TEST_F(HistorySwitch, isStoredAndHandedToTheHistory)
{
    SilentHistory reader;
    history = &reader;
    std::vector<bool> told;
    keepHistory = [&](bool on) { told.push_back(on); };
    storeConfiguration({{80, GenericTcp, 1}});
    EXPECT_TRUE(loadHistoryKept(registry)) << "kept where nothing is stored";
    ASSERT_EQ(saveHistoryKept(registry, false), reg::Status::Ok);
    EXPECT_FALSE(loadHistoryKept(registry));

    makeFrame();
    EXPECT_EQ(told, std::vector<bool>{false});
    EXPECT_FALSE(frame->historyKept());
    EXPECT_FALSE(frame->historyAvailable());
    frame->setHistoryKept(true);
    frame->setHistoryKept(true);
    EXPECT_EQ(told, (std::vector<bool>{false, true}));
    EXPECT_TRUE(frame->historyAvailable());
    EXPECT_EQ(storedDword(registry, kMonitorKey, kKeepHistoryValue), 1u);
    frame->setHistoryKept(false);
    EXPECT_EQ(storedDword(registry, kMonitorKey, kKeepHistoryValue), 0u);
    EXPECT_EQ(told, (std::vector<bool>{false, true, false}));
}

} // namespace
} // namespace vigilon::test
