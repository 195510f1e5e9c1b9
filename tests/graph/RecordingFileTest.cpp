// SPDX-License-Identifier: MIT
// What the recording file may be: only a regular file, never reached
// through a symbolic link, new ones 0644; and what a write error does to it.
#include "graph/SampleRecorder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

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

namespace vigilon {
namespace {

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
        rec.record(ResponseSample{1173863107, {v}}); // 2007-03-14 09:05:07 UTC
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

} // namespace
} // namespace vigilon
#endif
