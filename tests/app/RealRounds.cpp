// SPDX-License-Identifier: MIT
// The engine with the real probes, in a helper process whose descriptor
// limit the test sets.
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace vigilon::test {
namespace {

std::size_t linesWith(const std::string &text, const std::string &part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// Runs the helper, under prlimit when limit is given; its exit status.
int runHelper(const std::string &limit, std::string &output)
{
    std::vector<std::string> argv;
    if (!limit.empty())
        argv = {"/usr/bin/prlimit", "--nofile=" + limit};
    argv.push_back(REAL_ROUND_HELPER);
    argv.push_back("100");
    ChildProcess child(argv);
    if (!child.started())
        return -1;
    const int status = child.waitForExit(30000);
    output = child.output();
    return status;
}

TEST(RealRounds, RunningOutOfDescriptorsIsNeverTheTargetsFault)
{
    if (access("/usr/bin/prlimit", X_OK) != 0)
        GTEST_SKIP() << "prlimit is missing";
    std::string output;
    // 100 entries, 64 descriptors: many checks cannot get a socket, round
    // after round. None of them counts, nothing leaks, nothing crashes.
    ASSERT_EQ(runHelper("64:64", output), 0) << output;
    EXPECT_NE(output.find("failed 0; errors 0; alerts 0"), std::string::npos) << output;
    EXPECT_EQ(output.find("ok 100,"), std::string::npos) << "the limit never bit: " << output;
    // One line says what ran out, not one per check.
    EXPECT_EQ(linesWith(output, "out of the process's file descriptors"), 1u) << output;

    // With room enough every entry is checked.
    ASSERT_EQ(runHelper("", output), 0) << output;
    EXPECT_NE(output.find("ok 100, idle 0, failed 0; errors 0; alerts 0"), std::string::npos) << output;
    EXPECT_EQ(linesWith(output, "out of"), 0u) << output;
}

} // namespace
} // namespace vigilon::test
