// SPDX-License-Identifier: MIT
// Shared pieces of the store tests: a configuration that says which save it
// came from, forked children, a second connection to a store file.
#pragma once

#include "base/MonitorPort.h"

#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>
#include <sys/wait.h>
#include <unistd.h>

namespace vigilon::test {

// A configuration whose every field carries a marker number, so that a test
// can tell which save a store holds and whether it holds it whole.
constexpr int kMarkedEntries = 5;

inline std::string markedTarget(int marker)
{
    return "host-" + std::to_string(marker) + ".example";
}

inline PortList markedPorts(int marker, int count = kMarkedEntries)
{
    PortList ports;
    const auto m = static_cast<std::uint32_t>(marker);
    for (int i = 0; i < count; ++i) {
        auto entry = std::make_unique<MonitorPort>();
        entry->port = m * 100 + static_cast<std::uint32_t>(i);
        entry->protocol = static_cast<std::uint32_t>(i % 4);
        entry->name = "entry " + std::to_string(marker) + "." + std::to_string(i);
        entry->command = "alert " + std::to_string(marker) + " %TARGET%";
        entry->threshold = m;
        entry->active = 1;
        entry->action = m;
        ports.push_back(std::move(entry));
    }
    appendPlaceholder(ports);
    return ports;
}

// Whether loaded entries hold the stored fields of saved ones (which end in
// the placeholder).
inline bool sameEntries(const PortList &loaded, const PortList &saved)
{
    const auto fields = [](const PortList &list, std::size_t count) {
        std::vector<std::tuple<std::uint32_t, std::uint32_t, std::string, std::string, std::uint32_t, std::int32_t,
                               std::uint32_t>>
            out;
        for (std::size_t i = 0; i < count; ++i) {
            const MonitorPort &e = *list[i];
            out.emplace_back(e.port, e.protocol, e.name, e.command, e.threshold, e.active, e.action);
        }
        return out;
    };
    return fields(loaded, loaded.size()) == fields(saved, realEntryCount(saved));
}

// Runs body in a forked child, which ends with body's result as its exit
// status; the child's pid.
inline pid_t forkChild(const std::function<int()> &body)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    return pid;
}

// Waits for a forked child: its exit status, 128 + signal, or -1.
inline int waitChild(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// A second connection to the file, as another process would hold it.
class OtherConnection {
public:
    explicit OtherConnection(const std::string &path) { sqlite3_open(path.c_str(), &db_); }
    ~OtherConnection() { sqlite3_close(db_); }
    OtherConnection(const OtherConnection &) = delete;
    OtherConnection &operator=(const OtherConnection &) = delete;
    int exec(const char *sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr); }

private:
    sqlite3 *db_ = nullptr;
};

} // namespace vigilon::test
