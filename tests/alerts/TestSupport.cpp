// SPDX-License-Identifier: MIT
#include "tests/alerts/TestSupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace vigilon::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vigilon-alerts-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    // The real path, so that it compares with what children see as theirs.
    path_ = std::filesystem::canonical(pattern).string();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good()) << path;
}

void writeScript(const std::string &path, const std::string &body)
{
    writeFile(path, "#!/bin/sh\n" + body);
    ASSERT_EQ(chmod(path.c_str(), 0755), 0) << path;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool exists(const std::string &path)
{
    struct stat st = {};
    return lstat(path.c_str(), &st) == 0;
}

void makeDir(const std::string &path)
{
    std::filesystem::create_directories(path);
}

ChangeDir::ChangeDir(const std::string &dir)
{
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer))
        previous_ = buffer;
    if (chdir(dir.c_str()) != 0)
        ADD_FAILURE() << "cannot enter " << dir;
}

ChangeDir::~ChangeDir()
{
    if (!previous_.empty() && chdir(previous_.c_str()) != 0)
        ADD_FAILURE() << "cannot return to " << previous_;
}

} // namespace vigilon::test
