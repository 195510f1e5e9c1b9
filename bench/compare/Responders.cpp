// SPDX-License-Identifier: MIT
#include "bench/compare/Responders.h"

#include "bench/compare/Figures.h"
#include "bench/compare/Process.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vigilon::bench {

namespace {

// How long before a reply is due a responder stops sleeping and spins: the
// timer wakes about a tenth of a millisecond late on this kind of machine.
constexpr std::uint64_t kSpinMicros = 300;

bool writeAll(int fd, const std::string &text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

// The realtime receive stamp of a message, moved to the monotonic clock;
// fallback when the message carries none.
std::uint64_t stampOf(msghdr &message, std::uint64_t fallback)
{
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS)
            continue;
        timespec stamp{};
        std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
        timespec real{};
        clock_gettime(CLOCK_REALTIME, &real);
        const std::int64_t age = (std::int64_t(real.tv_sec) - stamp.tv_sec) * 1000000 +
                                 (std::int64_t(real.tv_nsec) - stamp.tv_nsec) / 1000;
        const std::uint64_t now = monoMicros();
        if (age < 0 || age > 10000000)
            return fallback;
        return now - std::uint64_t(age);
    }
    return fallback;
}

void spinUntil(std::uint64_t due)
{
    while (monoMicros() < due) {
    }
}

timespec spanUntil(std::uint64_t wakeAt, std::uint64_t now, std::uint64_t capMicros)
{
    std::uint64_t span = wakeAt > now ? wakeAt - now : 0;
    if (span > capMicros)
        span = capMicros;
    timespec t{};
    t.tv_sec = time_t(span / 1000000u);
    t.tv_nsec = long(span % 1000000u) * 1000;
    return t;
}

// The child's side of the control channel and its error record.
class Control {
public:
    Control(int in, int out) : in_(in), out_(out) {}

    int fd() const { return in_; }

