// SPDX-License-Identifier: MIT
#include "tests/support/Network.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <strings.h>
#include <sys/mount.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vigilon::test {

MachineStalls::MachineStalls()
{
    sched_getaffinity(0, sizeof processors_, &processors_);
    policy_ = sched_getscheduler(0);
    sched_getparam(0, &priority_);
    cpu_set_t here;
    CPU_ZERO(&here);
    CPU_SET(sched_getcpu(), &here);
    sched_param priority{};
    priority.sched_priority = sched_get_priority_min(SCHED_FIFO);
    ok_ = sched_setaffinity(0, sizeof here, &here) == 0 && sched_setscheduler(0, SCHED_FIFO, &priority) == 0;
    // The watcher keeps the processor and the policy; one step higher.
    thread_ = std::thread([this, priority] {
        sched_param higher = priority;
        ++higher.sched_priority;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &higher);
        // Bounded by the stop flag, one pass a millisecond.
        while (!stop_) {
            const std::uint64_t due = monoMicros() + 1000;
            usleep(1000);
            const std::uint64_t woke = monoMicros();
            if (woke > due + 200) {
                std::lock_guard<std::mutex> lock(mutex_);
                late_.emplace_back(due, woke);
            }
        }
    });
}

MachineStalls::~MachineStalls()
{
    stop_ = true;
    thread_.join();
    sched_setscheduler(0, policy_, &priority_);
    sched_setaffinity(0, sizeof processors_, &processors_);
}

std::uint64_t MachineStalls::overlap(std::uint64_t from, std::uint64_t to) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::uint64_t longest = 0;
    for (const auto &[begin, end] : late_) {
        const std::uint64_t a = std::max(begin, from), b = std::min(end, to);
        if (b > a)
            longest = std::max(longest, b - a);
    }
    return longest;
}

StallMeter::StallMeter(EventLoop &loop, const MachineStalls *machine)
    : loop_(loop), machine_(machine), last_(monoMicros())
{
    loop_.setTimer(this, 1, 1, [this] {
        const std::uint64_t now = monoMicros();
        if (now - last_ > 1000)
            gaps_.emplace_back(last_, now);
        last_ = now;
    });
}

StallMeter::~StallMeter()
{
    loop_.killTimers(this);
}

std::uint64_t StallMeter::longestMicros() const
{
    // The ticker is due every millisecond: anything beyond is the stall.
    std::uint64_t longest = 0;
    for (const auto &[from, to] : gaps_) {
        std::uint64_t stall = to - from - 1000;
        if (machine_)
            stall -= std::min(stall, machine_->overlap(from, to));
        longest = std::max(longest, stall);
    }
    return longest;
}

socklen_t socketAddress(const std::string &text, sockaddr_storage &address, std::uint16_t port)
{
    address = sockaddr_storage{};
    auto *in = reinterpret_cast<sockaddr_in *>(&address);
    auto *in6 = reinterpret_cast<sockaddr_in6 *>(&address);
    if (inet_pton(AF_INET, text.c_str(), &in->sin_addr) == 1) {
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        return sizeof *in;
    }
    if (inet_pton(AF_INET6, text.c_str(), &in6->sin6_addr) == 1) {
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        return sizeof *in6;
    }
    return 0;
}

namespace {
std::uint16_t boundPort(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    return ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 &>(address).sin6_port
                                               : reinterpret_cast<sockaddr_in &>(address).sin_port);
}

} // namespace

int boundSocket(int type, int backlog, std::uint16_t &port, const std::string &text)
{
    sockaddr_storage address{};
    const socklen_t length = socketAddress(text, address, port);
    const int fd = length ? socket(address.ss_family, type | SOCK_CLOEXEC, 0) : -1;
    if (fd < 0)
        return -1;
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        (type == SOCK_STREAM && listen(fd, backlog) != 0)) {
        close(fd);
        return -1;
    }
    port = boundPort(fd);
    return fd;
}

