// SPDX-License-Identifier: MIT
// Shared pieces of the service host's tests: a stand-in systemctl, a
// stand-in vigilon and its records, systemd's notification socket and a
// store shared by threads.
#pragma once

#include "store/MemoryRegistry.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FrameParts.h"
#include "tests/support/TempDir.h"

#include <cstring>
#include <regex>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vigilon::test {

// Writes a stand-in systemctl into dir. It appends its arguments, one call
// a line, to dir/calls, prints dir/environment for show-environment, answers
// "show" with LoadState from dir/load (default "loaded") and ActiveState from
// the first line of dir/states (a line is used up per query while more than
// one is left; default "inactive"), and fails a verb (exit 1, the contents
// of dir/fail-<verb> on standard error) when that file exists.
inline void writeFakeSystemctl(const std::string &dir)
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

// Writes a stand-in vigilon to path. Each start appends one line to
// $STANDIN_DIR/starts:
//   pid=<pid> ownGroup=<0|1> cwd=<dir> args=<arg>,<arg> DISPLAY=<v> NOTIFY_SOCKET=<v>
// ("-" for a variable that is not set) and an end by SIGTERM appends
// "term pid=<pid>" to $STANDIN_DIR/terms. $STANDIN_MODE: "wait" (default)
// runs until a signal, "exit" ends at once, "ignore-term" ignores SIGTERM.
// One left behind by a failed test ends by itself after two minutes.
inline void writeStandIn(const std::string &path)
{
    writeFile(path, R"sh(#!/bin/sh
case "$STANDIN_MODE" in
exit) ;;
ignore-term) trap '' TERM ;;
*) trap 'echo "term pid=$$" >> "$STANDIN_DIR/terms"; kill $!; exit 0' TERM ;;
esac
args=$(IFS=,; echo "$*")
read -r st < /proc/$$/stat
set -- $st
own=0
[ "$5" = "$$" ] && own=1
echo "pid=$$ ownGroup=$own cwd=$(pwd -P) args=$args DISPLAY=${DISPLAY--} NOTIFY_SOCKET=${NOTIFY_SOCKET--}" >> \
    "$STANDIN_DIR/starts"
[ "$STANDIN_MODE" = exit ] && exit 0
[ "$STANDIN_MODE" = ignore-term ] && exec /bin/sleep 120
/bin/sleep 120 > /dev/null 2>&1 &
wait $!
)sh",
              true);
}

// The value of a "key=value" field of a stand-in's record line.
inline std::string field(const std::string &line, const std::string &key)
{
    std::smatch match;
    return std::regex_search(line, match, std::regex("(^| )" + key + "=([^ ]*)")) ? match[2].str() : std::string();
}

// A datagram socket standing in for systemd's notification socket.
class NotifyReceiver {
public:
    explicit NotifyReceiver(const std::string &path)
    {
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
        bound_ = bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    }
    ~NotifyReceiver() { close(fd_); }
    bool bound() const { return bound_; }
    // The next message, or "<nothing>" when none comes within the time.
    std::string receive(int timeoutSeconds = 5)
    {
        timeval tv{timeoutSeconds, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        char buffer[1024];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string("<nothing>");
    }

private:
    int fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bool bound_ = false;
};

// One in-memory store handed out as many registries; each "open" counts.
class SharedStore {
public:
    std::function<std::unique_ptr<reg::Registry>()> factory()
    {
        return [this]() -> std::unique_ptr<reg::Registry> {
            ++opens;
            return unavailable ? nullptr : std::make_unique<View>(store);
        };
    }
    reg::MemoryRegistry store;
    int opens = 0;
    bool unavailable = false; // opening fails

private:
    class View final : public reg::Registry {
    public:
        explicit View(reg::Registry &s)
            : s_(s)
        {
        }
        std::unique_ptr<reg::Key> openKey(const std::string &p, std::uint32_t a, reg::Status *st) override
        {
            return s_.openKey(p, a, st);
        }
        std::unique_ptr<reg::Key> createKey(const std::string &p, reg::Status *st) override
        {
            return s_.createKey(p, st);
        }
        reg::Status deleteKey(const std::string &p) override { return s_.deleteKey(p); }
        std::vector<std::string> subkeys(const std::string &p) override { return s_.subkeys(p); }
        reg::Status transact(const std::function<reg::Status()> &body) override { return s_.transact(body); }
        reg::Status readAndClearDword(const std::string &k, const std::string &n, std::uint32_t &prev) override
        {
            return s_.readAndClearDword(k, n, prev);
        }

    private:
        reg::Registry &s_;
    };
};

} // namespace vigilon::test