    // Reads what is there and handles each complete line; false once the
    // responder is to end.
    bool handle(const std::function<bool(const std::string &)> &onLine)
    {
        char chunk[512];
        const ssize_t n = ::read(in_, chunk, sizeof chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return true;
        if (n <= 0)
            return false;
        buffer_.append(chunk, std::size_t(n));
        std::size_t end;
        while ((end = buffer_.find('\n')) != std::string::npos) {
            const std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            if (line == "Q")
                return false;
            if (line.rfind("D ", 0) == 0) {
                delayMicros = std::strtoull(line.c_str() + 2, nullptr, 10);
                continue;
            }
            if (line == "R") {
                const Summary s = summarise(lateMicros_);
                char text[128];
                std::snprintf(text, sizeof text, "n=%zu median=%.3f p99=%.3f max=%.3f\n", s.count, s.median, s.p99,
                              s.max);
                lateMicros_.clear();
                writeAll(out_, text);
                continue;
            }
            if (!onLine(line))
                return false;
        }
        return true;
    }

    void say(const std::string &line) { writeAll(out_, line + "\n"); }
    void recordLate(std::uint64_t sentMicros, std::uint64_t dueMicros)
    {
        lateMicros_.push_back(double(std::int64_t(sentMicros) - std::int64_t(dueMicros)));
    }

    std::uint64_t delayMicros = 0;

private:
    int in_;
    int out_;
    std::string buffer_;
    std::vector<double> lateMicros_;
};

std::uint16_t checksum(const std::uint8_t *data, std::size_t size)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        sum += std::uint32_t(data[i]) << 8 | data[i + 1];
    if (size & 1)
        sum += std::uint32_t(data[size - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return std::uint16_t(~sum);
}

int icmpBody(const std::string &netns, int controlFd, int resultFd)
{
    Control control(controlFd, resultFd);
    const std::string path = "/run/netns/" + netns;
    const int nsFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (nsFd < 0 || ::setns(nsFd, CLONE_NEWNET) != 0) {
        control.say(std::string("error cannot enter the namespace: ") + std::strerror(errno));
        return 1;
    }
    ::close(nsFd);
    const int sock = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (sock < 0) {
        control.say(std::string("error no raw ICMP socket: ") + std::strerror(errno));
        return 1;
    }
    const int on = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    control.say("ready");

    struct Reply {
        std::vector<std::uint8_t> packet;
        sockaddr_in to{};
    };
    std::multimap<std::uint64_t, Reply> due;
    for (;;) {
        std::uint64_t now = monoMicros();
        if (!due.empty() && due.begin()->first <= now + kSpinMicros) {
            auto first = due.begin();
            spinUntil(first->first);
            // The reply leaves inside the call: its start is when we replied.
            control.recordLate(monoMicros(), first->first);
            ::sendto(sock, first->second.packet.data(), first->second.packet.size(), 0,
                     reinterpret_cast<const sockaddr *>(&first->second.to), sizeof first->second.to);
            due.erase(first);
            continue;
        }
        const timespec wait =
            due.empty() ? spanUntil(now + 1000000u, now, 1000000u) : spanUntil(due.begin()->first - kSpinMicros, now, 1000000u);
        pollfd fds[2] = {{sock, POLLIN, 0}, {control.fd(), POLLIN, 0}};
        const int ready = ::ppoll(fds, 2, &wait, nullptr);
        if (ready <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            for (;;) {
                std::uint8_t buffer[2048];
                char space[256];
                sockaddr_in from{};
                iovec io{buffer, sizeof buffer};
                msghdr message{};
                message.msg_name = &from;
                message.msg_namelen = sizeof from;
                message.msg_iov = &io;
                message.msg_iovlen = 1;
                message.msg_control = space;
                message.msg_controllen = sizeof space;
                const ssize_t got = ::recvmsg(sock, &message, MSG_DONTWAIT);
                if (got <= 0)
                    break;
                const std::uint64_t arrived = stampOf(message, monoMicros());
                const std::size_t header = std::size_t(buffer[0] & 0x0f) * 4;
                if (std::size_t(got) < header + 8 || buffer[header] != 8 || buffer[header + 1] != 0)
                    continue;
                Reply reply;
                reply.packet.assign(buffer + header, buffer + got);
                reply.packet[0] = 0; // echo reply
                reply.packet[2] = reply.packet[3] = 0;
                const std::uint16_t sum = checksum(reply.packet.data(), reply.packet.size());
                reply.packet[2] = std::uint8_t(sum >> 8);
                reply.packet[3] = std::uint8_t(sum & 0xff);
                reply.to = from;
                due.emplace(arrived + control.delayMicros, std::move(reply));
            }
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (!control.handle([](const std::string &) { return true; }))
                return 0;
        }
    }
}

// A TCP listener on 127.0.0.1 at a port of the system's choice, told to the
// parent as "port N"; -1 after telling why there is none.
int listenOnLoopback(int flags, Control &control)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | flags, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener, 128) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        control.say(std::string("error no listening socket: ") + std::strerror(errno));
        return -1;
    }
    control.say("port " + std::to_string(ntohs(address.sin_port)));
    return listener;
}

int httpBody(int controlFd, int resultFd)
{
    Control control(controlFd, resultFd);
    const int listener = listenOnLoopback(SOCK_NONBLOCK, control);
    if (listener < 0)
        return 1;

    static const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    struct Connection {
        std::string request;
        bool scheduled = false;
        bool answered = false;
    };
    std::map<int, Connection> connections;
    std::multimap<std::uint64_t, int> due;
    auto drop = [&](int fd) {
        for (auto it = due.begin(); it != due.end();) {
            if (it->second == fd)
                it = due.erase(it);
            else
                ++it;
        }
        connections.erase(fd);
        ::close(fd);
    };
    for (;;) {
        const std::uint64_t now = monoMicros();
        if (!due.empty() && due.begin()->first <= now + kSpinMicros) {
            auto first = due.begin();
            const int fd = first->second;
            spinUntil(first->first);
            control.recordLate(monoMicros(), first->first);
            ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
            due.erase(first);
            connections[fd].answered = true;
            ::shutdown(fd, SHUT_WR);
            continue;
        }
        const timespec wait =
            due.empty() ? spanUntil(now + 1000000u, now, 1000000u) : spanUntil(due.begin()->first - kSpinMicros, now, 1000000u);
        std::vector<pollfd> fds;
        fds.push_back({control.fd(), POLLIN, 0});
        fds.push_back({listener, POLLIN, 0});
        for (const auto &c : connections)
            fds.push_back({c.first, POLLIN, 0});
        const int ready = ::ppoll(fds.data(), fds.size(), &wait, nullptr);
        if (ready <= 0)
            continue;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (!control.handle([](const std::string &) { return true; }))
                return 0;
        }
        if (fds[1].revents & POLLIN) {
            for (;;) {
                const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd < 0)
                    break;
                const int on = 1;
                ::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
                connections[fd];
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            const int fd = fds[i].fd;
            char buffer[2048];
            char space[256];
            iovec io{buffer, sizeof buffer};
            msghdr message{};
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = space;
            message.msg_controllen = sizeof space;
            const ssize_t got = ::recvmsg(fd, &message, MSG_DONTWAIT);
            if (got < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (got <= 0) {
                drop(fd);
                continue;
            }
            const std::uint64_t arrived = stampOf(message, monoMicros());
            Connection &c = connections[fd];
            if (c.scheduled)
                continue; // nothing after the header is read
            c.request.append(buffer, std::size_t(got));
            if (c.request.find("\r\n\r\n") != std::string::npos) {
                c.scheduled = true;
                due.emplace(arrived + control.delayMicros, fd);
            } else if (c.request.size() > 65536) {
                drop(fd);
            }
        }
    }
}

