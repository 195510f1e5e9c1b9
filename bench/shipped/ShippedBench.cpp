// SPDX-License-Identifier: MIT
// The shipped program (qt/vigilon -service --verbose, on Qt's event loop)
// watching 10 to 5,000 TCP entries on local ports (or with --mix TCP, HTTP
// and PING entries in turn), round after round, and
// beside each figure the bare connect-and-poll floor taken in the same run:
// round time, the longest wait for an answer from the program, CPU and
// memory per entry, descriptors, start-up and the orderly end. Prints
// figures, asserts nothing.
//
// With --wine Vigilon.exe, the Windows program (-service --verbose, on its
// loop of window messages) under Wine, asked through its frame window, its
// CPU and descriptors with those of Wine's server beside them; the floor
// stays the machine's own.
//
// It runs in a network namespace of its own (unshare, no root needed) where
// the system allows one, else on the host's loopback; traffic goes to
// 127.0.0.1 only.
#include "base/MonitorPort.h"
#include "probes/PingProbe.h"
#include "store/InstanceLock.h"
#include "store/MemoryRegistry.h"
#include "store/Settings.h"
#include "store/posix/SqliteRegistry.h"
#include "bench/shipped/WineRun.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <functional>
#include <mutex>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <linux/icmp.h>
#include <poll.h>
#include <sched.h>
#include <sstream>
#include <string>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

using namespace vigilon;

namespace {

std::uint64_t monoMicros()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::uint64_t(ts.tv_sec) * 1000000u + std::uint64_t(ts.tv_nsec) / 1000u;
}

std::uint64_t threadCpuMicros()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::uint64_t(ts.tv_sec) * 1000000u + std::uint64_t(ts.tv_nsec) / 1000u;
}

void writeFile(const char *path, const std::string &text)
{
    std::ofstream(path) << text;
}

// A user and network namespace of our own with its loopback up.
bool enterPrivateNetwork()
{
    const uid_t uid = getuid();
    const gid_t gid = getgid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
        return false;
    writeFile("/proc/self/setgroups", "deny");
    writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
    writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
    // Rounds of thousands of connections, each leaving a closed one behind
    // for a minute: every local port, and closed ones taken again.
    writeFile("/proc/sys/net/ipv4/ip_local_port_range", "1024 65535");
    writeFile("/proc/sys/net/ipv4/tcp_tw_reuse", "1");
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = ioctl(s, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags |= IFF_UP, ioctl(s, SIOCSIFFLAGS, &request) == 0);
    close(s);
    return up;
}

// When the first connection after mark() began: the kernel's stamp of the
// first SYN seen on the loopback (a packet socket, which the namespace of
// our own allows), so that neither side's scheduling shifts it. A packet
// socket makes every packet on the loopback cost more, whether its filter
// takes it or not; so the socket lets go of the loopback once it has seen
// that SYN, and mark() hooks it on again: the round it times runs as bare
// as the bare floor, but for its first packets.
class SynWatch {
public:
    SynWatch() { open(); }
    ~SynWatch() { close(); }
    // Opens the capture, or closes it so that nothing but the connections
    // themselves is on the loopback's path (a packet socket makes every
    // packet on it cost more).
    void open()
    {
        if (fd_ >= 0)
            return;
        fd_ = socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_IP));
        if (fd_ < 0)
            return;
        // IPv4, TCP, SYN without ACK.
        static sock_filter code[] = {{0x30, 0, 0, 9},  {0x15, 0, 5, 6},     {0xb1, 0, 0, 0}, {0x50, 0, 0, 13},
                                     {0x54, 0, 0, 0x12}, {0x15, 0, 1, 0x02}, {0x06, 0, 0, 64}, {0x06, 0, 0, 0}};
        sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
        const int on = 1;
        if (setsockopt(fd_, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0 ||
            setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) != 0 || !hook(true)) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        stop_ = false;
        thread_ = std::thread([this] { run(); });
    }
    void close()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    bool working() const { return fd_ >= 0; }
    void mark()
    {
        first_ = 0;
        if (fd_ >= 0)
            hook(true);
    }
    std::uint64_t firstSinceMark() const { return first_; }

private:
    // Binds the socket to the loopback's IPv4 packets, or to its ARP
    // packets, which it never carries: that takes it off the path of the
    // IPv4 ones (a protocol of 0 would keep the one bound before).
    bool hook(bool on) const
    {
        sockaddr_ll address{};
        address.sll_family = AF_PACKET;
        address.sll_protocol = htons(on ? ETH_P_IP : ETH_P_ARP);
        address.sll_ifindex = static_cast<int>(if_nametoindex("lo"));
        return bind(fd_, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    }
    void run()
    {
        char data[64];
        char control[256];
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            iovec io{data, sizeof data};
            msghdr message{};
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            if (recvmsg(fd_, &message, MSG_DONTWAIT) < 0)
                continue;
            for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS)
                    continue;
                timespec stamp{};
                std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
                timespec real{};
                clock_gettime(CLOCK_REALTIME, &real);
                // The stamp is on the real-time clock: moved to the monotonic one.
                const std::int64_t ago = (std::int64_t(real.tv_sec) - stamp.tv_sec) * 1000000 +
                                         (real.tv_nsec - stamp.tv_nsec) / 1000;
                std::uint64_t none = 0;
                if (first_.compare_exchange_strong(none,
                                                   monoMicros() - std::uint64_t(std::max<std::int64_t>(ago, 0))))
                    hook(false);
            }
        }
    }
    int fd_ = -1;
    std::atomic<std::uint64_t> first_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Listening ports that take every connection at once and close it, noting
