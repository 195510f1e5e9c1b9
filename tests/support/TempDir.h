// SPDX-License-Identifier: MIT
// Temporary folders and the file chores of tests, on Linux and Windows.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace vigilon::test {

// A fresh folder of the test's own (owner-only) under the system's temporary
// folder, removed with everything in it at the end. On Linux its path is the
// real one, so that it compares with what child processes see.
class TempDir {
public:
    TempDir()
    {
        namespace fs = std::filesystem;
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            const fs::path candidate = fs::temp_directory_path() / ("vigilon-test-" + std::to_string(random()));
            std::error_code error;
            if (fs::create_directory(candidate, error)) {
                fs::permissions(candidate, fs::perms::owner_all, error);
#ifdef _WIN32
                path_ = candidate.string();
#else
                path_ = fs::canonical(candidate).string();
#endif
            }
        }
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return (std::filesystem::path(path_) / name).string(); }
    // Names of the folder's entries, sorted.
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto &entry : std::filesystem::directory_iterator(path_, error))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path_;
};

inline std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> readLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::istringstream in(readFile(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Writes text (and nothing else) to path, executable when asked.
inline bool writeFile(const std::string &path, const std::string &text, bool executable = false)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    namespace fs = std::filesystem;
    std::error_code error;
    if (executable)
        fs::permissions(path, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add, error);
    return fs::file_size(path, error) == text.size() && !error;
}

// Whether something is at path; a dangling link counts.
inline bool exists(const std::string &path)
{
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

// Makes dir the process's current folder for a scope.
class ChangeDir {
public:
    explicit ChangeDir(const std::string &dir)
        : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~ChangeDir()
    {
        std::error_code ignored;
        std::filesystem::current_path(previous_, ignored);
    }
    ChangeDir(const ChangeDir &) = delete;
    ChangeDir &operator=(const ChangeDir &) = delete;

private:
    std::filesystem::path previous_;
};

} // namespace vigilon::test
