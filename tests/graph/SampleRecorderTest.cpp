// SPDX-License-Identifier: MIT
// The recording of samples to a file, byte for byte; what the file may be:
// only a regular file, never reached through a symbolic link, new ones 0644;
// and what a write error does to it.
#include "graph/SampleRecorder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#ifndef _WIN32
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

#ifndef _WIN32
namespace fs = std::filesystem;

TEST(RecordingFile, OnlyARegularFileOfItsOwnIsOpened)
{
    test::TempDir temp;
    const fs::path dir = temp.path();
    SampleRecorder rec;

    // A FIFO with nobody at the other end, and one with a reader: refused
    // at once, not waited on (a reader ends a wait).
    const fs::path fifo = dir / "fifo.csv";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto refused = std::async(std::launch::async, [&] { return !rec.open(fifo, "h", "s", {"a"}); });
    const bool answered = refused.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    EXPECT_TRUE(answered);
    EXPECT_TRUE(refused.get());
    EXPECT_FALSE(rec.open(fifo, "h", "s", {"a"}));
    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0);
    ::close(reader);

    // A link to another file leaves that file as it was.
    const fs::path victim = dir / "victim";
    std::ofstream(victim) << "keep me";
    fs::create_symlink(victim, dir / "link.csv");
    EXPECT_FALSE(rec.open(dir / "link.csv", "h", "s", {"a"}));
    EXPECT_EQ(test::readFile(victim), "keep me");

    // A link to nowhere creates nothing.
    fs::create_symlink(dir / "made", dir / "dangling.csv");
    EXPECT_FALSE(rec.open(dir / "dangling.csv", "h", "s", {"a"}));
    EXPECT_FALSE(fs::exists(dir / "made"));
    EXPECT_FALSE(rec.isOpen());

    // A new file is 0644 whatever the process's mask lets through.
    const mode_t mask = ::umask(0);
    const bool opened = rec.open(dir / "new.csv", "h", "s", {"a"});
    ::umask(mask);
    ASSERT_TRUE(opened);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "new.csv").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_FALSE(test::readFile(dir / "new.csv").empty());
    rec.close();
}

// A write error (a file size limit stands in for a full disk) ends the
// recording after the whole lines that fit, says so, and later samples
// write nothing.
TEST(RecordingFile, AWriteErrorEndsTheRecording)
{
    test::TempDir dir;
    SampleRecorder rec;
    ASSERT_TRUE(rec.open(dir / "s.csv", "h", "s", {"a"}));
    const std::string header = test::readFile(dir / "s.csv");
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = header.size() + 40;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    // Standard error into a pipe, which the size limit does not reach.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const int savedStderr = ::dup(2);
    ::dup2(pipeFds[1], 2);
    // The second record fits only in part.
    for (std::uint32_t v = 1; v <= 6; ++v)
        rec.record(ResponseSample{kT0, {v}});
    ::dup2(savedStderr, 2);
    ::close(savedStderr);
    ::close(pipeFds[1]);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    char text[512];
    const ssize_t got = ::read(pipeFds[0], text, sizeof text);
    ::close(pipeFds[0]);
    const std::string said(text, got > 0 ? std::size_t(got) : 0);
    EXPECT_FALSE(rec.isOpen());
    EXPECT_EQ(test::readFile(dir / "s.csv"), header + "2007-03-14 09:05:07,1\r\n");
    EXPECT_NE(said.find((dir / "s.csv") + " failed"), std::string::npos) << said;
    EXPECT_NE(said.find("recording stopped"), std::string::npos) << said;
}
#endif

} // namespace
} // namespace vigilon
