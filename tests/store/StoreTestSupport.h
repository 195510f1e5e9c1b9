// SPDX-License-Identifier: MIT
// Shared pieces of the store tests: a configuration that says which save it
// came from, forked children, a second connection to a store file.
#pragma once

#include "base/MonitorPort.h"
#include "store/Registry.h"

#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <map>
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

// Every key of a store below path with its values in their order, by the
// keys' full paths: what two stores compare by.
using StoreDump = std::map<std::string, std::vector<std::tuple<std::string, std::uint32_t, std::vector<std::uint8_t>>>>;

inline void dumpStore(reg::Registry &store, const std::string &path, StoreDump &dump)
{
    if (auto key = store.openKey(path, reg::KeyQueryValue)) {
        auto &values = dump[path];
        std::vector<std::pair<std::string, reg::Value>> all;
        key->allValues(all);
        for (auto &[name, value] : all)
            values.emplace_back(name, value.type, value.data);
    }
    for (const std::string &child : store.subkeys(path))
        dumpStore(store, child, dump);
}

inline StoreDump dumpStore(reg::Registry &store, const std::string &path = "")
{
    StoreDump dump;
    dumpStore(store, path, dump);
    return dump;
}

// Seeds the configuration's tree with a value of every kind the registry
// file carries (strings with the characters it escapes, line breaks and
// Japanese text, hex data long enough to wrap, a default value, a Japanese
// value and key name, an empty key) and one value outside the tree.
inline reg::Status seedEveryKind(reg::Registry &store)
{
    return store.transact([&]() {
        using reg::Status;
        const auto text = [](const std::string &t) { return std::vector<std::uint8_t>(t.begin(), t.end()); };
        std::vector<std::uint8_t> long_;
        for (int i = 0; i < 100; ++i)
            long_.push_back(static_cast<std::uint8_t>(i * 7));
        const std::vector<std::tuple<std::string, std::string, std::uint32_t, std::vector<std::uint8_t>>> values = {
            {"Software\\Ardentis\\Vigilon", "", reg::RegSz, text("root default")},
            {"Software\\Ardentis\\Vigilon", "Logon", reg::RegDword, reg::dwordBytes(1)},
            {"Software\\Ardentis\\Vigilon\\Monitor", "Port Count", reg::RegDword, reg::dwordBytes(0x12345678)},
            {"Software\\Ardentis\\Vigilon\\Monitor", "Target", reg::RegExpandSz, text("%TARGET%.example")},
            {"Software\\Ardentis\\Vigilon\\Monitor", "Service #0", reg::RegSz,
             text("C:\\tools\\alert.bat \"%TARGET%\" \\\\share\\")},
            {"Software\\Ardentis\\Vigilon\\Monitor", "PortName #0", reg::RegExpandSz, text("監視サーバー (22)")},
            {"Software\\Ardentis\\Vigilon\\Monitor", "ポート名 #1", reg::RegSz, text("日本語の名前")},
            {"Software\\Ardentis\\Vigilon\\Monitor", "Lines", reg::RegSz, text("one\r\ntwo\tthree")},
            {"Software\\Ardentis\\Vigilon\\Monitor", "Blob", reg::RegBinary, long_},
            {"Software\\Ardentis\\Vigilon\\Monitor", "Empty Blob", reg::RegBinary, {}},
            {"Software\\Ardentis\\Vigilon\\Monitor", "Empty Text", reg::RegSz, {}},
            {"Software\\Ardentis\\Vigilon\\Monitor", "List", 7, {'a', 0, 'b', 0xE3, 0x81, 0x82, 0, 0}},
            {"Software\\Ardentis\\Vigilon\\Monitor", "Nothing", reg::RegNone, {1, 2}},
            {"Software\\Ardentis\\Vigilon\\Monitor", "Quad", 11, {1, 2, 3, 4, 5, 6, 7, 8}},
            {"Software\\Ardentis\\Vigilon\\Graphs\\空き", "", reg::RegNone, {}},
            {"Software\\Other", "Elsewhere", reg::RegSz, text("not ours")},
        };
        for (const auto &[path, name, type, data] : values) {
            Status status = Status::Ok;
            auto key = store.createKey(path, &status);
            if (!key)
                return status;
            // The empty key gets no value.
            if (type == reg::RegNone && data.empty())
                continue;
            if ((status = key->setValue(name, type, data)) != Status::Ok)
                return status;
        }
        return Status::Ok;
    });
}

} // namespace vigilon::test