// when the first one after mark() came; and as many that answer an HTTP
// request with an empty 200 and then close.
class Farm {
public:
    explicit Farm(unsigned count)
    {
        epoll_ = epoll_create1(EPOLL_CLOEXEC);
        for (unsigned i = 0; i < 2 * count; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t length = sizeof address;
            if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(fd, 4096) != 0 ||
                getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
                close(fd);
                continue;
            }
            const bool http = i >= count;
            (http ? httpPorts_ : ports_).push_back(ntohs(address.sin_port));
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.u64 = tag(fd, http ? HttpListener : Listener);
            epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
        }
        thread_ = std::thread([this] { run(); });
    }
    ~Farm()
    {
        stop_ = true;
        thread_.join();
        close(epoll_);
    }
    const std::vector<std::uint16_t> &ports() const { return ports_; }
    const std::vector<std::uint16_t> &httpPorts() const { return httpPorts_; }
    void mark()
    {
        first_ = 0;
        syns_.mark();
    }
    // When the first connection since mark() began: its SYN where it can be
    // seen, else its accept.
    std::uint64_t startSinceMark() const { return syns_.working() && syns_.firstSinceMark() ? syns_.firstSinceMark() : first_.load(); }
    bool capturing() const { return syns_.working(); }
    void openCapture() { syns_.open(); }
    void closeCapture() { syns_.close(); }
    // Waits until no connection has come for 20 ms (at most 5 s).
    void waitQuiet() const
    {
        for (int i = 0; i < 1000 && monoMicros() - last_ < 20000; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::uint64_t firstSinceMark() const { return first_; }
    std::uint64_t accepted() const { return accepted_; }
    // Waits until count connections have been taken in all.
    void waitAccepted(std::uint64_t count) const
    {
        for (int i = 0; i < 5000 && accepted_ < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

private:
    enum Kind : std::uint64_t { Listener, HttpListener, HttpConnection };
    static std::uint64_t tag(int fd, Kind kind) { return std::uint64_t(std::uint32_t(fd)) | kind << 32; }

    void run()
    {
        epoll_event events[64];
        static constexpr char kReply[] = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        while (!stop_) {
            const int n = epoll_wait(epoll_, events, 64, 50);
            for (int i = 0; i < n; ++i) {
                const int listener = int(std::uint32_t(events[i].data.u64));
                const auto kind = Kind(events[i].data.u64 >> 32);
                if (kind == HttpConnection) {
                    // A request fits one read; the reply goes as soon as its
                    // head is complete.
                    std::string &request = requests_[listener];
                    char buffer[4096];
                    const ssize_t got = recv(listener, buffer, sizeof buffer, 0);
                    if (got > 0)
                        request.append(buffer, std::size_t(got));
                    if (got > 0 && request.find("\r\n\r\n") == std::string::npos)
                        continue;
                    if (got < 0 && errno == EAGAIN)
                        continue;
                    if (got > 0)
                        send(listener, kReply, sizeof kReply - 1, MSG_NOSIGNAL);
                    requests_.erase(listener);
                    close(listener);
                    continue;
                }
                int fd;
                while ((fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0) {
                    std::uint64_t none = 0;
                    first_.compare_exchange_strong(none, monoMicros());
                    ++accepted_;
                    last_ = monoMicros();
                    if (kind == Listener) {
                        close(fd);
                        continue;
                    }
                    epoll_event event{};
                    event.events = EPOLLIN;
                    event.data.u64 = tag(fd, HttpConnection);
                    epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
                }
            }
        }
    }
    int epoll_ = -1;
    std::unordered_map<int, std::string> requests_;
    SynWatch syns_;
    std::vector<std::uint16_t> ports_, httpPorts_;
    std::atomic<std::uint64_t> first_{0};
    std::atomic<std::uint64_t> accepted_{0};
    std::atomic<std::uint64_t> last_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// What the i-th entry checks: TCP only, or with --mix TCP, HTTP and PING in
// turn (a TCP entry first, so that a round's first packet is a SYN).
enum class EntryKind { Tcp, Http, Ping };
EntryKind entryKind(std::size_t i, bool mixed)
{
    return !mixed ? EntryKind::Tcp : i % 3 == 0 ? EntryKind::Tcp : i % 3 == 1 ? EntryKind::Http : EntryKind::Ping;
}

// An ICMP echo request with its checksum.
icmphdr echoRequest(std::uint16_t id, std::uint16_t sequence)
{
    icmphdr header{};
    header.type = ICMP_ECHO;
    header.un.echo.id = htons(id);
    header.un.echo.sequence = htons(sequence);
    header.checksum = CPingProbe::checksum(reinterpret_cast<const std::uint8_t *>(&header), sizeof header);
    return header;
}

// The bare floor: N sockets, a connect each, all in one epoll set, waited
// for until every connect has finished (closed after the timed span). With
// --mix, the HTTP entries' part also sends a HEAD request once connected
// and waits for the reply's first bytes, and the PING entries' part is one
// echo each, all from one raw socket. With the capture open it is timed as
// the program's rounds are, from the first SYN; bare, the capture is closed
// for it (nothing else on the loopback's path) and it is timed from right
// before its first connect, where that SYN leaves. And its CPU time.
struct FloorRound {
    double ms = 0;
    double cpuMicros = 0;
    std::size_t connected = 0;
};
FloorRound floorRound(Farm &farm, std::size_t n, bool bare, bool mixed)
{
    const std::vector<std::uint16_t> &ports = farm.ports();
    const std::vector<std::uint16_t> &httpPorts = farm.httpPorts();
    FloorRound result;
    const bool capturing = farm.capturing();
    if (bare)
        farm.closeCapture();
    farm.mark();
    std::uint64_t firstConnect = 0;
    const std::uint64_t cpu0 = threadCpuMicros();
    const std::uint64_t begin = monoMicros();
    const int set = epoll_create1(EPOLL_CLOEXEC);
    std::size_t left = 0;
    std::vector<int> opened;
    opened.reserve(n);
    // The echo replies alone come to the raw socket, into a buffer that
    // holds a round's.
    int echo = -1;
    const std::uint16_t echoId = std::uint16_t(getpid());
    std::vector<bool> answered;
    if (mixed) {
        echo = socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        const std::uint32_t onlyReplies = ~(1u << ICMP_ECHOREPLY);
        const int buffer = 8 << 20;
        setsockopt(echo, SOL_RAW, ICMP_FILTER, &onlyReplies, sizeof onlyReplies);
        if (setsockopt(echo, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer) != 0)
            setsockopt(echo, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = std::uint32_t(echo);
        epoll_ctl(set, EPOLL_CTL_ADD, echo, &event);
        answered.resize(n);
    }
    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    // An HTTP connection's events carry this bit beside its descriptor.
    constexpr std::uint64_t kHttp = std::uint64_t(1) << 32;
    for (std::size_t i = 0; i < n; ++i) {
        const EntryKind kind = entryKind(i, mixed);
        if (i == 0)
            firstConnect = monoMicros();
        if (kind == EntryKind::Ping) {
            const icmphdr request = echoRequest(echoId, std::uint16_t(i));
            left += sendto(echo, &request, sizeof request, 0, reinterpret_cast<sockaddr *>(&loopback),
                           sizeof loopback) == ssize_t(sizeof request);
            continue;
        }
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in to = loopback;
        to.sin_port = htons(kind == EntryKind::Http ? httpPorts[i % httpPorts.size()] : ports[i % ports.size()]);
        connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to);
        opened.push_back(fd);
        epoll_event event{};
        event.events = EPOLLOUT | EPOLLONESHOT;
        event.data.u64 = std::uint32_t(fd) | (kind == EntryKind::Http ? kHttp : 0);
        left += epoll_ctl(set, EPOLL_CTL_ADD, fd, &event) == 0;
    }
    static constexpr char kRequest[] = "HEAD / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    std::uint64_t last = begin;
    std::vector<epoll_event> events(std::max<std::size_t>(n, 1));
    int got;
    while (left > 0 && (got = epoll_wait(set, events.data(), static_cast<int>(events.size()), 3000)) > 0) {
        for (int i = 0; i < got; ++i) {
            const int fd = int(std::uint32_t(events[i].data.u64));
            if (fd == echo) {
                char packet[128];
                for (ssize_t size; (size = recv(echo, packet, sizeof packet, 0)) > 0;) {
                    const std::size_t header = std::size_t(packet[0] & 0x0f) * 4;
                    icmphdr reply{};
                    if (std::size_t(size) < header + sizeof reply)
                        continue;
                    std::memcpy(&reply, packet + header, sizeof reply);
                    const std::size_t sequence = ntohs(reply.un.echo.sequence);
                    if (reply.type == ICMP_ECHOREPLY && ntohs(reply.un.echo.id) == echoId && sequence < n &&
                        !answered[sequence]) {
                        answered[sequence] = true;
                        --left;
                    }
                }
                continue;
            }
            if (events[i].events & EPOLLIN) {
                char reply[256];
                recv(fd, reply, sizeof reply, 0);
                --left;
                continue;
            }
            int error = 0;
            socklen_t length = sizeof error;
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            result.connected += error == 0;
            if (error == 0 && (events[i].data.u64 & kHttp)) {
                send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL);
                epoll_event event{};
                event.events = EPOLLIN | EPOLLONESHOT;
                event.data.u64 = events[i].data.u64;
                epoll_ctl(set, EPOLL_CTL_MOD, fd, &event);
                continue;
            }
            --left;
        }
        last = monoMicros();
    }
    close(set);
    std::uint64_t first = bare ? firstConnect : farm.startSinceMark();
    if (first == 0)
        first = begin;
    result.ms = last > first ? double(last - first) / 1000.0 : 0;
    result.cpuMicros = double(threadCpuMicros() - cpu0);
    for (const int fd : opened)
        close(fd);
    if (echo >= 0)
        close(echo);
    if (bare && capturing)
        farm.openCapture();
    return result;
}

// One round of the program as its lines tell it: every entry's n-th line
// belongs to round n, whatever the order the lines come in.
struct RoundLines {
    std::size_t count = 0;
    std::size_t failed = 0;
    std::uint64_t first = 0;
    std::uint64_t last = 0;
};

// The program, its standard error read as it comes: when each entry's line
// of each round arrived.
class Program {
public:
    // metrics: the address to serve metrics at, empty for none. exec, when
    // given, runs in the child instead and makes the program.
    Program(const std::string &path, const std::string &dir, std::size_t entries, const std::string &metrics = {},
            const std::function<void()> &exec = {})
        : perEntry_(entries, 0)
    {
        const std::string metricsArg = "--metrics=" + metrics;
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0)
            return;
        started_ = monoMicros();
        pid_ = fork();
        if (pid_ == 0) {
            dup2(pipeFds[1], 2);
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            if (exec) {
                exec();
                _exit(127);
            }
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("VIGILON_REGISTRY", (dir + "/registry.sqlite").c_str(), 1);
            setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
            setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
            setenv("HOME", dir.c_str(), 1);
            if (metrics.empty())
                execl(path.c_str(), path.c_str(), "-service", "--verbose", static_cast<char *>(nullptr));
            else
                execl(path.c_str(), path.c_str(), "-service", "--verbose", metricsArg.c_str(),
                      static_cast<char *>(nullptr));
            _exit(127);
        }
        close(pipeFds[1]);
        reader_ = std::thread([this, fd = pipeFds[0]] { read(fd); });
    }
    ~Program()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (reader_.joinable())
            reader_.join();
    }
    pid_t pid() const { return pid_; }
    std::uint64_t started() const { return started_; }
    std::size_t failures() const { return failures_; }
    // Round index once every entry has had its line in it (waits up to
    // timeoutMs); count short of the entries if it never did.
    RoundLines round(std::size_t index, unsigned timeoutMs)
    {
        const std::uint64_t end = monoMicros() + std::uint64_t(timeoutMs) * 1000u;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (index < rounds_.size() && rounds_[index].count == perEntry_.size())
                    return rounds_[index];
                if (ended_ || monoMicros() > end)
                    return index < rounds_.size() ? rounds_[index] : RoundLines{};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    // Lines naming no entry of the list, or one beyond its last round.
    std::size_t strayLines()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return stray_;
    }
    // SIGTERM (or what ask does instead) to exit, in ms.
    double end(const std::function<void()> &ask = {})
    {
        const std::uint64_t begin = monoMicros();
        if (ask)
            ask();
        else
            kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return double(monoMicros() - begin) / 1000.0;
    }
    const std::string &otherText() const { return other_; }

private:
    // A check's line: stamp, name, outcome, time[, reason]; the bench names
    // every entry "... #index".
    void take(std::string_view line, std::uint64_t now)
    {
        const std::size_t nameAt = line.find('\t');
        const std::size_t outcomeAt = line.find('\t', nameAt + 1);
        const std::string_view name = line.substr(nameAt + 1, outcomeAt - nameAt - 1);
        const std::size_t hash = name.rfind('#');
        const std::size_t index =
            hash == std::string_view::npos ? SIZE_MAX : std::strtoul(std::string(name.substr(hash + 1)).c_str(), nullptr, 10);
        if (index >= perEntry_.size()) {
            ++stray_;
            return;
        }
        const std::size_t r = perEntry_[index]++;
        if (rounds_.size() <= r)
            rounds_.resize(r + 1);
        RoundLines &round = rounds_[r];
        const bool failed = line.find("\tOk\t") == std::string_view::npos;
        round.first = round.count++ == 0 ? now : round.first;
        round.last = now;
        round.failed += failed;
        if (failed && failures_++ < 3)
            other_.append(line).append("\n");
    }
    void read(int fd)
    {
        std::string pending;
        char buffer[65536];
        ssize_t got;
        while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
            const std::uint64_t now = monoMicros();
            pending.append(buffer, std::size_t(got));
            std::size_t start = 0, newline;
            std::lock_guard<std::mutex> lock(mutex_);
            while ((newline = pending.find('\n', start)) != std::string::npos) {
                const std::string_view line(pending.data() + start, newline - start);
                start = newline + 1;
                if (std::count(line.begin(), line.end(), '\t') >= 3)
                    take(line, now);
                else if (other_.size() < 4000)
                    other_.append(line).append("\n");
            }
            pending.erase(0, start);
        }
        close(fd);
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
    }
    pid_t pid_ = -1;
    std::uint64_t started_ = 0;
    std::thread reader_;
    std::mutex mutex_;
    // How many lines each entry has had, and what each round had.
    std::vector<std::size_t> perEntry_;
    std::vector<RoundLines> rounds_;
    std::size_t stray_ = 0;
    std::atomic<std::size_t> failures_{0};
    std::string other_;
    bool ended_ = false;
};

// One request on the program's local socket, answered when the program
// closes it: how long its loop took to serve it, in microseconds; 0 when
// it could not be made.
std::uint64_t askProgram(const std::string &socketPath, int timeoutMs)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    const std::uint64_t begin = monoMicros();
    std::uint64_t took = 0;
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 && write(fd, "ping\n", 5) == 5) {
        pollfd p{fd, POLLIN, 0};
        char c;
        if (poll(&p, 1, timeoutMs) > 0 && read(fd, &c, 1) <= 0)
            took = std::max<std::uint64_t>(1, monoMicros() - begin);
    }
    close(fd);
    return took;
}

