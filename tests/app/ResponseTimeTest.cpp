// SPDX-License-Identifier: MIT
// Response times: whole milliseconds rounded from the exact value, the
// threshold rule on the rounded value, and the --verbose line per check.
#include "app/MonitorRules.h"
#include "tests/support/FrameFixture.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <sstream>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

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

// The rule compares the rounded value: a check that rounds to the threshold
// itself is no warning, one that rounds above it is.
TEST(ResponseTime, theThresholdRuleSeesTheRoundedValue)
{
    const struct {
        std::uint64_t micros;
        std::uint32_t threshold;
        PortStatus expected;
    } cases[] = {
        {100499, 100, Ok},      // 100 ms: the tie
        {100500, 100, Warning}, // 101 ms
        {99500, 100, Ok},       // rounds up onto the threshold
        {1499, 1, Ok},
        {1500, 1, Warning},
        {499, 0, Ok},           // threshold 0: never a warning
        {5000000, 0, Ok},
    };
    for (const auto &c : cases) {
        MonitorPort entry;
        entry.threshold = c.threshold;
        entry.status = Idle;
        entry.responseMicros = c.micros;
        entry.responseTime = roundedMillis(c.micros);
        const bool warning = applySuccess(entry);
        EXPECT_EQ(entry.status, c.expected) << c.micros << " us against " << c.threshold << " ms";
        EXPECT_EQ(warning, c.expected == Warning);
    }
}

#ifndef _WIN32
// Standard error, caught in a file for the length of a test.
class CaughtStderr {
public:
    CaughtStderr()
    {
        std::fflush(stderr);
        char name[] = "/tmp/vigilon-stderr-XXXXXX";
        file_ = ::mkstemp(name);
        ::unlink(name);
        saved_ = ::dup(2);
        ::dup2(file_, 2);
    }
    ~CaughtStderr() { restore(); }
    std::string text()
    {
        restore();
        std::string out;
        char buffer[4096];
        ::lseek(file_, 0, SEEK_SET);
        for (ssize_t n; (n = ::read(file_, buffer, sizeof buffer)) > 0;)
            out.append(buffer, std::size_t(n));
        return out;
    }

private:
    void restore()
    {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
    }
    int file_ = -1;
    int saved_ = -1;
};

// The lines with tabs: those of --verbose (status lines have none).
std::vector<std::string> verboseLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.find('\t') != std::string::npos)
            lines.push_back(line);
    return lines;
}

class VerboseLines : public FrameFixture {
protected:
    void SetUp() override
    {
        const char *tz = std::getenv("TZ");
        savedTz_ = tz ? tz : "";
        hadTz_ = tz != nullptr;
        // Nine hours from UTC, so that local time is told from UTC.
        ::setenv("TZ", "JST-9", 1);
        ::tzset();
    }
    void TearDown() override
    {
        if (hadTz_)
            ::setenv("TZ", savedTz_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    std::string savedTz_;
    bool hadTz_ = false;
};

TEST_F(VerboseLines, oneTabSeparatedLinePerFinishedCheckWithLocalTimeAndExactMilliseconds)
{
    verbose = true;
    storeConfiguration({{80, GenericTcp, 1, 100}, {81, Ping, 1}}, 5, 1);
    makeFrame();
    CaughtStderr caught;
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(frame->toggleMonitoring(true), 1);
    probes.pending[1]->finish(false);             // PING check: a tolerated failure
    entry(0).responseMicros = 100499;
    probes.pending[0]->finish(true, 100);         // Ok, the tie with the threshold
    loop.advance(5000);
    probes.pending[1]->finish(false);             // PING fails again: declared
    entry(0).responseMicros = 250001;
    probes.pending[0]->finish(true, 250);         // Warning
    const std::time_t after = std::time(nullptr);
    const std::vector<std::string> lines = verboseLines(caught.text());

    ASSERT_EQ(lines.size(), 4u);
    const std::regex shape(R"((\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\.(\d{3})\t([^\t]+)\t(Ok|Warning|Failed|Retry)\t(\d+\.\d{3}))");
    const char *expected[][3] = {
        {"port 81", "Retry", "0.000"},
        {"port 80", "Ok", "100.499"},
        {"port 81", "Failed", "0.000"},
        {"port 80", "Warning", "250.001"},
    };
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, shape)) << lines[i];
        EXPECT_EQ(m[8], expected[i][0]) << lines[i];
        EXPECT_EQ(m[9], expected[i][1]) << lines[i];
        EXPECT_EQ(m[10], expected[i][2]) << lines[i];
        // Local time: the hour is that of JST, not of UTC.
        std::tm stamped{};
        stamped.tm_year = std::stoi(m[1]) - 1900;
        stamped.tm_mon = std::stoi(m[2]) - 1;
        stamped.tm_mday = std::stoi(m[3]);
        stamped.tm_hour = std::stoi(m[4]);
        stamped.tm_min = std::stoi(m[5]);
        stamped.tm_sec = std::stoi(m[6]);
        stamped.tm_isdst = 0;
        const std::time_t when = ::mktime(&stamped);
        EXPECT_GE(when, before) << lines[i];
        EXPECT_LE(when, after) << lines[i];
    }
}

TEST_F(VerboseLines, withoutTheSwitchNoCheckLineIsWritten)
{
    storeConfiguration({{80, GenericTcp, 1}});
    makeFrame();
    CaughtStderr caught;
    ASSERT_EQ(frame->toggleMonitoring(true), 1);
    probes.finishAll(true, 3);
    loop.advance(5000);
    probes.finishAll(false);
    EXPECT_TRUE(verboseLines(caught.text()).empty());
}

#endif // !_WIN32

} // namespace
} // namespace vigilon::test
