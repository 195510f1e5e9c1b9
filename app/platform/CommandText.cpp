// SPDX-License-Identifier: MIT
#include "app/platform/CommandText.h"

#include <algorithm>
#include <cctype>

namespace vigilon::platform {

namespace {
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
} // namespace

std::vector<std::string> splitCommandLine(const std::string &commandLine)
{
    std::vector<std::string> arguments;
    const std::size_t n = commandLine.size();
    std::size_t i = 0;

    // The program name: quotes group, nothing is escaped.
    while (i < n && isBlank(commandLine[i]))
        ++i;
    if (i >= n)
        return arguments;
    {
        std::string program;
        bool quoted = false;
        for (; i < n; ++i) {
            const char c = commandLine[i];
            if (c == '"')
                quoted = !quoted;
            else if (isBlank(c) && !quoted)
                break;
            else
                program.push_back(c);
        }
        arguments.push_back(std::move(program));
    }

    for (;;) {
        while (i < n && isBlank(commandLine[i]))
            ++i;
        if (i >= n)
            break;
        std::string argument;
        bool quoted = false;
        while (i < n) {
            const char c = commandLine[i];
            if (c == '\\') {
                std::size_t slashes = 0;
                while (i < n && commandLine[i] == '\\') {
                    ++slashes;
                    ++i;
                }
                if (i < n && commandLine[i] == '"') {
                    argument.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        argument.push_back('"');
                        ++i;
                    }
                    // An even count leaves the quote to the next turn.
                } else {
                    argument.append(slashes, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
                    argument.push_back('"');
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            if (isBlank(c) && !quoted)
                break;
            argument.push_back(c);
            ++i;
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::string quoteArgument(const std::string &argument, bool first)
{
    if (first) {
        std::string program;
        for (char c : argument) {
            if (c != '"')
                program.push_back(c);
        }
        const bool needsQuotes =
            program.empty() || std::any_of(program.begin(), program.end(), [](char c) { return isBlank(c); });
        return needsQuotes ? '"' + program + '"' : program;
    }
    const bool needsQuotes = argument.empty() || argument.find_first_of(" \t\n\v\"") != std::string::npos;
    if (!needsQuotes)
        return argument;
    std::string out = "\"";
    std::size_t slashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        if (c == '"') {
            out.append(2 * slashes + 1, '\\');
        } else {
            out.append(slashes, '\\');
        }
        slashes = 0;
        out.push_back(c);
    }
    // Backslashes before the closing quote are doubled so it stays a quote.
    out.append(2 * slashes, '\\');
    out.push_back('"');
    return out;
}

std::string joinCommandLine(const std::vector<std::string> &arguments)
{
    std::string out;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (i > 0)
            out.push_back(' ');
        out += quoteArgument(arguments[i], i == 0);
    }
    return out;
}

std::string replaceAll(const std::string &text, const std::string &placeholder, const std::string &value)
{
    if (placeholder.empty())
        return text;
    std::string out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = text.find(placeholder, from);
        if (at == std::string::npos)
            break;
        out.append(text, from, at - from);
        out += value;
        from = at + placeholder.size();
    }
    out.append(text, from, std::string::npos);
    return out;
}

bool containsNoCase(const std::string &text, const std::string &needle)
{
    std::string folded = text;
    for (char &c : folded)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded.find(needle) != std::string::npos;
}

} // namespace vigilon::platform
