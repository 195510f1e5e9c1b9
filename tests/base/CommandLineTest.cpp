// SPDX-License-Identifier: MIT
#include "base/CommandLine.h"

#include <gtest/gtest.h>

#include <string>

namespace vigilon {
namespace {

struct CommandLineCase {
    const char *line;
    bool serviceMode;
    bool targetGiven;
    const char *targetHost;
};

class CommandLineTable : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTable, scansSwitchesAsTheProgramDoes)
{
    const CommandLineCase &c = GetParam();
    const CommandLine parsed = parseCommandLine(c.line);
    EXPECT_EQ(parsed.serviceMode, c.serviceMode) << c.line;
    EXPECT_EQ(parsed.targetGiven, c.targetGiven) << c.line;
    EXPECT_EQ(parsed.targetHost, c.targetHost) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, CommandLineTable,
    ::testing::Values(
        CommandLineCase{"vigilon", false, false, "127.0.0.1"},
        CommandLineCase{"vigilon -service", true, false, "127.0.0.1"},
        CommandLineCase{"vigilon /service", true, false, "127.0.0.1"},
        // Case-sensitive, but a longer word that begins with "service" counts.
        CommandLineCase{"vigilon -Service", false, false, "127.0.0.1"},
        CommandLineCase{"vigilon -services", true, false, "127.0.0.1"},
        CommandLineCase{"vigilon -servic", false, false, "127.0.0.1"},
        CommandLineCase{"vigilon -service -t10.0.0.9", true, true, "10.0.0.9"},
        CommandLineCase{"vigilon /Thost.example", false, true, "host.example"},
        // IPv6 literals as typed, colons and brackets included.
        CommandLineCase{"vigilon -t::1 -service", true, true, "::1"},
        CommandLineCase{"vigilon /t[fd00::2]", false, true, "[fd00::2]"},
        // "-t" then a blank: an empty host, and the next token is ignored.
        CommandLineCase{"vigilon -t 10.0.0.9", false, true, ""},
        // A word beginning with t: the letters after the t.
        CommandLineCase{"vigilon -target", false, true, "arget"},
        // A later target overrides an earlier one.
        CommandLineCase{"vigilon -ta -tb", false, true, "b"},
        // "-t" inside a token that does not begin with a switch character.
        CommandLineCase{"/opt/x-tools/vigilon x-tfoo", false, false, "127.0.0.1"},
        // Extensions spelled with "--" are never the program's switches.
        CommandLineCase{"vigilon --service --thost", false, false, "127.0.0.1"},
        CommandLineCase{"vigilon\t-service\t\t-thost", true, true, "host"}));

TEST(CommandLine, cutsALongHostAt1023Bytes)
{
    const std::string host(1500, 'h');
    const CommandLine parsed = parseCommandLine("vigilon -t" + host);
    EXPECT_EQ(parsed.targetHost, std::string(1023, 'h'));
}

TEST(CommandLine, recognisesHelpAndVersionOnlyAsWholeTokens)
{
    EXPECT_TRUE(parseCommandLine("vigilon --help").showHelp);
    EXPECT_TRUE(parseCommandLine("vigilon --version").showVersion);
    EXPECT_FALSE(parseCommandLine("vigilon --helpme").showHelp);
    const CommandLine verbose = parseCommandLine("vigilon --verbose -service");
    EXPECT_TRUE(verbose.verbose);
    EXPECT_TRUE(verbose.serviceMode);
    EXPECT_TRUE(verbose.unknownOption.empty());
    // Any other "--" token is an unknown option, the first one named.
    EXPECT_EQ(parseCommandLine("--bogus --version --x").unknownOption, "--bogus");
    EXPECT_EQ(parseCommandLine("--helpme").unknownOption, "--helpme");
    // The metrics' address is taken as written; an empty one is given too
    // (it turns a stored one off); "--metrics" alone is unknown.
    const CommandLine metrics = parseCommandLine("vigilon --metrics=[::1]:9464");
    EXPECT_TRUE(metrics.metricsGiven);
    EXPECT_EQ(metrics.metricsAddress, "[::1]:9464");
    EXPECT_TRUE(parseCommandLine("vigilon --metrics=").metricsGiven);
    EXPECT_FALSE(parseCommandLine("vigilon").metricsGiven);
    EXPECT_EQ(parseCommandLine("vigilon --metrics").unknownOption, "--metrics");
    // The histogram: on or off, or the store decides; any other word is
    // unknown.
    EXPECT_FALSE(parseCommandLine("vigilon --metrics=9464").metricsHistogramGiven);
    const CommandLine off = parseCommandLine("vigilon --metrics-histogram=off");
    EXPECT_TRUE(off.metricsHistogramGiven);
    EXPECT_FALSE(off.metricsHistogram);
    EXPECT_FALSE(off.metricsGiven);
    EXPECT_TRUE(parseCommandLine("--metrics-histogram=off --metrics-histogram=on").metricsHistogram);
    EXPECT_EQ(parseCommandLine("--metrics-histogram=no").unknownOption, "--metrics-histogram=no");
    EXPECT_FALSE(parseCommandLine("--metrics-histogram=no").metricsHistogramGiven);
}

// Each argument is one token as the shell gave it: a target keeps its
// blanks and what follows them is never another switch; the program's path,
// "/tmp/..." here, is never a "/t" switch.
TEST(CommandLine, takesEachArgumentWholeAndTheTargetAsTyped)
{
    const char *argv[] = {"/tmp/vigilon", "-ta b c", "-service", "-tx --version", "/tgood.example /t127.0.0.1"};
    EXPECT_EQ(parseArguments(3, argv).targetHost, "a b c");
    EXPECT_TRUE(parseArguments(3, argv).serviceMode);
    const CommandLine later = parseArguments(4, argv);
    EXPECT_EQ(later.targetHost, "x --version");
    EXPECT_FALSE(later.showVersion);
    EXPECT_EQ(parseArguments(5, argv).targetHost, "good.example /t127.0.0.1");
    EXPECT_FALSE(parseArguments(1, argv).targetGiven);
}

} // namespace
} // namespace vigilon