// The floor of the wait: a process of its own that answers requests on a
// local socket as the program does (accept, read, close) and does nothing
// else, so that what it waits for is the machine's: the scheduler, the
// kernel's work for the rounds' connections, the bench's own threads.
class BareResponder {
public:
    explicit BareResponder(const std::string &path) : path_(path)
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        unlink(path.c_str());
        if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(fd, 16) != 0) {
            close(fd);
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            for (;;) {
                const int client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (client < 0)
                    continue;
                char buffer[16];
                pollfd p{client, POLLIN, 0};
                // Answered by closing, whether the request came or not.
                const bool asked = poll(&p, 1, 1000) > 0 && ::read(client, buffer, sizeof buffer) > 0;
                static_cast<void>(asked);
                close(client);
            }
        }
        close(fd);
    }
    ~BareResponder()
    {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        unlink(path_.c_str());
    }
    bool working() const { return pid_ > 0; }

private:
    std::string path_;
    pid_t pid_ = -1;
};

// CPU time of all the process's threads, in microseconds.
// The CPU of a process's threads, or of those of one name only.
double processCpuMicros(pid_t pid, const char *thread = nullptr)
{
    double total = 0;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    if (DIR *dir = opendir(tasks.c_str())) {
        while (dirent *entry = readdir(dir)) {
            if (entry->d_name[0] == '.')
                continue;
            std::string name;
            if (thread && (!std::getline(std::ifstream(tasks + "/" + entry->d_name + "/comm"), name) || name != thread))
                continue;
            std::ifstream in(tasks + "/" + entry->d_name + "/schedstat");
            double ns = 0;
            if (in >> ns)
                total += ns / 1000.0;
        }
        closedir(dir);
    }
    return total;
}

