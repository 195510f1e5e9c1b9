// SPDX-License-Identifier: MIT
#include "base/StandardError.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace vigilon {
namespace {

// What has reached the pipe so far, without waiting.
std::string drained(int fd)
{
    std::string text;
    char buffer[256];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, std::size_t(got));
    return text;
}

// Buffered after something was written unbuffered, as the program's start
// does before its loop runs: later lines wait for the flush and then go out
// whole.
TEST(StandardError, BufferedAfterEarlierWritesWaitsForTheFlush)
{
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(pipeEnds[1], 2);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    std::fprintf(stderr, "vigilon: %s\n", "starting");
    const std::string early = drained(pipeEnds[0]);
    bufferStandardError();
    std::fprintf(stderr, "%s\t%s\t%.3f\n", "first", "Ok", 0.25);
    drained(pipeEnds[0]); // a byte or two of the first line may go at once
    std::fprintf(stderr, "%s\t%s\t%.3f\n", "second", "Ok", 1.5);
    const std::string beforeFlush = drained(pipeEnds[0]);
    std::fflush(stderr);
    const std::string afterFlush = drained(pipeEnds[0]);
    dup2(saved, 2);
    close(saved);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    EXPECT_EQ(early, "vigilon: starting\n");
    EXPECT_EQ(beforeFlush, "");
    EXPECT_NE(afterFlush.find("second\tOk\t1.500\n"), std::string::npos);
}

} // namespace
} // namespace vigilon
#endif
