// SPDX-License-Identifier: MIT
#include "app/base/CommandLine.h"

#include <cstdio>

#include <cstring>

namespace vigilon {

namespace {
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
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
        const std::string token = line.substr(start, pos - start);

        if (token == "--help") {
            result.showHelp = true;
            continue;
        }
        if (token == "--version") {
            result.showVersion = true;
            continue;
        }
        if (token == "--verbose") {
            result.verbose = true;
            continue;
        }
        if (token.rfind("--", 0) == 0) {
            if (result.unknownOption.empty())
                result.unknownOption = token;
            continue;
        }
        if (token[0] != '-' && token[0] != '/')
            continue;
        // "service" compared exactly; a longer word beginning with it counts too.
        if (token.compare(1, 7, "service") == 0)
            result.serviceMode = true;
        if (token.size() >= 2 && (token[1] == 't' || token[1] == 'T')) {
            result.targetHost = token.substr(2, maxHostBytes);
            result.targetGiven = true;
        }
    }
    return result;
}

std::string joinArguments(int argc, const char *const *argv)
{
    // The program's own path stays out: an absolute path such as
    // "/tmp/vigilon" would read as a "/t" switch, and a path holding a blank
    // could split into a switch. On Windows the quoted path is never one.
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line += ' ';
        line += argv[i];
    }
    return line;
}

namespace {
void printUsage(std::FILE *out, const char *storeWhere)
{
    std::fprintf(out,
                 "Usage: vigilon [-service] [-tHOST] [--verbose] [--help] [--version]\n"
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

} // namespace vigilon
