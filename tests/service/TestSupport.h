// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <functional>
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
void writeFile(const std::string &path, const std::string &text, bool executable = false);
bool fileExists(const std::string &path);
std::vector<std::string> readLines(const std::string &path);
void copyFile(const std::string &from, const std::string &to);

// Polls until done() holds or the time is up; returns done().
bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit);

// Writes a stand-in systemctl into dir. It appends its arguments, one call
// a line, to dir/calls, prints dir/environment for show-environment, answers
// "show" with LoadState from dir/load (default "loaded") and ActiveState from
// the first line of dir/states (a line is used up per query while more than
// one is left; default "inactive"), and fails a verb (exit 1, the contents
// of dir/fail-<verb> on standard error) when that file exists.
void writeFakeSystemctl(const std::string &dir);

// A program run in the background with its own environment; its output
// goes to files.
class Child {
public:
    Child(const std::vector<std::string> &argv, const std::vector<std::string> &env, const std::string &outDir);
    ~Child();
    pid_t pid() const { return pid_; }
    void signal(int sig) const;
    // Waits for the end at most limit; the exit status, or -1 on time-out.
    int wait(std::chrono::milliseconds limit);
    std::string out() const { return readFile(outDir_ + "/stdout"); }
    std::string err() const { return readFile(outDir_ + "/stderr"); }

private:
    pid_t pid_ = -1;
    std::string outDir_;
};

// A process still exists (zombies included).
bool processExists(pid_t pid);

// The value of a "key=value" field in a stand-in record line.
std::string field(const std::string &line, const std::string &key);

} // namespace vigilon::svc::test
