// SPDX-License-Identifier: MIT
// Shared pieces of the store tests: a configuration that says which save it
// came from, a store that fails or dies on a chosen write, forked children.
#pragma once

#include "app/base/MonitorPort.h"
#include "app/store/Registry.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace vigilon::test {

// A configuration whose every field carries a marker number, so that a test
// can tell which save a store holds and whether it holds it whole.
constexpr int kMarkedEntries = 5;

inline std::string markedTarget(int marker)
{
    return "host-" + std::to_string(marker) + ".example";
}

inline PortList markedPorts(int marker, int count = kMarkedEntries)
{
    PortList ports;
    const auto m = static_cast<std::uint32_t>(marker);
    for (int i = 0; i < count; ++i) {
        auto entry = std::make_unique<MonitorPort>();
        entry->port = m * 100 + static_cast<std::uint32_t>(i);
        entry->protocol = static_cast<std::uint32_t>(i % 4);
        entry->name = "entry " + std::to_string(marker) + "." + std::to_string(i);
        entry->command = "alert " + std::to_string(marker) + " %TARGET%";
        entry->threshold = m;
        entry->active = 1;
        entry->action = m;
        ports.push_back(std::move(entry));
    }
    appendPlaceholder(ports);
    return ports;
}

// Passes everything to another store and calls onWrite before each value
// write with the number of that write (counting from 1); a status other than
// Ok fails the write. beforeCommit runs when a transaction's body has ended
// well, before the commit.
class HookedRegistry final : public reg::Registry {
public:
    HookedRegistry(reg::Registry &inner, std::function<reg::Status(int)> onWrite,
                   std::function<void()> beforeCommit = {})
        : inner_(inner)
        , onWrite_(std::move(onWrite))
        , beforeCommit_(std::move(beforeCommit))
    {
    }
    std::unique_ptr<reg::Key> openKey(const std::string &path, std::uint32_t access,
                                      reg::Status *status = nullptr) override
    {
        return wrap(inner_.openKey(path, access, status));
    }
    std::unique_ptr<reg::Key> createKey(const std::string &path, reg::Status *status = nullptr) override
    {
        return wrap(inner_.createKey(path, status));
    }
    reg::Status deleteKey(const std::string &path) override { return inner_.deleteKey(path); }
    std::vector<std::string> subkeys(const std::string &path) override { return inner_.subkeys(path); }
    reg::Status transact(const std::function<reg::Status()> &body) override
    {
        return inner_.transact([&]() {
            const reg::Status status = body();
            if (status == reg::Status::Ok && beforeCommit_)
                beforeCommit_();
            return status;
        });
    }
    reg::Status readAndClearDword(const std::string &keyPath, const std::string &name,
                                  std::uint32_t &previous) override
    {
        return inner_.readAndClearDword(keyPath, name, previous);
    }

private:
    class HookedKey final : public reg::Key {
    public:
        HookedKey(HookedRegistry &owner, std::unique_ptr<reg::Key> inner)
            : owner_(owner)
            , inner_(std::move(inner))
        {
        }
        reg::Status queryValue(const std::string &name, reg::Value &out) override
        {
            return inner_->queryValue(name, out);
        }
        reg::Status setValue(const std::string &name, std::uint32_t type,
                             const std::vector<std::uint8_t> &data) override
        {
            if (const reg::Status status = owner_.onWrite_(++owner_.writes_); status != reg::Status::Ok)
                return status;
            return inner_->setValue(name, type, data);
        }
        reg::Status deleteValue(const std::string &name) override { return inner_->deleteValue(name); }
        std::vector<std::string> valueNames() override { return inner_->valueNames(); }

    private:
        HookedRegistry &owner_;
        std::unique_ptr<reg::Key> inner_;
    };
    std::unique_ptr<reg::Key> wrap(std::unique_ptr<reg::Key> key)
    {
        return key ? std::make_unique<HookedKey>(*this, std::move(key)) : nullptr;
    }

    reg::Registry &inner_;
    std::function<reg::Status(int)> onWrite_;
    std::function<void()> beforeCommit_;
    int writes_ = 0;
};

// Runs body in a forked child, which ends with body's result as its exit
// status; the child's pid.
inline pid_t forkChild(const std::function<int()> &body)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    return pid;
}

// Waits for a forked child: its exit status, 128 + signal, or -1.
inline int waitChild(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

} // namespace vigilon::test
