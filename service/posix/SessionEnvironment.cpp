// SPDX-License-Identifier: MIT
#include "service/posix/SessionEnvironment.h"
#include "base/TextFormat.h"

#include "service/posix/Process.h"

#include <array>
#include <cstdlib>
#include <string_view>

extern char **environ;

namespace vigilon::svc {

namespace {

constexpr std::array<std::string_view, 4> kSessionVariables{"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY",
                                                            "DBUS_SESSION_BUS_ADDRESS"};

// Undoes the quoting systemd applies to values with special characters.
std::string unquote(std::string_view v)
{
    std::string out;
    if (v.size() >= 3 && v.substr(0, 2) == "$'" && v.back() == '\'') {
        v = v.substr(2, v.size() - 3);
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (v[i] != '\\' || i + 1 >= v.size()) {
                out += v[i];
                continue;
            }
            const char c = v[++i];
            switch (c) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'a': out += '\a'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'v': out += '\v'; break;
            case 'x':
                if (i + 2 < v.size() && hexDigit(v[i + 1]) >= 0 && hexDigit(v[i + 2]) >= 0) {
                    out += static_cast<char>(hexDigit(v[i + 1]) * 16 + hexDigit(v[i + 2]));
                    i += 2;
                } else {
                    out += "\\x";
                }
                break;
            default: out += c; break; // \\ \' \"
            }
        }
        return out;
    }
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
        v = v.substr(1, v.size() - 2);
        for (std::size_t i = 0; i < v.size(); ++i) {
            if (v[i] == '\\' && i + 1 < v.size())
                ++i;
            out += v[i];
        }
        return out;
    }
    return std::string(v);
}

bool isSessionVariable(std::string_view name)
{
    for (std::string_view s : kSessionVariables)
        if (s == name)
            return true;
    return false;
}

} // namespace

std::string systemctlProgram()
{
    const char *override = std::getenv("VIGILSVC_SYSTEMCTL");
    return override != nullptr && *override != '\0' ? override : "systemctl";
}

std::map<std::string, std::string> parseShowEnvironment(const std::string &output)
{
    std::map<std::string, std::string> vars;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        const std::string_view line(output.data() + start, end - start);
        const std::size_t eq = line.find('=');
        if (eq != std::string_view::npos && eq > 0)
            vars[std::string(line.substr(0, eq))] = unquote(line.substr(eq + 1));
        start = end + 1;
    }
    return vars;
}

std::optional<std::map<std::string, std::string>> userManagerEnvironment()
{
    const ProgramResult r = runProgram({systemctlProgram(), "--user", "show-environment"}, 5000);
    if (!r.ok())
        return std::nullopt;
    return parseShowEnvironment(r.output);
}

std::vector<std::string> monitorEnvironment(const std::vector<std::string> &own,
                                            const std::optional<std::map<std::string, std::string>> &manager)
{
    std::vector<std::string> env;
    for (const std::string &entry : own) {
        const std::string_view name = std::string_view(entry).substr(0, entry.find('='));
        if (name == "NOTIFY_SOCKET" || name.starts_with("WATCHDOG_"))
            continue;
        if (manager && isSessionVariable(name))
            continue; // replaced below
        env.push_back(entry);
    }
    if (manager) {
        for (std::string_view name : kSessionVariables) {
            const auto it = manager->find(std::string(name));
            if (it != manager->end())
                env.push_back(std::string(name) + "=" + it->second);
        }
    }
    return env;
}

std::vector<std::string> currentEnvironment()
{
    std::vector<std::string> env;
    for (char **e = environ; e != nullptr && *e != nullptr; ++e)
        env.emplace_back(*e);
    return env;
}

} // namespace vigilon::svc