TcpServer::TcpServer(Behaviour behaviour, unsigned delayMs, std::string reply, const std::string &address,
                     std::uint16_t port)
    : behaviour_(behaviour), delayMs_(delayMs), reply_(std::move(reply)), port_(port)
{
    listener_ = boundSocket(SOCK_STREAM, behaviour == NoAccept ? 0 : behaviour == Queue ? 1024 : 256, port_, address);
    stop_ = eventfd(0, EFD_CLOEXEC);
    if (behaviour_ != NoAccept && behaviour_ != Queue)
        thread_ = std::thread([this] { run(); });
}

TcpServer::~TcpServer()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(stop_, &one, sizeof one);
    if (thread_.joinable())
        thread_.join();
    for (int fd : held_)
        close(fd);
    close(listener_); // either may be -1: nothing to close
    close(stop_);
}

std::vector<std::uint64_t> TcpServer::lateMicros()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return late_;
}

std::string TcpServer::firstRequest()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return firstRequest_;
}

void TcpServer::requireAuthorization(const std::string &value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    authorization_ = value;
}

std::string TcpServer::answerTo(const std::string &request)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return authorizedReply(request, reply_, authorization_);
}

std::string authorizedReply(const std::string &request, const std::string &reply, const std::string &authorization)
{
    if (authorization.empty())
        return reply;
    const std::string header = request.substr(0, request.find("\r\n\r\n") + 2);
    std::string::size_type at = header.find("\r\n");
    while (at != std::string::npos && at + 2 < header.size()) {
        const std::string::size_type end = header.find("\r\n", at + 2);
        const std::string line = header.substr(at + 2, end - at - 2);
        const std::string name = line.substr(0, line.find(':'));
        if (strcasecmp(name.c_str(), "Authorization") == 0 && line == name + ": " + authorization)
            return reply;
        at = end;
    }
    return "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"test\"\r\nContent-Length: 6\r\n"
           "Connection: close\r\n\r\ndenied";
}

void TcpServer::acceptQueued()
{
    pollfd queued{listener_, POLLIN, 0};
    for (int i = 0; i < 64 && poll(&queued, 1, 0) == 1; ++i) {
        held_.push_back(accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC));
        ++accepted_;
    }
}

