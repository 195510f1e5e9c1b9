// SPDX-License-Identifier: MIT
#pragma once

#include "app/base/Prompter.h"
#include "tests/support/FakePrompter.h"

#include <string>
#include <vector>

namespace vigilon::test {

using RecordingPrompter = FakePrompter;

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + '/' + name; }

private:
    std::string path_;
};

// Writes an executable shell script.
void writeScript(const std::string &path, const std::string &body);
void writeFile(const std::string &path, const std::string &text);
std::string readFile(const std::string &path);
bool exists(const std::string &path);
void makeDir(const std::string &path);

// Switches the process's current directory for a scope.
class ChangeDir {
public:
    explicit ChangeDir(const std::string &dir);
    ~ChangeDir();
    ChangeDir(const ChangeDir &) = delete;
    ChangeDir &operator=(const ChangeDir &) = delete;

private:
    std::string previous_;
};

} // namespace vigilon::test