std::size_t openDescriptors(pid_t pid)
{
    // Since Linux 6.2 the folder's size is the count of open descriptors,
    // taken from the process's table without listing it. Listing 5,000 of
    // them every few milliseconds took a good share of a core, and only
    // while the program's rounds ran: its floor had no such neighbour.
    const std::string path = "/proc/" + std::to_string(pid) + "/fd";
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && info.st_size > 0)
        return static_cast<std::size_t>(info.st_size);
    std::size_t count = 0;
    if (DIR *dir = opendir(path.c_str())) {
        while (dirent *entry = readdir(dir))
            count += entry->d_name[0] != '.';
        closedir(dir);
    }
    return count;
}

double residentKiB(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr);
    return 0;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

struct Figures {
    std::size_t n = 0;
    double roundMs = 0, floorMs = 0;
    // The floor taken beside the open capture, as it was measured before.
    double capturedFloorMs = 0;
    // The load average over the last minute as the size began.
    double loadAverage = 0;
    double longestWaitMs = 0, p99WaitMs = 0;
    // The same for the bare responder, asked in turn with the program.
    double floorLongestWaitMs = 0, floorP99WaitMs = 0;
    double cpuPerEntryMicros = 0, floorCpuPerEntryMicros = 0;
    double rssKiB = 0;
    std::size_t peakFds = 0, idleFds = 0;
    double startMs = 0, endMs = 0;
    std::size_t failures = 0;
    // Connections the farm took per round (each round should make N).
    std::size_t connectionsMin = 0, connectionsMax = 0;
    // Rounds whose start could not be told apart from the floor's, and
    // lines of no entry.
    std::size_t untimedRounds = 0, strayLines = 0;
    bool complete = false;
    // Under Wine: its server's CPU per entry and round, and its peak of
    // descriptors (sockets live in both).
    double serverCpuPerEntryMicros = 0;
    std::size_t serverPeakFds = 0;
    // The metrics scraped meanwhile: how many, how long each took, how big.
    std::size_t scrapes = 0;
    double scrapeMedianMs = 0, scrapeMaxMs = 0, scrapeKiB = 0;
    // The CPU of the metrics' own thread, within cpuPerEntryMicros.
    double metricsCpuPerEntryMicros = 0;
    // With scrapes in every other interval: the program's CPU per entry and
    // round in the intervals with scrapes and in those without (medians),
    // and how many of each; the metrics thread's in those with.
    double scrapedCpuPerEntryMicros = 0, unscrapedCpuPerEntryMicros = 0, scrapedMetricsCpuPerEntryMicros = 0;
    std::size_t scrapedIntervals = 0, unscrapedIntervals = 0;
};

