// SPDX-License-Identifier: MIT
// Shared pieces of the store tests: temporary directories, configurations,
// raw values, child processes.
#pragma once

#include "app/base/MonitorPort.h"
#include "tests/store/MarkedConfig.h"
#include "app/store/Registry.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vigilon::test {

// A fresh directory (mode 0700) removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    // Names of the directory's entries, sorted.
    std::vector<std::string> entries() const;

private:
    std::string path_;
};

struct EntryFields {
    std::uint32_t port;
    std::uint32_t protocol;
    std::string name;
    std::string command;
    std::uint32_t threshold = 0;
    std::int32_t active = 1;
    std::uint32_t action = 1;
};

// A port list of the given entries followed by the placeholder.
PortList makePorts(const std::vector<EntryFields> &fields);

// Raw access to the Monitor key, as another tool would write it.
void putDword(reg::Registry &registry, const std::string &name, std::uint32_t value);
void putString(reg::Registry &registry, const std::string &name, const std::string &bytes,
               std::uint32_t type = reg::RegExpandSz);
bool hasValue(reg::Registry &registry, const std::string &name);
reg::Value valueOf(reg::Registry &registry, const std::string &name);

// Passes everything to another store and calls onWrite before each value
// write with the number of that write (counting from 1); a status other
// than Ok fails the write.
class HookedRegistry final : public reg::Registry {
public:
    // beforeCommit runs when a transaction's body has ended well, before
    // the commit.
    HookedRegistry(reg::Registry &inner, std::function<reg::Status(int)> onWrite,
                   std::function<void()> beforeCommit = {});
    std::unique_ptr<reg::Key> openKey(const std::string &path, std::uint32_t access,
                                      reg::Status *status = nullptr) override;
    std::unique_ptr<reg::Key> createKey(const std::string &path, reg::Status *status = nullptr) override;
    reg::Status deleteKey(const std::string &path) override { return inner_.deleteKey(path); }
    std::vector<std::string> subkeys(const std::string &path) override { return inner_.subkeys(path); }
    reg::Status transact(const std::function<reg::Status()> &body) override;
    reg::Status readAndClearDword(const std::string &keyPath, const std::string &name,
                                  std::uint32_t &previous) override
    {
        return inner_.readAndClearDword(keyPath, name, previous);
    }

private:
    class HookedKey;
    std::unique_ptr<reg::Key> wrap(std::unique_ptr<reg::Key> key);
    reg::Registry &inner_;
    std::function<reg::Status(int)> onWrite_;
    std::function<void()> beforeCommit_;
    int writes_ = 0;
};

// Sets (or, given null, removes) an environment variable for its lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const char *value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    std::string name_;
    std::string saved_;
    bool had_;
};

struct ProgramResult {
    int exitCode = -1; // -1 when it did not exit normally
    int signal = 0;
    std::string out;
    std::string err;
};

// Runs a program with extra environment entries ("NAME=value"), stdin empty.
ProgramResult runProgram(const std::vector<std::string> &argv, const std::vector<std::string> &env = {});

// Runs body in a forked child, which ends with body's result as exit code.
// Returns the child's pid.
int forkChild(const std::function<int()> &body);
// Waits for a child; the exit code, or 128 + signal number.
int waitChild(int pid);

} // namespace vigilon::test