void TcpServer::run()
{
    struct Connection {
        int fd;
        std::string received;
        std::uint64_t answerAt = 0; // 0: request not complete yet
        bool answered = false;
        std::uint64_t restAt = 0; // AnswerInTwo: when the second half is due
    };
    std::vector<Connection> connections;
    // Bounded by the stop pipe; each pass waits at most 1 ms past a due reply.
    for (;;) {
        std::vector<pollfd> fds{{stop_, POLLIN, 0}, {listener_, POLLIN, 0}};
        int waitMs = 1000;
        const std::uint64_t now = monoMicros();
        for (const Connection &c : connections) {
            fds.push_back(pollfd{c.fd, c.fd >= 0 ? short(POLLIN) : short(0), 0});
            if ((c.answerAt && !c.answered) || c.restAt) {
                // Wake 2 ms early; the last stretch is spun.
                const std::uint64_t due = c.restAt ? c.restAt : c.answerAt;
                const std::uint64_t left = due > now + 2000u ? (due - now - 2000u) / 1000u : 0;
                waitMs = std::min<int>(waitMs, int(left));
            }
        }
        poll(fds.data(), fds.size(), waitMs);
        if (fds[0].revents)
            break;
        // Connections accepted in this pass are polled from the next one.
        const std::size_t polled = fds.size() - 2;
        if (fds[1].revents & POLLIN) {
            const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                ++accepted_;
                if (behaviour_ == CloseAtOnce) {
                    close(fd);
                } else if (behaviour_ == ResetAtOnce || (behaviour_ == Flapping && accepted_ % 3 != 1)) {
                    linger off{1, 0};
                    setsockopt(fd, SOL_SOCKET, SO_LINGER, &off, sizeof off);
                    close(fd);
                } else if (behaviour_ == Megabyte) {
                    const std::string block(1 << 20, 'x');
                    // As much as the socket takes; the rest is not needed.
                    [[maybe_unused]] auto sent = send(fd, block.data(), block.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                    connections.push_back(Connection{fd, {}, 0, true, 0});
                } else {
                    connections.push_back(Connection{fd, {}, 0, false, 0});
                }
            }
        }
        for (std::size_t i = 0; i < connections.size(); ++i) {
            Connection &c = connections[i];
            if (c.fd < 0)
                continue;
            if (i < polled && fds[i + 2].revents & (POLLIN | POLLHUP | POLLERR)) {
                char buffer[4096];
                const ssize_t got = recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
                if (got <= 0) {
                    ++peerClosed_;
                    close(c.fd);
                    c.fd = -1;
                    continue;
                }
                c.received.append(buffer, std::size_t(got));
                if (!c.answerAt && c.received.find("\r\n\r\n") != std::string::npos) {
                    c.answerAt = monoMicros() + std::uint64_t(delayMs_) * 1000u;
                    std::lock_guard<std::mutex> lock(mutex_);
                    if (firstRequest_.empty())
                        firstRequest_ = c.received;
                }
                if (c.answerAt && behaviour_ == CloseAfterRequest) {
                    close(c.fd);
                    c.fd = -1;
                    continue;
                }
            }
            if (c.restAt && monoMicros() >= c.restAt) {
                send(c.fd, reply_.data() + 10, reply_.size() - 10, MSG_NOSIGNAL);
                c.restAt = 0;
            }
            if (behaviour_ == AnswerInTwo && c.answerAt && !c.answered && monoMicros() >= c.answerAt) {
                send(c.fd, reply_.data(), 10, MSG_NOSIGNAL);
                c.answered = true;
                c.restAt = monoMicros() + 50000u;
            }
            if (behaviour_ == AnswerAndClose && c.answerAt && !c.answered) {
                // Blocking: a reply larger than the socket takes leaves as
                // the client reads it, or stops when the client goes.
                const std::string reply = answerTo(c.received);
                send(c.fd, reply.data(), reply.size(), MSG_NOSIGNAL);
                shutdown(c.fd, SHUT_WR);
                c.answered = true;
            }
            if ((behaviour_ == Answer || behaviour_ == Flapping) && c.answerAt && !c.answered &&
                monoMicros() + 2000u >= c.answerAt) {
                // Sleep most of the way, then spin the last stretch so the
                // reply leaves on time (the benchmark's figures rely on it).
                while (monoMicros() < c.answerAt) {
                }
                const std::uint64_t late = monoMicros() - c.answerAt;
                const std::string reply = answerTo(c.received);
                send(c.fd, reply.data(), reply.size(), MSG_NOSIGNAL);
                c.answered = true;
                std::lock_guard<std::mutex> lock(mutex_);
                late_.push_back(late);
            }
        }
    }
    for (const Connection &c : connections)
        close(c.fd); // -1 once closed: nothing to close
}

std::uint16_t closedTcpPort(const std::string &address)
{
    std::uint16_t port = 0;
    close(boundSocket(SOCK_STREAM, 1, port, address));
    return port;
}

RefusedPort::RefusedPort(const std::string &address)
{
    sockaddr_storage bound{};
    const socklen_t length = socketAddress(address, bound);
    fd_ = length ? socket(bound.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
    // No SO_REUSEADDR: no other socket can be bound to the port beside it.
    if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr *>(&bound), length) == 0)
        port_ = boundPort(fd_);
}

void RefusedPort::release()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

int udpSocket(std::uint16_t &port)
{
    return boundSocket(SOCK_DGRAM, 0, port);
}

int openDescriptorCount()
{
    // Less the iterator's own descriptor.
    return int(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {})) - 1;
}