// The HTTP responder's reply over TLS, one connection at a time (the checks
// of a figure come one after another): the handshake, then the request's
// header, then the reply D after the header's last byte was read. The time
// of the read is the latest the header can have arrived, so a late TLS
// stack on this side shows as the responder's own error, not the checker's.
int httpsBody(const std::string &certFile, const std::string &keyFile, int controlFd, int resultFd)
{
    Control control(controlFd, resultFd);
    SSL_CTX *context = SSL_CTX_new(TLS_server_method());
    if (!context || SSL_CTX_use_certificate_chain_file(context, certFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, keyFile.c_str(), SSL_FILETYPE_PEM) != 1) {
        control.say("error the certificate or key could not be loaded");
        return 1;
    }
    const int listener = listenOnLoopback(0, control);
    if (listener < 0)
        return 1;
    static const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    for (;;) {
        pollfd fds[] = {{control.fd(), POLLIN, 0}, {listener, POLLIN, 0}};
        if (::poll(fds, 2, 1000) <= 0)
            continue;
        if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && !control.handle([](const std::string &) { return true; }))
            break;
        if (!(fds[1].revents & POLLIN))
            continue;
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        // A checker that stops talking holds the responder two seconds at most.
        const timeval limit{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        SSL *tls = SSL_new(context);
        SSL_set_fd(tls, fd);
        std::string request;
        if (SSL_accept(tls) == 1) {
            char buffer[2048];
            while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
                const int got = SSL_read(tls, buffer, sizeof buffer);
                if (got <= 0)
                    break;
                request.append(buffer, std::size_t(got));
            }
        }
        if (request.find("\r\n\r\n") != std::string::npos) {
            const std::uint64_t due = monoMicros() + control.delayMicros;
            const std::uint64_t now = monoMicros();
            if (due > now + kSpinMicros) {
                const timespec wait = spanUntil(due - kSpinMicros, now, 10000000u);
                ::nanosleep(&wait, nullptr);
            }
            spinUntil(due);
            control.recordLate(monoMicros(), due);
            SSL_write(tls, answer.data(), int(answer.size()));
            SSL_shutdown(tls);
        }
        SSL_free(tls);
        ::close(fd);
    }
    SSL_CTX_free(context);
    return 0;
}

int farmBody(unsigned count, int controlFd, int resultFd)
{
    Control control(controlFd, resultFd);
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    if (limit.rlim_cur < count + 64) {
        limit.rlim_cur = std::max<rlim_t>(limit.rlim_max, count + 64);
        limit.rlim_max = std::max<rlim_t>(limit.rlim_max, limit.rlim_cur);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::vector<int> listeners;
    std::string line = "ports";
    for (unsigned i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::listen(fd, 4096) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
            control.say(std::string("error listener ") + std::to_string(i) + ": " + std::strerror(errno));
            return 1;
        }
        listeners.push_back(fd);
        line += " " + std::to_string(ntohs(address.sin_port));
    }
    control.say(line);
    for (;;) {
        pollfd p{control.fd(), POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            continue;
        const bool goOn = control.handle([&](const std::string &command) {
            if (command != "A")
                return true;
            unsigned drained = 0;
            for (const int fd : listeners) {
                for (;;) {
                    const int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
                    if (c < 0)
                        break;
                    ::close(c);
                    ++drained;
                }
            }
            control.say("drained " + std::to_string(drained));
            return true;
        });
        if (!goOn)
            return 0;
    }
}

char emergencyIp[512];
char emergencyNetns[128];

} // namespace

