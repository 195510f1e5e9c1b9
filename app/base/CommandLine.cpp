// SPDX-License-Identifier: MIT
#include "app/base/CommandLine.h"

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

} // namespace vigilon
