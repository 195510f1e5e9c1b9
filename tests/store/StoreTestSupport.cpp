// SPDX-License-Identifier: MIT
#include "tests/store/StoreTestSupport.h"

#include "app/store/Settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vigilon::test {

TempDir::TempDir()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vigilon-store-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data()))
        ADD_FAILURE() << "mkdtemp failed";
    path_ = buffer.data();
}

TempDir::~TempDir()
{
    if (!path_.empty())
        std::system(("rm -rf '" + path_ + "'").c_str());
}

std::vector<std::string> TempDir::entries() const
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(path_.c_str())) {
        while (dirent *entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

PortList makePorts(const std::vector<EntryFields> &fields)
{
    PortList ports;
    for (const EntryFields &field : fields) {
        auto entry = std::make_unique<MonitorPort>();
        entry->port = field.port;
        entry->protocol = field.protocol;
        entry->name = field.name;
        entry->command = field.command;
        entry->threshold = field.threshold;
        entry->active = field.active;
        entry->action = field.action;
        ports.push_back(std::move(entry));
    }
    appendPlaceholder(ports);
    return ports;
}

namespace {

std::unique_ptr<reg::Key> monitorKey(reg::Registry &registry)
{
    reg::Status status = reg::Status::Ok;
    auto key = registry.createKey(kMonitorKey, &status);
    EXPECT_EQ(status, reg::Status::Ok);
    return key;
}

} // namespace

void putDword(reg::Registry &registry, const std::string &name, std::uint32_t value)
{
    ASSERT_EQ(monitorKey(registry)->setValue(name, reg::RegDword, reg::dwordBytes(value)), reg::Status::Ok);
}

void putString(reg::Registry &registry, const std::string &name, const std::string &bytes, std::uint32_t type)
{
    ASSERT_EQ(monitorKey(registry)->setValue(name, type, std::vector<std::uint8_t>(bytes.begin(), bytes.end())),
              reg::Status::Ok);
}

bool hasValue(reg::Registry &registry, const std::string &name)
{
    reg::Value value;
    auto key = registry.openKey(kMonitorKey, reg::KeyQueryValue);
    return key && key->queryValue(name, value) == reg::Status::Ok;
}

reg::Value valueOf(reg::Registry &registry, const std::string &name)
{
    reg::Value value;
    if (auto key = registry.openKey(kMonitorKey, reg::KeyQueryValue))
        key->queryValue(name, value);
    return value;
}

class HookedRegistry::HookedKey final : public reg::Key {
public:
    HookedKey(HookedRegistry &owner, std::unique_ptr<reg::Key> inner) : owner_(owner), inner_(std::move(inner)) {}
    reg::Status queryValue(const std::string &name, reg::Value &out) override { return inner_->queryValue(name, out); }
    reg::Status setValue(const std::string &name, std::uint32_t type, const std::vector<std::uint8_t> &data) override
    {
        if (reg::Status status = owner_.onWrite_(++owner_.writes_); status != reg::Status::Ok)
            return status;
        return inner_->setValue(name, type, data);
    }
    reg::Status deleteValue(const std::string &name) override { return inner_->deleteValue(name); }
    std::vector<std::string> valueNames() override { return inner_->valueNames(); }

private:
    HookedRegistry &owner_;
    std::unique_ptr<reg::Key> inner_;
};

HookedRegistry::HookedRegistry(reg::Registry &inner, std::function<reg::Status(int)> onWrite,
                               std::function<void()> beforeCommit)
    : inner_(inner), onWrite_(std::move(onWrite)), beforeCommit_(std::move(beforeCommit))
{
}

reg::Status HookedRegistry::transact(const std::function<reg::Status()> &body)
{
    return inner_.transact([&]() {
        const reg::Status status = body();
        if (status == reg::Status::Ok && beforeCommit_)
            beforeCommit_();
        return status;
    });
}

std::unique_ptr<reg::Key> HookedRegistry::wrap(std::unique_ptr<reg::Key> key)
{
    if (!key)
        return nullptr;
    return std::make_unique<HookedKey>(*this, std::move(key));
}

std::unique_ptr<reg::Key> HookedRegistry::openKey(const std::string &path, std::uint32_t access, reg::Status *status)
{
    return wrap(inner_.openKey(path, access, status));
}

std::unique_ptr<reg::Key> HookedRegistry::createKey(const std::string &path, reg::Status *status)
{
    return wrap(inner_.createKey(path, status));
}

ScopedEnv::ScopedEnv(const char *name, const char *value) : name_(name)
{
    const char *old = std::getenv(name);
    had_ = old != nullptr;
    saved_ = old ? old : "";
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (had_)
        setenv(name_.c_str(), saved_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

namespace {

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

ProgramResult runProgram(const std::vector<std::string> &argv, const std::vector<std::string> &env)
{
    TempDir scratch;
    const std::string outPath = scratch.file("out");
    const std::string errPath = scratch.file("err");
    const pid_t pid = fork();
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        for (const std::string &entry : env)
            putenv(const_cast<char *>(entry.c_str()));
        std::vector<char *> args;
        for (const std::string &arg : argv)
            args.push_back(const_cast<char *>(arg.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    ProgramResult result;
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    result.out = slurp(outPath);
    result.err = slurp(errPath);
    return result;
}

int forkChild(const std::function<int()> &body)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    return pid;
}

int waitChild(int pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

} // namespace vigilon::test
