// SPDX-License-Identifier: MIT
#include "graph/SampleRecorder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace vigilon {
namespace {

using test::readFile;

constexpr std::uint32_t kT0 = 1173863107; // 2007-03-14 09:05:07 UTC

class SampleRecorderTest : public ::testing::Test {
protected:
    test::TempDir dir_;
};

const std::string kHeader = "ターゲット: 192.0.2.7\r\n送信元: probe-host\r\nサンプリング日時, TCP:80\r\n";

TEST_F(SampleRecorderTest, HeaderAndRecordsByteForByte)
{
    const std::string file = dir_ / "sample.csv";
    ResponseGraphParams p;
    p.seriesNames = "TCP:80";
    ResponseGraphModel model(p, kT0);
    SampleRecorder rec;
    ASSERT_TRUE(rec.open(file, "192.0.2.7", "probe-host", model.seriesNames()));
    // The header is on disk before any sample.
    EXPECT_EQ(readFile(file), kHeader);

    rec.record(model.addSample(15, kT0));
    // Each line reaches the file as it is written.
    EXPECT_EQ(readFile(file), kHeader + "2007-03-14 09:05:07,15\r\n");
    rec.record(model.addSample(0, kT0 + 61));
    // A reset writes nothing and no new header follows.
    model.resetHistory();
    rec.record(model.addSample(3000, kT0 + 3600));
    // Values go out as signed 32-bit numbers.
    rec.record(model.addSample(0xFFFFFFFFu, kT0 + 86400));
    rec.close();
    EXPECT_EQ(readFile(file), kHeader +
                              "2007-03-14 09:05:07,15\r\n"
                              "2007-03-14 09:06:08,0\r\n"
                              "2007-03-14 10:05:07,3000\r\n"
                              "2007-03-15 09:05:07,-1\r\n");
}

TEST_F(SampleRecorderTest, SeveralSeriesAndAnExistingFileIsTruncated)
{
    const std::string file = dir_ / "old.txt";
    test::writeFile(file, std::string(500, 'x'));
    SampleRecorder rec;
    ASSERT_TRUE(rec.open(file, "h", "s", {"a", "", "b"}));
    ResponseSample sample{kT0, {1, 2}};
    rec.record(sample);
    rec.close();
    EXPECT_EQ(readFile(file), "ターゲット: h\r\n送信元: s\r\nサンプリング日時, a, , b\r\n"
                          "2007-03-14 09:05:07,1,2\r\n");
}

// The reason of a refused open: the text given here, the system's own on
// Windows.
void expectReason(const SampleRecorder &rec, const std::string &posixText)
{
#ifdef _WIN32
    EXPECT_FALSE(rec.openError().empty()) << posixText;
#else
    EXPECT_EQ(rec.openError(), posixText);
#endif
}

// A refused open leaves nothing open and says why, as the system does.
TEST_F(SampleRecorderTest, RefusedOpensLeaveNothingOpen)
{
    SampleRecorder rec;
    EXPECT_FALSE(rec.open(dir_ / "no/such/dir/x.csv", "h", "s", {"a"}));
    EXPECT_FALSE(rec.isOpen());
    expectReason(rec, std::strerror(ENOENT));
    EXPECT_FALSE(rec.open(dir_.path(), "h", "s", {"a"}));
    expectReason(rec, std::strerror(EISDIR));

    // A file another recorder holds is neither taken nor emptied.
    const std::string file = dir_ / "held.csv";
    SampleRecorder first;
    ASSERT_TRUE(first.open(file, "h", "s", {"a"}));
    first.record(ResponseSample{kT0, {7}});
    const std::string before = readFile(file);
    EXPECT_FALSE(rec.open(file, "other", "s", {"a"}));
    expectReason(rec, "another recording is writing it");
    EXPECT_EQ(readFile(file), before);
    first.close();
    EXPECT_TRUE(rec.open(file, "other", "s", {"a"}));
}

TEST(CharacterSet, ConvertsToTheLocaleSetOrKeepsUtf8)
{
    EXPECT_EQ(toCharacterSet("ターゲット: h", "UTF-8"), "ターゲット: h");
    EXPECT_EQ(toCharacterSet("ターゲット: h", "ANSI_X3.4-1968"), "ターゲット: h");
    const std::string sjis = toCharacterSet("ターゲット: h", "CP932");
    if (sjis == "ターゲット: h")
        GTEST_SKIP() << "no CP932 converter on this system";
    EXPECT_EQ(sjis, "\x83^\x81[\x83Q\x83" "b\x83g: h");
    // Text the set cannot hold stays as it is rather than being cut.
    EXPECT_EQ(toCharacterSet("\xF0\x9F\x98\x80", "CP932"), "\xF0\x9F\x98\x80");
}

} // namespace
} // namespace vigilon
