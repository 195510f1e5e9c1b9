// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vigilon::svc::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vigilsvc-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string &path, const std::string &text, bool executable)
{
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
    }
    chmod(path.c_str(), executable ? 0755 : 0644);
}

bool fileExists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

std::vector<std::string> readLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::istringstream in(readFile(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void copyFile(const std::string &from, const std::string &to)
{
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    chmod(to.c_str(), 0755);
}

bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

void writeFakeSystemctl(const std::string &dir)
{
    writeFile(dir + "/systemctl", R"sh(#!/bin/sh
d=$(dirname "$0")
printf '%s\n' "$*" >> "$d/calls"
[ "$1" = "--user" ] || { echo "expected --user" >&2; exit 3; }
if [ -f "$d/fail-$2" ]; then cat "$d/fail-$2" >&2; exit 1; fi
case "$2" in
show-environment)
    cat "$d/environment" 2>/dev/null ;;
show)
    [ -s "$d/states" ] || echo inactive > "$d/states"
    state=$(head -n 1 "$d/states")
    if [ "$(wc -l < "$d/states")" -gt 1 ]; then sed -i 1d "$d/states"; fi
    printf 'LoadState=%s\nActiveState=%s\n' "$(cat "$d/load" 2>/dev/null || echo loaded)" "$state" ;;
esac
exit 0
)sh",
              true);
}

Child::Child(const std::vector<std::string> &argv, const std::vector<std::string> &env, const std::string &outDir)
    : outDir_(outDir)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (outDir + "/stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (outDir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char *> args, envp;
    for (const auto &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (const auto &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
}

Child::~Child()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

void Child::signal(int sig) const
{
    if (pid_ > 0)
        kill(pid_, sig);
}

int Child::wait(std::chrono::milliseconds limit)
{
    if (pid_ <= 0)
        return -1;
    int status = 0;
    const bool ended = waitUntil(
        [&] {
            const pid_t r = waitpid(pid_, &status, WNOHANG);
            return r == pid_;
        },
        limit);
    if (!ended)
        return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool processExists(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

std::string field(const std::string &line, const std::string &key)
{
    const std::string marker = key + "=";
    std::size_t at = line.find(marker);
    while (at != std::string::npos && at != 0 && line[at - 1] != ' ')
        at = line.find(marker, at + 1);
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + marker.size();
    return line.substr(start, line.find(' ', start) - start);
}

} // namespace vigilon::svc::test