Responder::~Responder()
{
    stop();
}

bool Responder::start(const std::function<int(int control, int result)> &body)
{
    int down[2], up[2];
    if (::pipe(down) != 0)
        return false;
    if (::pipe(up) != 0) {
        ::close(down[0]);
        ::close(down[1]);
        return false;
    }
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        for (int fd : {down[0], down[1], up[0], up[1]})
            ::close(fd);
        return false;
    }
    if (pid == 0) {
        becomeBoundChild();
        // Builds and other work share this machine: a responder that waits
        // for the CPU would pass its own lateness off as the contenders'.
        ::setpriority(PRIO_PROCESS, 0, -20);
        ::close(down[1]);
        ::close(up[0]);
        _exit(body(down[0], up[1]));
    }
    registerChild(pid);
    ::close(down[0]);
    ::close(up[1]);
    ::fcntl(down[1], F_SETFD, FD_CLOEXEC);
    ::fcntl(up[0], F_SETFD, FD_CLOEXEC);
    pid_ = pid;
    control_ = down[1];
    result_ = up[0];
    return true;
}

bool Responder::tell(const std::string &command)
{
    return control_ >= 0 && writeAll(control_, command + "\n");
}

std::string Responder::readLine(unsigned timeoutMs)
{
    const std::uint64_t deadline = monoMicros() + std::uint64_t(timeoutMs) * 1000u;
    for (;;) {
        const std::size_t end = buffered_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return line;
        }
        const std::uint64_t now = monoMicros();
        if (result_ < 0 || now >= deadline)
            return {};
        pollfd p{result_, POLLIN, 0};
        if (::poll(&p, 1, int((deadline - now + 999u) / 1000u)) <= 0)
            continue;
        char chunk[8192];
        const ssize_t n = ::read(result_, chunk, sizeof chunk);
        if (n <= 0)
            return {};
        buffered_.append(chunk, std::size_t(n));
    }
}

std::string Responder::ask(const std::string &command, unsigned timeoutMs)
{
    if (!tell(command))
        return {};
    return readLine(timeoutMs);
}