struct Options {
    std::string program = "build/default/qt/vigilon";
    // Vigilon.exe to run under Wine instead, and the helper that asks it.
    std::string wine, wineAsker;
    std::vector<std::size_t> sizes{10, 100, 1000, 5000};
    unsigned ports = 50;
    unsigned intervalSeconds = 3;
    unsigned rounds = 3;
    // Whether the program keeps its history, and how often its metrics are
    // scraped (0: not served).
    bool history = true;
    unsigned scrapeSeconds = 0;
    // The scrapes ask for gzip, as Prometheus does; the store leaves the
    // response-time histogram out of the metrics.
    bool gzip = false;
    bool histogram = true;
    // TCP, HTTP and PING entries in turn instead of TCP entries only.
    bool mixed = false;
    // Scrapes only in every other interval of the quiet rounds, so that one
    // run, one process and one namespace give the CPU with and without.
    bool alternate = false;
};

// A free port of the IPv6 loopback for the program's metrics. Scrapes go
// over IPv6 so that the watch of the rounds' first SYN, which sees IPv4,
// never takes a scrape's for a round's.
unsigned short freeLoopbackPort()
{
    const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    socklen_t size = sizeof address;
    unsigned short port = 0;
    if (bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0)
        port = ntohs(address.sin6_port);
    close(fd);
    return port;
}

// One scrape of /metrics, as Prometheus makes it (gzip asked for, or not):
// the bytes read, 0 when it failed.
std::size_t scrapeMetrics(unsigned short port, bool gzip)
{
    const int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    address.sin6_port = htons(port);
    std::size_t total = 0;
    const std::string request = std::string("GET /metrics HTTP/1.1\r\nHost: [::1]\r\nConnection: close\r\n") +
                                (gzip ? "Accept-Encoding: gzip\r\n" : "") + "\r\n";
    if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
        char buffer[65536];
        for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;)
            total += std::size_t(got);
    }
    close(fd);
    return total;
}

int removeOne(const char *path, const struct stat *, int, FTW *)
{
    return ::remove(path);
}

// Removes the folder of a run when the run is over.
struct TempDir {
    std::string path;
    ~TempDir()
    {
        if (!path.empty())
            nftw(path.c_str(), removeOne, 16, FTW_DEPTH | FTW_PHYS);
    }
};

