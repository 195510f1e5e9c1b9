// SPDX-License-Identifier: MIT
// Response times: whole milliseconds rounded from the exact value (the
// threshold rule sees that: MonitorRules), and the --verbose line per check.
#include "app/MonitorRules.h"
#include "tests/support/FrameFixture.h"

#include <ctime>
#include <regex>
#include <sstream>
#include <tuple>


namespace vigilon::test {
namespace {

TEST(ResponseTime, exactTimesRoundToTheNearestMillisecondHalvesUp)
{
    const struct {
        std::uint64_t micros;
        std::uint32_t millis;
    } cases[] = {
        {0, 0},           {499, 0},           {500, 1},          {999, 1},
        {1499, 1},        {1500, 2},          {2999, 3},         {100499, 100},
        {100500, 101},    {2999999, 3000},    {4294967295499ull, 4294967295u},
        {~std::uint64_t(0), 0xFFFFFFFFu},
    };
    for (const auto &c : cases)
        EXPECT_EQ(roundedMillis(c.micros), c.millis) << c.micros << " us";
}

#ifndef _WIN32
// The lines with tabs: those of --verbose (status lines have none).
// Of standard error since testing::internal::CaptureStderr().
std::vector<std::string> verboseLines()
{
    std::vector<std::string> lines;
    std::istringstream in(testing::internal::GetCapturedStderr());
    for (std::string line; std::getline(in, line);)
        if (line.find('\t') != std::string::npos)
            lines.push_back(line);
    return lines;
}

class VerboseLines : public FrameFixture {
protected:
    // Nine hours from UTC, so that local time is told from UTC.
    ScopedTimeZone japan{"JST-9"};
};

TEST_F(VerboseLines, oneTabSeparatedLinePerFinishedCheckWithLocalTimeAndExactMilliseconds)
{
    verbose = true;
    makeFrame({{80, GenericTcp, 1, 100}, {81, Ping, 1}}, 5, 1);
    testing::internal::CaptureStderr();
    // The lines' clock: time() reads a coarser one that can lag it by a tick
    // across a second's change.
    const auto local = [] {
        const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
        return std::string(text);
    };
    const std::string before = local();
    ASSERT_TRUE(frame->toggleMonitoring(true));
    probes.pending[1]->finish(false);             // PING check: a tolerated failure at once
    entry(0).responseMicros = 100499;
    probes.pending[0]->finish(true, 100);         // Ok, the tie with the threshold
    loop.advance(5000);
    clock.advanceMs(3000);
    // Failures show how long their check ran, not the last success's time.
    probes.pending[0]->finish(false);             // a tolerated failure after 3 s
    probes.pending[0]->finish(false);             // PING fails again: declared
    const std::string after = local();
    const std::vector<std::string> lines = verboseLines();

    ASSERT_EQ(lines.size(), 4u);
    const std::regex shape(
        R"((\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)\.\d{3}\t([^\t]+)\t(Ok|Warning|Failed|Retry)\t(\d+\.\d{3})(\t[^\t]+)?)");
    // A failure's line ends in its reason (the fake checks' own).
    const char *expected[][4] = {
        {"port 81", "Retry", "0.000", "\ttimed out"},
        {"port 80", "Ok", "100.499", ""},
        {"port 80", "Retry", "3000.000", "\ttimed out"},
        {"port 81", "Failed", "3000.000", "\ttimed out"},
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, shape)) << lines[i];
        EXPECT_EQ(std::tuple(m.str(2), m.str(3), m.str(4), m.str(5)),
                  std::tuple(expected[i][0], expected[i][1], expected[i][2], expected[i][3]));
        // Local time: that of JST, not of UTC (the same format orders as text).
        EXPECT_TRUE(before <= m.str(1) && m.str(1) <= after) << lines[i];
    }
}

#endif // !_WIN32

} // namespace
} // namespace vigilon::test