void Responder::stop()
{
    if (pid_ <= 0)
        return;
    tell("Q");
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
            ended = true;
        else
            ::usleep(10000);
    }
    if (!ended) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    forgetChild(pid_);
    pid_ = -1;
    for (int *fd : {&control_, &result_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

bool startHttpResponder(Responder &responder, std::uint16_t &port)
{
    if (!responder.start([](int control, int result) { return httpBody(control, result); }))
        return false;
    const std::string line = responder.readLine(3000);
    unsigned value = 0;
    if (std::sscanf(line.c_str(), "port %u", &value) != 1 || value == 0 || value > 65535) {
        std::printf("compare_bench: HTTP responder: %s\n", line.empty() ? "no answer" : line.c_str());
        responder.stop();
        return false;
    }
    port = std::uint16_t(value);
    return true;
}

bool startHttpsResponder(Responder &responder, const std::string &certFile, const std::string &keyFile,
                         std::uint16_t &port)
{
    if (!responder.start([certFile, keyFile](int control, int result) {
            return httpsBody(certFile, keyFile, control, result);
        }))
        return false;
    const std::string line = responder.readLine(3000);
    unsigned value = 0;
    if (std::sscanf(line.c_str(), "port %u", &value) != 1 || value == 0 || value > 65535) {
        std::printf("compare_bench: HTTPS responder: %s\n", line.empty() ? "no answer" : line.c_str());
        responder.stop();
        return false;
    }
    port = std::uint16_t(value);
    return true;
}

bool startIcmpResponder(Responder &responder, const std::string &netns)
{
    if (!responder.start([netns](int control, int result) { return icmpBody(netns, control, result); }))
        return false;
    const std::string line = responder.readLine(3000);
    if (line != "ready") {
        std::printf("compare_bench: ICMP responder: %s\n", line.empty() ? "no answer" : line.c_str());
        responder.stop();
        return false;
    }
    return true;
}

bool startPortFarm(Responder &responder, unsigned count, std::vector<std::uint16_t> &ports)
{
    if (!responder.start([count](int control, int result) { return farmBody(count, control, result); }))
        return false;
    const std::string line = responder.readLine(10000);
    if (line.rfind("ports", 0) != 0) {
        std::printf("compare_bench: port farm: %s\n", line.empty() ? "no answer" : line.c_str());
        responder.stop();
        return false;
    }
    ports.clear();
    const char *p = line.c_str() + 5;
    char *end = nullptr;
    for (unsigned long v = std::strtoul(p, &end, 10); end != p; v = std::strtoul(p, &end, 10)) {
        ports.push_back(std::uint16_t(v));
        p = end;
    }
    return ports.size() == count;
}

BenchNamespace::~BenchNamespace()
{
    destroy();
}

bool BenchNamespace::create(const std::string &name, std::string &why)
{
    ip_ = findProgram("ip");
    if (ip_.empty()) {
        why = "the ip command (iproute2) is missing";
        return false;
    }
    if (geteuid() != 0) {
        why = "network namespaces need root";
        return false;
    }
    // A subnet of 198.18.0.0/15 that no interface here uses yet.
    int third = -1;
    for (int attempt = 0; attempt < 50 && third < 0; ++attempt) {
        const int candidate = 100 + int((unsigned(getpid()) + unsigned(attempt) * 7u) % 150u);
        const RunResult shown =
            runProgram({ip_, "-4", "-o", "addr", "show", "to", "198.18." + std::to_string(candidate) + ".0/24"}, 5000);
        if (shown.exitCode == 0 && shown.output.find("inet") == std::string::npos)
            third = candidate;
    }
    if (third < 0) {
        why = "no free subnet in 198.18.100.0-198.18.249.255";
        return false;
    }
    const std::string net = "198.18." + std::to_string(third) + ".";
    const std::string suffix = std::to_string(getpid() % 100000);
    name_ = name;
    rootLink_ = "vgbr" + suffix;
    const std::string innerLink = "vgbn" + suffix;
    inside_ = net + "2";
    dead_ = net + "3";
    std::snprintf(emergencyIp, sizeof emergencyIp, "%s", ip_.c_str());
    std::snprintf(emergencyNetns, sizeof emergencyNetns, "%s", name_.c_str());
    created_ = true;
    const std::vector<std::vector<std::string>> steps = {
        {ip_, "netns", "add", name_},
        {ip_, "link", "add", rootLink_, "type", "veth", "peer", "name", innerLink},
        {ip_, "link", "set", innerLink, "netns", name_},
        {ip_, "addr", "add", net + "1/24", "dev", rootLink_},
        {ip_, "link", "set", rootLink_, "up"},
        {ip_, "-n", name_, "addr", "add", inside_ + "/24", "dev", innerLink},
        {ip_, "-n", name_, "link", "set", innerLink, "up"},
        {ip_, "-n", name_, "link", "set", "lo", "up"},
        {ip_, "netns", "exec", name_, "sysctl", "-q", "-w", "net.ipv4.icmp_echo_ignore_all=1"},
    };
    for (const auto &step : steps) {
        const RunResult r = runProgram(step, 10000);
        if (r.exitCode != 0) {
            why = "'";
            for (const auto &word : step)
                why += (word == step.front() ? "" : " ") + word;
            why += "' failed: " + r.output;
            while (!why.empty() && why.back() == '\n')
                why.pop_back();
            destroy();
            return false;
        }
    }
    return true;
}

void BenchNamespace::destroy()
{
    if (!created_)
        return;
    created_ = false;
    // Removing the namespace takes the inner veth, and with it the pair.
    runQuiet({ip_, "netns", "del", name_});
    runQuiet({ip_, "link", "del", rootLink_});
    emergencyNetns[0] = 0;
}

void emergencyCleanup()
{
    killChildren();
    if (!emergencyNetns[0] || !emergencyIp[0])
        return;
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        char netns[] = "netns";
        char del[] = "del";
        char *args[] = {emergencyIp, netns, del, emergencyNetns, nullptr};
        ::execv(emergencyIp, args);
        _exit(127);
    }
    if (pid > 0)
        ::waitpid(pid, nullptr, 0);
    emergencyNetns[0] = 0;
}

} // namespace vigilon::bench