Figures measure(const Options &options, std::size_t n, Farm &farm, shipped::WineSession *wine)
{
    Figures f;
    f.n = n;
    double load[1] = {0};
    if (getloadavg(load, 1) == 1)
        f.loadAverage = load[0];
    char dirTemplate[] = "/tmp/vigilon-shipped-XXXXXX";
    const std::string dir = mkdtemp(dirTemplate);
    const TempDir cleanup{dir};
    mkdir((dir + "/run").c_str(), 0700);
    mkdir((dir + "/config").c_str(), 0700);
    {
        PortList ports;
        for (std::size_t i = 0; i < n; ++i) {
            auto entry = std::make_unique<MonitorPort>();
            entry->active = 1;
            const EntryKind kind = entryKind(i, options.mixed);
            entry->protocol = kind == EntryKind::Http ? Http : kind == EntryKind::Ping ? Ping : GenericTcp;
            entry->port = kind == EntryKind::Http   ? farm.httpPorts()[i % farm.httpPorts().size()]
                          : kind == EntryKind::Ping ? 0
                                                    : farm.ports()[i % farm.ports().size()];
            entry->name = (kind == EntryKind::Http ? "HTTP " : kind == EntryKind::Ping ? "PING " : "TCP ") +
                          std::to_string(entry->port) + " #" + std::to_string(i);
            ports.push_back(std::move(entry));
        }
        // The list the program saves ends with its placeholder, which is
        // not stored.
        appendPlaceholder(ports);
        // Under Wine the same values go to the prefix's registry.
        std::unique_ptr<reg::Registry> registry;
        if (wine)
            registry = std::make_unique<reg::MemoryRegistry>();
        else
            registry = reg::SqliteRegistry::open(dir + "/registry.sqlite");
        std::string failed = dir;
        if (!registry || saveSettings(*registry, "127.0.0.1", options.intervalSeconds, 1, ports) != reg::Status::Ok ||
            saveHistoryKept(*registry, options.history) != reg::Status::Ok ||
            (!options.histogram && registry->createKey(kProgramKey)->setValue(
                                       "Metrics Histogram", reg::RegDword, reg::dwordBytes(0)) != reg::Status::Ok) ||
            (wine && !wine->writeStore(*registry, failed))) {
            std::fprintf(stderr, "shipped_bench: cannot write the store in %s\n", failed.c_str());
            return f;
        }
    }
    setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);
    std::string error;
    const std::string socketPath =
        instanceRuntimeDir(error) + "/" + instanceKey(dir + "/registry.sqlite") + ".sock";
    const bool trace = std::getenv("SHIPPED_BENCH_TRACE") != nullptr;

    // Every connection made so far, the floor's and the program's.
    std::uint64_t expected = farm.accepted();
    const unsigned short metricsPort = options.scrapeSeconds != 0 ? freeLoopbackPort() : 0;
    // The Windows program is asked through its frame window.
    const auto ask = [&](int timeoutMs) {
        return wine ? wine->ask(unsigned(timeoutMs)) : askProgram(socketPath, timeoutMs);
    };
    if (wine)
        farm.mark();
    Program program(options.program, dir, n, metricsPort != 0 ? "[::1]:" + std::to_string(metricsPort) : "",
                    wine ? std::function<void()>([wine] { wine->execProgram(); }) : std::function<void()>());
    // Start-up: until the program's loop answers a request.
    for (int tries = 0; tries < 20000; ++tries) {
        if (ask(5000) != 0) {
            f.startMs = double(monoMicros() - program.started()) / 1000.0;
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    const unsigned waitMs = options.intervalSeconds * 2000 + 10000;
    if (trace)
        std::fprintf(stderr, "start-up: %.1f ms\n", f.startMs);
    // Round 0 (no earlier round to end) is left out of the times; its
    // connections are counted like every round's.
    const RoundLines zero = program.round(0, waitMs + 2000);
    if (zero.count != n) {
        std::fprintf(stderr, "shipped_bench: round 0 at %zu entries had %zu of its lines; the program said:\n%s", n,
                     zero.count, program.otherText().c_str());
        return f;
    }
    // The Windows program answers already while its start waits for the
    // shell to add the tray icon, before it has read its store: its start
    // ends where the two seconds after which monitoring begins start.
    if (wine && farm.startSinceMark() > program.started() + 2000000)
        f.startMs = double(farm.startSinceMark() - program.started() - 2000000) / 1000.0;
    // The connections of a round: all its lines are in, and then nothing
    // for a while.
    // PING entries make none.
    std::size_t connecting = 0;
    for (std::size_t i = 0; i < n; ++i)
        connecting += entryKind(i, options.mixed) != EntryKind::Ping;
    const auto connectionsSince = [&farm, connecting](std::uint64_t before) {
        farm.waitAccepted(before + connecting);
        farm.waitQuiet();
        return std::size_t(farm.accepted() - before);
    };
    f.connectionsMin = f.connectionsMax = connectionsSince(expected);
    expected = farm.accepted();

    std::vector<double> rounds, floors, capturedFloors, floorCpu;
    std::atomic<bool> sampling{true};
    std::atomic<std::size_t> peakFds{0}, serverPeakFds{0};
    f.idleFds = openDescriptors(program.pid());
    // Only in the quiet rounds: listing thousands of descriptors every few
    // milliseconds takes a good share of a core, which the rounds under
    // requests would wait for.
    std::atomic<bool> countingFds{true};
    std::thread fdSampler([&] {
        while (sampling && countingFds) {
            peakFds = std::max<std::size_t>(peakFds, openDescriptors(program.pid()));
            if (wine)
                serverPeakFds = std::max<std::size_t>(serverPeakFds, openDescriptors(wine->serverPid()));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    double cpuBegin = 0, serverCpuBegin = 0, metricsCpuBegin = 0;
    double intervalCpu = 0, intervalMetricsCpu = 0;
    std::vector<double> scrapedCpu, unscrapedCpu, scrapedMetricsCpu;
    // Quiet rounds for the times, CPU and descriptors, then rounds under
    // requests for the longest wait.
    std::vector<double> waits, floorWaits;
    std::atomic<bool> asking{false};
    const std::string barePath = dir + "/bare.sock";
    const BareResponder bare(barePath);
    std::thread asker([&] {
        while (sampling) {
            if (!asking) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            if (const std::uint64_t took = ask(10000))
                waits.push_back(double(took) / 1000.0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (!bare.working())
                continue;
            if (const std::uint64_t took = askProgram(barePath, 10000))
                floorWaits.push_back(double(took) / 1000.0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    // The metrics, scraped all along as a Prometheus server would.
    std::vector<double> scrapeMs;
    std::size_t scrapeBytes = 0;
    std::atomic<bool> scraping{!options.alternate};
    // When the last scrape done began.
    std::atomic<std::uint64_t> lastScrapeBegan{0};
    std::thread scraper([&] {
        std::uint64_t next = monoMicros();
        while (sampling && metricsPort != 0) {
            if (!scraping) {
                // Scraped at once when the scrapes are on again.
                next = monoMicros();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            // Asleep until the next scrape is due (looking every 100 ms for
            // the end), so that the waiting costs the cores nothing.
            if (const std::uint64_t now = monoMicros(); now < next) {
                std::this_thread::sleep_for(std::chrono::microseconds(std::min<std::uint64_t>(next - now, 100000)));
                continue;
            }
            next += std::uint64_t(options.scrapeSeconds) * 1000000u;
            const std::uint64_t begin = monoMicros();
            if (const std::size_t bytes = scrapeMetrics(metricsPort, options.gzip)) {
                scrapeMs.push_back(double(monoMicros() - begin) / 1000.0);
                scrapeBytes = bytes;
            }
            lastScrapeBegan = begin;
        }
    });
    // Waits, a bounded time, for a scrape that began at `after` or later to
    // be done.
    const auto scrapedSince = [&](std::uint64_t after) {
        const std::uint64_t giveUp = monoMicros() + (2 * options.scrapeSeconds + 1) * 1000000u;
        while (lastScrapeBegan < after && monoMicros() < giveUp)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    std::uint64_t roundEnded = 0;
    for (unsigned r = 0; r < 2 * options.rounds; ++r) {
        const bool quiet = r < options.rounds;
        // Between rounds: the floor, in the same run, bare and beside the
        // capture (in turns first), then wait for the next.
        for (const bool bare : {r % 2 == 0, r % 2 != 0}) {
            const FloorRound floor = floorRound(farm, n, bare, options.mixed);
            expected += floor.connected;
            farm.waitAccepted(expected);
            farm.waitQuiet();
            (bare ? floors : capturedFloors).push_back(floor.ms);
            if (bare)
                floorCpu.push_back(floor.cpuMicros / double(n));
        }
        if (options.alternate && r <= options.rounds) {
            // Each interval from here to the same point of the next one holds
            // one round and what follows it. With scrapes, it holds exactly
            // one rendering of the page, that of its own round, as every
            // round has while scrapes go on: the interval ends once a scrape
            // after its round is done, and when the scrapes come on again,
            // the page of the round before, never scraped, is rendered
            // between two intervals, in neither.
            const bool scraped = scraping;
            if (scraped && r != 0)
                scrapedSince(roundEnded);
            if (r != 0) {
                const double cpu = processCpuMicros(program.pid());
                (scraped ? scrapedCpu : unscrapedCpu).push_back((cpu - intervalCpu) / double(n));
                if (scraped)
                    scrapedMetricsCpu.push_back(
                        (processCpuMicros(program.pid(), "vigilon-metrics") - intervalMetricsCpu) / double(n));
            }
            const bool scrapingNext = r % 2 == 1 || r == options.rounds;
            if (scrapingNext && !scraped) {
                // The scraper scrapes at once when the scrapes come on.
                const std::uint64_t on = monoMicros();
                scraping = true;
                scrapedSince(on);
            }
            scraping = scrapingNext;
            intervalCpu = processCpuMicros(program.pid());
            intervalMetricsCpu = processCpuMicros(program.pid(), "vigilon-metrics");
        }
        if (r == 0) {
            cpuBegin = processCpuMicros(program.pid());
            metricsCpuBegin = processCpuMicros(program.pid(), "vigilon-metrics");
            serverCpuBegin = wine ? processCpuMicros(wine->serverPid()) : 0;
        }
        if (r == options.rounds) {
            f.cpuPerEntryMicros = (processCpuMicros(program.pid()) - cpuBegin) / double(options.rounds * n);
            f.metricsCpuPerEntryMicros = (processCpuMicros(program.pid(), "vigilon-metrics") - metricsCpuBegin) /
                                         double(options.rounds * n);
            f.peakFds = peakFds;
            if (wine) {
                f.serverCpuPerEntryMicros =
                    (processCpuMicros(wine->serverPid()) - serverCpuBegin) / double(options.rounds * n);
                f.serverPeakFds = serverPeakFds;
            }
            countingFds = false;
        }
        asking = !quiet;
        // A round already begun when the mark is set would be timed from
        // a later check than its first: such a round is not timed.
        const bool clear = farm.accepted() == expected;
        farm.mark();
        const std::uint64_t marked = monoMicros();
        const RoundLines lines = program.round(r + 1, waitMs);
        const std::uint64_t first = farm.startSinceMark();
        if (lines.count != n || first == 0) {
            std::fprintf(stderr, "shipped_bench: round %u at %zu entries had %zu of its lines\n", r + 1, n,
                         lines.count);
            break;
        }
        const std::size_t connections = connectionsSince(expected);
        expected = farm.accepted();
        f.connectionsMin = std::min(f.connectionsMin, connections);
        f.connectionsMax = std::max(f.connectionsMax, connections);
        // The round runs from its first SYN to its last line, and every
        // line of it comes after that SYN.
        roundEnded = lines.last;
        const bool sound = clear && lines.first >= first && lines.last >= lines.first;
        if (!sound)
            ++f.untimedRounds;
        if (quiet && sound)
            rounds.push_back(double(lines.last - first) / 1000.0);
        if (trace)
            std::fprintf(stderr,
                         "round %u: first SYN %+.3f ms, lines %+.3f..%+.3f ms after the mark; %zu connections%s\n",
                         r + 1, (double(first) - double(marked)) / 1000.0,
                         (double(lines.first) - double(marked)) / 1000.0,
                         (double(lines.last) - double(marked)) / 1000.0, connections, sound ? "" : " (not timed)");
        asking = false;
        if (r + 1 == 2 * options.rounds)
            f.complete = true;
    }
    sampling = false;
    fdSampler.join();
    asker.join();
    scraper.join();
    f.scrapes = scrapeMs.size();
    f.scrapeKiB = double(scrapeBytes) / 1024.0;
    if (!scrapeMs.empty()) {
        f.scrapeMedianMs = median(scrapeMs);
        f.scrapeMaxMs = *std::max_element(scrapeMs.begin(), scrapeMs.end());
    }
    f.rssKiB = residentKiB(program.pid());
    f.failures = program.failures();
    f.strayLines = program.strayLines();
    if (f.failures != 0)
        std::fprintf(stderr, "shipped_bench: %zu checks failed at %zu entries; the program said:\n%s", f.failures, n,
                     program.otherText().c_str());
    f.roundMs = median(rounds);
    f.floorMs = median(floors);
    f.capturedFloorMs = median(capturedFloors);
    f.floorCpuPerEntryMicros = median(floorCpu);
    f.scrapedIntervals = scrapedCpu.size();
    f.unscrapedIntervals = unscrapedCpu.size();
    if (!scrapedCpu.empty() && !unscrapedCpu.empty()) {
        f.scrapedCpuPerEntryMicros = median(scrapedCpu);
        f.unscrapedCpuPerEntryMicros = median(unscrapedCpu);
        f.scrapedMetricsCpuPerEntryMicros = median(scrapedMetricsCpu);
    }
    const auto longestAndP99 = [](std::vector<double> &values, double &longest, double &p99) {
        std::sort(values.begin(), values.end());
        if (values.empty())
            return;
        longest = values.back();
        p99 = values[std::min(values.size() - 1, values.size() * 99 / 100)];
    };
    longestAndP99(waits, f.longestWaitMs, f.p99WaitMs);
    longestAndP99(floorWaits, f.floorLongestWaitMs, f.floorP99WaitMs);
    f.endMs = program.end(wine ? std::function<void()>([wine] { wine->postClose(); }) : std::function<void()>());
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--program" && i + 1 < argc) {
            options.program = argv[++i];
        } else if (arg == "--sizes" && i + 1 < argc) {
            options.sizes.clear();
            std::stringstream list(argv[++i]);
            std::string item;
            while (std::getline(list, item, ','))
                options.sizes.push_back(std::strtoul(item.c_str(), nullptr, 10));
        } else if (arg == "--rounds" && i + 1 < argc) {
            options.rounds = std::max(1ul, std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--interval" && i + 1 < argc) {
            options.intervalSeconds = std::max(1ul, std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--no-history") {
            options.history = false;
        } else if (arg == "--scrape" && i + 1 < argc) {
            options.scrapeSeconds = unsigned(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--gzip") {
            options.gzip = true;
        } else if (arg == "--mix") {
            options.mixed = true;
        } else if (arg == "--alternate") {
            options.alternate = true;
        } else if (arg == "--no-histogram") {
            options.histogram = false;
        } else if (arg == "--wine" && i + 1 < argc) {
            options.wine = argv[++i];
        } else if (arg == "--wine-ask" && i + 1 < argc) {
            options.wineAsker = argv[++i];
        } else {
            std::fprintf(stderr, "usage: shipped_bench [--program PATH | --wine Vigilon.exe [--wine-ask shipped_ask.exe]] "
                                 "[--sizes 10,100,1000,5000] [--rounds 3] [--interval 3] [--mix] [--no-history] "
                                 "[--scrape SECONDS [--gzip] [--no-histogram] [--alternate]]\n");
            return 2;
        }
    }
    if (options.alternate && (options.scrapeSeconds == 0 || options.rounds < 2)) {
        std::fprintf(stderr, "shipped_bench: --alternate needs --scrape and two rounds or more\n");
        return 2;
    }
    if (!options.wine.empty() && options.scrapeSeconds != 0) {
        std::fprintf(stderr, "shipped_bench: --scrape is not made under Wine\n");
        return 2;
    }
    // The mingw build puts the helper in bench/shipped beside win/.
    if (!options.wine.empty() && options.wineAsker.empty()) {
        const std::size_t slash = options.wine.rfind('/');
        options.wineAsker = (slash == std::string::npos ? std::string(".") : options.wine.substr(0, slash)) +
                            "/../bench/shipped/shipped_ask.exe";
    }
    if (options.wine.empty() && access(options.program.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "shipped_bench: %s is not a program\n", options.program.c_str());
        return 2;
    }
    const bool isolated = enterPrivateNetwork();
    signal(SIGPIPE, SIG_IGN);
    // The program and the floor open one socket per entry.
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    // Raised as the program raises its own: to the hard limit.
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);

    std::unique_ptr<shipped::WineSession> wine;
    std::string shown = options.program + " -service --verbose";
    if (!options.wine.empty()) {
        std::string error;
        wine = shipped::WineSession::start(options.wine, options.wineAsker, error);
        if (!wine) {
            std::fprintf(stderr, "shipped_bench: %s\n", error.c_str());
            return 1;
        }
        shown = options.wine + " -service --verbose: the Win32 program on its loop of window messages, under " +
                wine->version() + " on Linux (not Windows)";
    }
    Farm farm(options.ports);
    std::printf("%s,%s%s entries on %zu ports of 127.0.0.1 (%s), interval %u s,\n"
                "medians of %u rounds (round 0 left out); the floor is bare connect + epoll, same run, same ports.\n"
                "History %s; metrics %s.\n\n",
                shown.c_str(), wine ? "\n" : " ", options.mixed ? "TCP, HTTP and PING" : "TCP", farm.ports().size(),
                isolated ? "a private network namespace" : "the host's loopback", options.intervalSeconds,
                options.rounds, options.history ? "kept" : "off",
                options.scrapeSeconds != 0 ? ("scraped every " + std::to_string(options.scrapeSeconds) + " s" +
                                              (options.gzip ? ", gzip asked for" : "") +
                                              (options.histogram ? "" : ", no histogram") +
                                              (options.alternate ? ", in every other interval of the quiet rounds" : ""))
                                                 .c_str()
                                           : "not served");
    std::printf("%6s | %9s %9s %6s %17s | %9s %9s %11s | %8s %8s | %8s | %11s | %8s %7s | %11s | %6s | %s\n", "N",
                "round ms", "floor ms", "ratio", "captured floor", "wait max", "wait p99", "floor max/p99", "CPU us/e",
                "floor", "KiB/e", "fds peak", "start ms", "end ms", "conn/round", "load", "failed");
    double baseRss = 0;
    std::size_t baseN = 0;
    for (const std::size_t n : options.sizes) {
        const Figures f = measure(options, n, farm, wine.get());
        const double perEntry = baseN != 0 && n > baseN ? (f.rssKiB - baseRss) / double(n - baseN) : 0;
        if (baseN == 0) {
            baseRss = f.rssKiB;
            baseN = n;
        }
        char memory[32] = "-";
        if (perEntry > 0)
            std::snprintf(memory, sizeof memory, "%.2f", perEntry);
        char connections[32];
        if (f.connectionsMin == f.connectionsMax)
            std::snprintf(connections, sizeof connections, "%zu", f.connectionsMin);
        else
            std::snprintf(connections, sizeof connections, "%zu..%zu", f.connectionsMin, f.connectionsMax);
        // Mixed entries hold fewer descriptors than there are entries: the
        // PING checks share their sockets.
        char beyondN[32];
        if (f.peakFds >= n)
            std::snprintf(beyondN, sizeof beyondN, "N+%zu", f.peakFds - n);
        else
            std::snprintf(beyondN, sizeof beyondN, "N-%zu", n - f.peakFds);
        std::printf("%6zu | %9.2f %9.2f %5.2fx %8.2f (%5.2fx) | %9.2f %9.2f %5.2f/%5.2f | %8.2f %8.2f | %8s | %5zu (%s) | "
                    "%8.1f %7.1f | %11s | %6.2f | %zu%s\n",
                    n, f.roundMs, f.floorMs, f.floorMs > 0 ? f.roundMs / f.floorMs : 0, f.capturedFloorMs,
                    f.capturedFloorMs > 0 ? f.roundMs / f.capturedFloorMs : 0, f.longestWaitMs, f.p99WaitMs,
                    f.floorLongestWaitMs, f.floorP99WaitMs,
                    f.cpuPerEntryMicros, f.floorCpuPerEntryMicros, memory, f.peakFds, beyondN, f.startMs, f.endMs,
                    connections, f.loadAverage, f.failures,
                    f.complete ? "" : " (incomplete)");
        if (f.scrapes != 0)
            std::printf("       metrics: %zu scrapes of %.0f KiB on the wire, median %.1f ms, longest %.1f ms; "
                        "their thread's CPU %.2f us/e\n",
                        f.scrapes, f.scrapeKiB, f.scrapeMedianMs, f.scrapeMaxMs, f.metricsCpuPerEntryMicros);
        if (f.scrapedIntervals != 0 && f.unscrapedIntervals != 0)
            std::printf("       alternating: CPU %.2f us/e in %zu intervals with scrapes (their thread %.2f), %.2f in %zu "
                        "without: %+.1f %%\n",
                        f.scrapedCpuPerEntryMicros, f.scrapedIntervals, f.scrapedMetricsCpuPerEntryMicros,
                        f.unscrapedCpuPerEntryMicros, f.unscrapedIntervals,
                        100.0 * (f.scrapedCpuPerEntryMicros / f.unscrapedCpuPerEntryMicros - 1.0));
        if (wine)
            std::printf("       wineserver: CPU %.2f us/e, fds peak %zu (N+%zu)\n", f.serverCpuPerEntryMicros,
                        f.serverPeakFds, f.serverPeakFds > n ? f.serverPeakFds - n : 0);
        if (f.untimedRounds != 0 || f.strayLines != 0)
            std::printf("       %zu rounds not timed (begun before the floor had finished), %zu lines of no entry\n",
                        f.untimedRounds, f.strayLines);
        std::fflush(stdout);
    }
    std::printf("\nround: from the round's first SYN on the loopback to the line of its last entry to finish (every entry\n"
                "has exactly one line in each round timed); the floor: its first SYN to its last connect. wait: a request\n"
                "on the program's local socket until it is served, one after another during rounds, and in turn the same\n"
                "request to a bare process that only answers it (the wait's floor); CPU: all the program's threads\n"
                "over whole intervals, per entry and round; KiB/e: resident memory beyond the smallest run;\n"
                "conn/round: connections the ports took in each round, round 0 included.\n");
    if (wine)
        std::printf("Under Wine, wait: a message sent to the program's frame window (the way a second start reaches it)\n"
                    "until its loop has served it, timed by shipped_ask.exe; start: from its start to the first connection\n"
                    "of round 0 less the two seconds after which monitoring begins, Wine's loading of the program included;\n"
                    "end: WM_CLOSE to exit. wineserver: Wine's server, which does much of a socket's work, over the same\n"
                    "intervals; it holds the prefix's other descriptors as well.\n");
    return 0;
}
