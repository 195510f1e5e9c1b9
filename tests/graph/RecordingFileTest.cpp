// SPDX-License-Identifier: MIT
// What the recording file may be: only a regular file, never reached
// through a symbolic link, new ones 0644.
#include "graph/SampleRecorder.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
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

} // namespace
} // namespace vigilon
#endif
