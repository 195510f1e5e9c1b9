// SPDX-License-Identifier: MIT
#include "base/CommandLine.h"

#include "base/Language.h"

#include <cstdio>

#include <cstring>

namespace vigilon {

namespace {
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
} // namespace

namespace {
// Applies one token: a blank-separated word of a command line, or one whole
// argument as the shell gave it.
void scanToken(const std::string &token, CommandLine &result)
{
    if (token.empty())
        return;
    if (token == "--help") {
        result.showHelp = true;
        return;
    }
    if (token == "--version") {
        result.showVersion = true;
        return;
    }
    if (token == "--verbose") {
        result.verbose = true;
        return;
    }
    if (token.rfind("--lang=", 0) == 0 && languageFromName(token.substr(7)) && token.size() == 9) {
        result.language = token.substr(7);
        return;
    }
    if (token.rfind("--metrics=", 0) == 0) {
        result.metricsGiven = true;
        result.metricsAddress = token.substr(10, maxHostBytes);
        return;
    }
    if (token == "--metrics-histogram=on" || token == "--metrics-histogram=off") {
        result.metricsHistogramGiven = true;
        result.metricsHistogram = token.back() == 'n';
        return;
    }
    if (token.rfind("--", 0) == 0) {
        if (result.unknownOption.empty())
            result.unknownOption = token;
        return;
    }
    if (token[0] != '-' && token[0] != '/')
        return;
    // "service" compared exactly; a longer word beginning with it counts too.
    if (token.compare(1, 7, "service") == 0)
        result.serviceMode = true;
    if (token.size() >= 2 && (token[1] == 't' || token[1] == 'T')) {
        result.targetHost = token.substr(2, maxHostBytes);
        result.targetGiven = true;
    }
}
} // namespace

CommandLine parseCommandLine(const std::string &line)
{
    CommandLine result;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
        const std::size_t start = pos;
        while (pos < line.size() && !isBlank(line[pos]))
            ++pos;
        if (start == pos)
            break;
        scanToken(line.substr(start, pos - start), result);
    }
    return result;
}

CommandLine parseArguments(int argc, const char *const *argv)
{
    // The program's own path stays out: an absolute path such as
    // "/tmp/vigilon" would read as a "/t" switch.
    CommandLine result;
    for (int i = 1; i < argc; ++i)
        scanToken(argv[i], result);
    return result;
}

namespace {
void printUsage(std::FILE *out, const char *storeWhere)
{
    std::fprintf(out,
                 "Usage: vigilon [-service] [-tHOST] [--verbose] [--lang=en|ja] [--metrics=ADDR:PORT]\n"
                 "               [--metrics-histogram=on|off] [--help] [--version]\n"
                 "\n"
                 "Watches network ports on one host and tells when one stops answering.\n"
                 "\n"
                 "  -service   start hidden and begin monitoring after two seconds\n"
                 "  -tHOST     watch HOST instead of 127.0.0.1 (written directly after -t)\n"
                 "  --verbose  one line per finished check on standard error, tab-separated:\n"
                 "             local time (YYYY-MM-DD HH:MM:SS.mmm), entry name, outcome\n"
                 "             (Ok, Warning, Failed, Retry), response time in ms (for a\n"
                 "             failure, how long the check ran until it failed) and, for\n"
                 "             Failed and Retry, the reason\n"
                 "  --lang=en|ja  show the interface in English or in Japanese; without it\n"
                 "             the VIGILON_LANG variable (en or ja) decides, and then the\n"
                 "             locale (LC_ALL, LC_MESSAGES, LANG; on Windows the user's\n"
                 "             display language): Japanese for a Japanese one, else English\n"
                 "  --metrics=ADDR:PORT  serve Prometheus metrics at http://ADDR:PORT/metrics;\n"
                 "             a port alone serves on 127.0.0.1, [::1]:PORT on IPv6 loopback,\n"
                 "             0.0.0.0:PORT to every network; empty: off. Without it the\n"
                 "             stored \"Metrics Address\" decides (missing or empty: off)\n"
                 "  --metrics-histogram=on|off  with or without the response-time histogram\n"
                 "             (14 of the 17 series of an entry); without it the stored\n"
                 "             \"Metrics Histogram\" decides (0: off; missing: on)\n"
                 "  --help     show this text\n"
                 "  --version  show the version\n"
                 "\n"
                 "The switches may also begin with \"/\". The configuration is kept in\n"
                 "%s.\n",
                 storeWhere);
    std::fflush(out);
}
} // namespace

int answerInformationalOptions(const CommandLine &line, const char *version, const char *storeWhere)
{
    if (!line.unknownOption.empty()) {
        std::fprintf(stderr, "vigilon: unknown option %s\n", line.unknownOption.c_str());
        printUsage(stderr, storeWhere);
        return 2;
    }
    if (line.showHelp) {
        printUsage(stdout, storeWhere);
        return 0;
    }
    if (line.showVersion) {
        std::printf("vigilon %s\n", version);
        std::fflush(stdout);
        return 0;
    }
    return -1;
}

void applyLanguage(const CommandLine &line)
{
    setCurrentLanguage(chooseLanguage(line.language));
}

} // namespace vigilon