bool shell(const std::string &command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

namespace {
// Forks a child that enters new network (and mount) namespaces with its
// loopback up, as asked, and then makes body's value its exit status. The
// child's pid once it is in them, or -1 (no child is left then).
pid_t forkInside(Namespaces namespaces, const std::function<int()> &body)
{
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        return -1;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        const bool mountToo = namespaces == NetAndMountNamespace;
        const bool inside = namespaces == NoNamespace ||
                            (unshare(mountToo ? CLONE_NEWNET | CLONE_NEWNS : CLONE_NEWNET) == 0 &&
                             (!mountToo || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0) &&
                             shell("ip link set lo up"));
        [[maybe_unused]] auto written = write(ready[1], inside ? "y" : "n", 1);
        close(ready[1]);
        if (!inside)
            _exit(99);
        signal(SIGPIPE, SIG_DFL);
        const int status = body();
        std::fflush(nullptr);
        _exit(status);
    }
    close(ready[1]);
    char verdict = 'n';
    const bool inside = child > 0 && read(ready[0], &verdict, 1) == 1 && verdict == 'y';
    close(ready[0]);
    if (child > 0 && !inside)
        waitpid(child, nullptr, 0);
    return inside ? child : -1;
}
} // namespace

PeerNamespace::PeerNamespace()
{
    int hold[2];
    if (pipe2(hold, O_CLOEXEC) != 0)
        return;
    pid_ = forkInside(NetNamespace, [&hold] {
        close(hold[1]);
        // Lives until the owner closes its end, or ends itself.
        char byte;
        while (read(hold[0], &byte, 1) > 0) {
        }
        return 0;
    });
    close(hold[0]);
    if (pid_ > 0)
        hold_ = hold[1];
    else
        close(hold[1]);
}

bool addIpv6ToLoopback(const std::string &address)
{
    if (!shell("ip -6 addr add " + address + "/128 dev lo nodad"))
        return false;
    // The address is ready a moment later, when the kernel's work queue has
    // come to it (the teardown of earlier namespaces may hold that up); till
    // then what is sent to it is dropped. Ready: a connect to it succeeds.
    for (int i = 0; i < 100; ++i) {
        std::uint16_t port = 0;
        const int listener = boundSocket(SOCK_STREAM, 1, port, address);
        sockaddr_storage to{};
        const socklen_t length = socketAddress(address, to, port);
        const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval wait{0, 20000};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        const bool ready = listener >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&to), length) == 0;
        close(fd);
        close(listener);
        if (ready)
            return true;
        usleep(10000);
    }
    return false;
}

PeerNamespace::~PeerNamespace()
{
    if (pid_ <= 0)
        return;
    close(hold_);
    waitpid(pid_, nullptr, 0);
}

bool PeerNamespace::shell(const std::string &command) const
{
    return ok() && test::shell("nsenter -t " + std::to_string(pid_) + " -n " + command);
}

bool overlayFile(const std::string &path, const std::string &content)
{
    char name[] = "/tmp/vigilon-probe-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0)
        return false;
    const bool written = write(fd, content.data(), content.size()) == ssize_t(content.size());
    close(fd);
    const bool mounted = written && mount(name, path.c_str(), nullptr, MS_BIND, nullptr) == 0;
    unlink(name);
    return mounted;
}

int silentNameServer()
{
    std::uint16_t port = 53;
    return udpSocket(port);
}

bool overlayResolver(const std::string &hosts, const std::string &options)
{
    return overlayFile("/etc/hosts", hosts) &&
           overlayFile("/etc/resolv.conf", "nameserver 127.0.0.1\noptions " + options + "\n") &&
           overlayFile("/etc/nsswitch.conf", "hosts: files dns\n");
}

int runInChild(const std::function<int()> &body, Namespaces namespaces, unsigned timeoutMs)
{
    if (namespaces != NoNamespace && geteuid() != 0)
        return -1;
    const pid_t child = forkInside(namespaces, body);
    if (child < 0)
        return -1;
    const std::uint64_t deadline = monoMicros() + std::uint64_t(timeoutMs) * 1000u;
    int status = 0;
    // Bounded by the deadline.
    while (waitpid(child, &status, WNOHANG) != child) {
        if (monoMicros() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -2;
        }
        usleep(2000);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

} // namespace vigilon::test
