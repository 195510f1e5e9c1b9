// SPDX-License-Identifier: MIT
// How a command is read: splitting, quoting, the program test, the directory
// and the target replacement.
#include "app/AlertAction.h"
#include "app/platform/CommandText.h"

#include <gtest/gtest.h>

namespace vigilon {
namespace {

using Args = std::vector<std::string>;
using platform::joinCommandLine;
using platform::quoteArgument;
using platform::splitCommandLine;

TEST(CommandTextTest, SplitsAsWindowsProgramsDo)
{
    EXPECT_EQ(splitCommandLine(""), Args{});
    EXPECT_EQ(splitCommandLine(" \t "), Args{});
    EXPECT_EQ(splitCommandLine("  a  b\tc  "), (Args{"a", "b", "c"}));
    EXPECT_EQ(splitCommandLine("a \"b c\" d"), (Args{"a", "b c", "d"}));
    // Quotes in the middle of a word only group.
    EXPECT_EQ(splitCommandLine("a x\"b c\"y"), (Args{"a", "xb cy"}));
    // The program keeps its backslashes, also before a quote.
    EXPECT_EQ(splitCommandLine("\"C:\\Program Files\\x.exe\" y"), (Args{"C:\\Program Files\\x.exe", "y"}));
    EXPECT_EQ(splitCommandLine("C:\\x\\\"y z\" w"), (Args{"C:\\x\\y z", "w"}));
    // Backslashes before a quote in arguments.
    EXPECT_EQ(splitCommandLine("p a\\\"b"), (Args{"p", "a\"b"}));
    EXPECT_EQ(splitCommandLine("p a\\\\\"b c\""), (Args{"p", "a\\b c"}));
    EXPECT_EQ(splitCommandLine("p a\\\\\\\"b"), (Args{"p", "a\\\"b"}));
    EXPECT_EQ(splitCommandLine("p C:\\dir\\ x"), (Args{"p", "C:\\dir\\", "x"}));
    // Doubled quotes inside quotes, and empty arguments.
    EXPECT_EQ(splitCommandLine("p \"a\"\"b\""), (Args{"p", "a\"b"}));
    EXPECT_EQ(splitCommandLine("p \"\" x"), (Args{"p", "", "x"}));
    EXPECT_EQ(splitCommandLine("p \"unterminated arg"), (Args{"p", "unterminated arg"}));
}

TEST(CommandTextTest, QuotedArgumentsComeBackUnchanged)
{
    const Args tricky = {"",         "plain",       "a b",        "a\"b",       "a\\\"b",   "trailing\\",
                         "trail \\", "\\\\server\\share", "tab\there", "x\"\"y", "\"",       "a\";touch x;\"",
                         "$(id)",    "-x",          "new\nline",  "\\\"\\\\\""};
    for (const std::string &argument : tricky) {
        const Args got = splitCommandLine("prog " + quoteArgument(argument, false));
        EXPECT_EQ(got, (Args{"prog", argument})) << "argument [" << argument << "] as "
                                                 << quoteArgument(argument, false);
    }
    const Args line = {"C:\\Program Files\\tool.exe", "a b", "", "c\\"};
    EXPECT_EQ(splitCommandLine(joinCommandLine(line)), line);
    EXPECT_EQ(joinCommandLine({"C:\\tools\\alert.bat", "10.0.0.7"}), "C:\\tools\\alert.bat 10.0.0.7");
}

TEST(CommandTextTest, ProgramsAreTheFourExtensionsAnywhereInAnyCase)
{
    // A plain substring: it need not end the file name.
    for (const char *program :
         {"C:\\tools\\alert.bat %TARGET%", "TOOL.EXE", "x.Com", "run.cmd", "http://host/download.exec/page"})
        EXPECT_TRUE(hasProgramExtension(program)) << program;
    for (const char *other : {"C:\\sounds\\alarm.wav", "http://%TARGET%/status", "exe"})
        EXPECT_FALSE(hasProgramExtension(other)) << other;
}

TEST(CommandTextTest, DirectoryIsBeforeTheLastSeparator)
{
    EXPECT_EQ(commandDirectory("C:\\tools\\alert.bat 10.0.0.7"), "C:\\tools");
    EXPECT_EQ(commandDirectory("pc1.exe"), "");
    // The last backslash may lie in an argument.
    EXPECT_EQ(commandDirectory("C:\\bin\\tool.exe C:\\logs\\out"), "C:\\bin\\tool.exe C:\\logs");
    if (!platform::kWindowsCommandLines) {
        EXPECT_EQ(commandDirectory("/opt/alerts/page.sh host"), "/opt/alerts");
        // Whichever separator comes last counts.
        EXPECT_EQ(commandDirectory("/opt/a.sh C:\\x"), "/opt/a.sh C:");
        EXPECT_EQ(commandDirectory("C:\\a.sh /var/log"), "C:\\a.sh /var");
    }
}

TEST(CommandTextTest, TargetIsReplacedInsideArgumentsOnly)
{
    EXPECT_EQ(commandArguments("C:\\tools\\alert.bat %TARGET%", "10.0.0.7"),
              (Args{"C:\\tools\\alert.bat", "10.0.0.7"}));
    EXPECT_EQ(commandArguments("%TARGET%.exe", "pc1"), Args{"pc1.exe"});
    EXPECT_EQ(commandArguments("a.exe %target% %Target%", "pc1"), (Args{"a.exe", "%target%", "%Target%"}));
    EXPECT_EQ(commandArguments("a.exe --host=%TARGET%:%TARGET%", "h"), (Args{"a.exe", "--host=h:h"}));
    // Whatever the target holds, it stays inside its argument.
    for (const std::string target : {"a b", "a\";touch x;\"", "$(id)", "-x", "a\\\" b", "\"\"", ""}) {
        EXPECT_EQ(commandArguments("a.exe %TARGET% end", target), (Args{"a.exe", target, "end"})) << target;
        EXPECT_EQ(commandArguments("a.exe \"%TARGET%\"", target), (Args{"a.exe", target})) << target;
    }
}

TEST(CommandTextTest, CommandInterpreterIsRecognisedWithItsUnsafeCharacters)
{
    for (const char *program :
         {"C:\\tools\\alert.bat", "alert.CMD", "alert.bat.", "C:\\Windows\\System32\\cmd.exe", "CMD"})
        EXPECT_TRUE(runsInCommandInterpreter(program)) << program;
    for (const char *program : {"C:\\tools\\alert.exe", "C:\\cmd\\tool.exe", "batch.com"})
        EXPECT_FALSE(runsInCommandInterpreter(program)) << program;

    for (const std::string bad : {"a&b", "a|b", "a<b", "a>b", "a^b", "%PATH%", "a\"b", "(x)", "a\nb", "a\rb"})
        EXPECT_TRUE(unsafeForCommandInterpreter(bad)) << bad;
    for (const std::string good : {"10.0.0.7", "host.example", "fe80::1", "pc-1_a", ""})
        EXPECT_FALSE(unsafeForCommandInterpreter(good)) << good;
}

} // namespace
} // namespace vigilon
