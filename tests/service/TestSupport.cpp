// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "app/store/Settings.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
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

std::vector<std::string> readLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::istringstream in(readFile(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void writeFile(const std::string &path, const std::string &text, bool executable)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    chmod(path.c_str(), executable ? 0755 : 0644);
}

void copyFile(const std::string &from, const std::string &to)
{
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
    chmod(to.c_str(), 0755);
}

bool fileExists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

bool waitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
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
    for (const auto &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    args.push_back(nullptr);
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
    int status = 0;
    if (pid_ <= 0 || !waitUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit))
        return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool processExists(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

std::string field(const std::string &line, const std::string &key)
{
    const std::string marker = " " + key + "=";
    const std::size_t at = (" " + line).find(marker);
    if (at == std::string::npos)
        return {};
    const std::size_t start = at + marker.size() - 1;
    return line.substr(start, line.find(' ', start) - start);
}

ScopedEnv::ScopedEnv(const EnvVars &vars)
{
    for (const auto &[name, value] : vars) {
        const char *old = std::getenv(name.c_str());
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name.c_str(), value.c_str(), 1);
    }
}

ScopedEnv::~ScopedEnv()
{
    for (const auto &[name, value] : saved_) {
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
}

NotifyReceiver::NotifyReceiver(const std::string &path)
{
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    bound_ = bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
}

NotifyReceiver::~NotifyReceiver() { close(fd_); }

std::string NotifyReceiver::receive(int timeoutSeconds)
{
    timeval tv{timeoutSeconds, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char buffer[1024];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string("<nothing>");
}

class SharedStore::View final : public reg::Registry {
public:
    explicit View(SharedStore &s) : s_(s) {}
    std::unique_ptr<reg::Key> openKey(const std::string &p, std::uint32_t a, reg::Status *st) override
    {
        std::lock_guard lock(s_.mutex_);
        return s_.store_.openKey(p, a, st);
    }
    std::unique_ptr<reg::Key> createKey(const std::string &p, reg::Status *st) override
    {
        std::lock_guard lock(s_.mutex_);
        return s_.store_.createKey(p, st);
    }
    reg::Status deleteKey(const std::string &p) override { return s_.store_.deleteKey(p); }
    std::vector<std::string> subkeys(const std::string &p) override { return s_.store_.subkeys(p); }
    reg::Status transact(const std::function<reg::Status()> &body) override { return s_.store_.transact(body); }
    reg::Status readAndClearDword(const std::string &k, const std::string &n, std::uint32_t &prev) override
    {
        std::lock_guard lock(s_.mutex_);
        return s_.store_.readAndClearDword(k, n, prev);
    }

private:
    SharedStore &s_;
};

std::function<std::unique_ptr<reg::Registry>()> SharedStore::factory()
{
    return [this]() -> std::unique_ptr<reg::Registry> {
        ++opens;
        if (unavailable)
            return nullptr;
        return std::make_unique<View>(*this);
    };
}

std::uint32_t SharedStore::logon()
{
    std::lock_guard lock(mutex_);
    std::unique_ptr<reg::Key> key = store_.openKey(kProgramKey, reg::KeyQueryValue);
    reg::Value v;
    std::uint32_t out = 0;
    if (key && key->queryValue(kLogonValue, v) == reg::Status::Ok)
        reg::dwordFromValue(v, out);
    return out;
}

void SharedStore::setLogon(std::uint32_t value)
{
    std::lock_guard lock(mutex_);
    store_.createKey(kProgramKey);
    setLogonFlag(store_, value);
}

} // namespace vigilon::svc::test
