// SPDX-License-Identifier: MIT
#pragma once

#include "app/store/MemoryRegistry.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vigilon::svc::test {

// A scratch directory, removed with its contents at the end of the scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string readFile(const std::string &path);
std::vector<std::string> readLines(const std::string &path);
void writeFile(const std::string &path, const std::string &text, bool executable = false);
void copyFile(const std::string &from, const std::string &to); // executable copy
bool fileExists(const std::string &path);

// Polls until done() holds or the time is up; returns done().
bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit);

// Writes a stand-in systemctl into dir. It appends its arguments, one call
// a line, to dir/calls, prints dir/environment for show-environment, answers
// "show" with LoadState from dir/load (default "loaded") and ActiveState from
// the first line of dir/states (a line is used up per query while more than
// one is left; default "inactive"), and fails a verb (exit 1, the contents
// of dir/fail-<verb> on standard error) when that file exists.
void writeFakeSystemctl(const std::string &dir);

// A program run in the background with its own environment; its standard
// output and error go to outDir/stdout and outDir/stderr.
class Child {
public:
    Child(const std::vector<std::string> &argv, const std::vector<std::string> &env, const std::string &outDir);
    ~Child();
    void signal(int sig) const;
    // The exit status, or -1 when it has not ended within limit.
    int wait(std::chrono::milliseconds limit);
    std::string out() const { return readFile(outDir_ + "/stdout"); }
    std::string err() const { return readFile(outDir_ + "/stderr"); }

private:
    pid_t pid_ = -1;
    std::string outDir_;
};

bool processExists(pid_t pid); // zombies included

// The value of a "key=value" field of a stand-in record line.
std::string field(const std::string &line, const std::string &key);

// Sets environment variables of this process for one scope.
using EnvVars = std::vector<std::pair<std::string, std::string>>;
class ScopedEnv {
public:
    explicit ScopedEnv(const EnvVars &vars);
    ~ScopedEnv();

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A datagram socket standing in for systemd's notification socket.
class NotifyReceiver {
public:
    explicit NotifyReceiver(const std::string &path);
    ~NotifyReceiver();
    bool bound() const { return bound_; }
    std::string receive(int timeoutSeconds = 5); // "<nothing>" on time-out

private:
    int fd_ = -1;
    bool bound_ = false;
};

// One in-memory store handed out as many registries (each "open" counts),
// safe to use from two threads.
class SharedStore {
public:
    std::function<std::unique_ptr<reg::Registry>()> factory();
    std::uint32_t logon();
    void setLogon(std::uint32_t value);
    reg::MemoryRegistry &store() { return store_; }
    std::atomic<int> opens{0};
    bool unavailable = false; // opening fails

private:
    class View;
    std::mutex mutex_;
    reg::MemoryRegistry store_;
};

} // namespace vigilon::svc::test
