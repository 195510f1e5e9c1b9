// SPDX-License-Identifier: MIT
#pragma once

#include "store/Settings.h"
#include "store/posix/SqliteRegistry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace vigilon::test {

// Tests of the vigilon-reg program that ctest hands them
// (VIGILON_REG_TOOL); run alone, they are skipped. Each has a folder of its
// own, whose "registry.sqlite" is the store the tool works on unless a test
// names another.
class RegToolFixture : public ::testing::Test {
public:
    static inline const std::string kOk = "The operation completed successfully.\n";
    static inline const std::string kNotFound =
        "ERROR: The system was unable to find the specified registry key or value.\n";
    static inline const std::string kMonitor = "HKLM\\Software\\Ardentis\\Vigilon\\Monitor";

protected:

    void SetUp() override
    {
        const char *path = std::getenv("VIGILON_REG_TOOL");
        if (!path || !*path)
            GTEST_SKIP() << "VIGILON_REG_TOOL is not set; run the tests through ctest";
        tool_ = path;
    }

    // The program on these arguments, over the store at storePath.
    RunResult runTool(const std::string &storePath, const std::vector<std::string> &args) const
    {
        std::vector<std::string> argv{tool_};
        argv.insert(argv.end(), args.begin(), args.end());
        return run(argv, {"VIGILON_REGISTRY=" + storePath});
    }

    std::string path(const std::string &name) const { return dir_ / name; }
    std::string file() const { return path("registry.sqlite"); }
    RunResult reg(const std::vector<std::string> &args) const { return runTool(file(), args); }
    // The program over the store of that name in the test's folder.
    RunResult reg(const std::string &store, const std::vector<std::string> &args) const
    {
        return runTool(path(store), args);
    }

    void add(const std::string &key, const std::string &name, const std::string &type, const std::string &data)
    {
        const RunResult run = reg({"add", key, "/v", name, "/t", type, "/d", data, "/f"});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, kOk);
        EXPECT_EQ(run.err, "");
    }
    using Values = std::vector<std::tuple<std::string, std::string, std::string>>;
    void addAll(const Values &values)
    {
        for (const auto &[name, type, data] : values)
            add(kMonitor, name, type, data);
    }
    // The values every entry at index i needs, active and running no command.
    void addEntry(int i, const std::string &port, const std::string &protocol, const std::string &name)
    {
        const std::string n = " #" + std::to_string(i);
        addAll({{"Port" + n, "REG_DWORD", port}, {"Protocol" + n, "REG_DWORD", protocol},
                {"Threshold" + n, "REG_DWORD", "0"}, {"PortName" + n, "REG_SZ", name}, {"Service" + n, "REG_SZ", ""},
                {"Action" + n, "REG_DWORD", "1"}, {"Active" + n, "REG_DWORD", "1"}});
    }
    // What a query of one Monitor value prints, "(none)" where it fails as
    // for a value that is not there.
    std::string queried(const std::string &name, const std::string &store = {})
    {
        const RunResult run = runTool(store.empty() ? file() : store, {"query", kMonitor, "/v", name});
        return run.status == 1 && run.err == kNotFound ? "(none)" : run.out + run.err;
    }
    static std::string shown(const std::string &name, const std::string &type, const std::string &data)
    {
        return "\nHKEY_LOCAL_MACHINE\\Software\\Ardentis\\Vigilon\\Monitor\n    " + name + "    " + type + "    " + data +
               "\n\n";
    }
    // The configuration after an export and an import into a new store.
    LoadedSettings throughRegFile()
    {
        const std::string exported = path("monitor.reg"), other = path("other.sqlite");
        EXPECT_EQ(reg({"export", exported}).status, 0);
        EXPECT_EQ(runTool(other, {"import", exported}).status, 0);
        auto store = reg::SqliteRegistry::open(other);
        std::string target = "127.0.0.1";
        return store ? loadSettings(*store, false, target) : LoadedSettings{};
    }
    // The program's load of the store at storePath (the test's own when
    // empty), which must find count entries; edit's changes are then saved
    // back given what the load found, or writing every value when not knowing.
    void loadEditSave(std::size_t count, const std::function<void(LoadedSettings &)> &edit,
                      const std::string &storePath = {}, bool knowing = true)
    {
        auto store = reg::SqliteRegistry::open(storePath.empty() ? file() : storePath);
        ASSERT_TRUE(store);
        std::string target = "127.0.0.1";
        StoredValues stored;
        LoadedSettings loaded = loadSettings(*store, false, target, nullptr, &stored);
        ASSERT_EQ(loaded.ports.size(), count);
        edit(loaded);
        appendPlaceholder(loaded.ports);
        ASSERT_EQ(saveSettings(*store, target, 5, 1, loaded.ports, knowing ? &stored : nullptr), reg::Status::Ok);
    }

    std::string tool_;
    TempDir dir_;
};

} // namespace vigilon::test
