// SPDX-License-Identifier: MIT
// The network tests' servers, network namespaces and loop stall meters
// (Linux).
#pragma once

#include "base/Clock.h"
#include "base/MonitorPort.h"
#include "base/PollEventLoop.h"
#include "base/ProbeHost.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sched.h>
#include <sys/socket.h>

namespace vigilon::test {

inline std::uint64_t monoMicros()
{
    return SystemClock::instance().monotonicMicros();
}

// A frame stand-in that records every report.
class RecordingHost final : public ProbeHost {
public:
    struct Report {
        ProbeResult result;
        MonitorPort *entry;
        std::uint64_t atMicros;
        bool insideStart;
    };

    // Then keeps the loop busy for busyMicros, as the engine's work on a
    // result does.
    void reportResult(ProbeResult result, MonitorPort &entry) override
    {
        reports.push_back(Report{result, &entry, monoMicros(), insideStart});
        while (monoMicros() < reports.back().atMicros + busyMicros) {
        }
    }
    EventLoop &eventLoop() override { return loop; }
    const Clock &clock() const override { return SystemClock::instance(); }

    // Starts a check the way the engine does, noting reports made from
    // inside its start.
    template <class Probe>
    int start(Probe &probe, std::uint32_t port, const std::string &target, MonitorPort &entry)
    {
        insideStart = true;
        const int started = probe.start(port, target, entry);
        insideStart = false;
        return started;
    }
    // The reports for entry, in order.
    std::vector<Report> reportsFor(const MonitorPort &entry) const
    {
        std::vector<Report> out;
        std::copy_if(reports.begin(), reports.end(), std::back_inserter(out),
                     [&](const Report &r) { return r.entry == &entry; });
        return out;
    }
    // Runs the loop until count reports have come or timeoutMs passed.
    bool waitReports(std::size_t count, unsigned timeoutMs)
    {
        return loop.runUntil([&] { return reports.size() >= count; }, timeoutMs);
    }
    std::size_t countOf(ProbeResult result) const
    {
        return std::count_if(reports.begin(), reports.end(), [result](const Report &r) { return r.result == result; });
    }

    PollEventLoop loop;
    std::vector<Report> reports;
    bool insideStart = false;
    std::uint64_t busyMicros = 0;
};

// What the machine itself (the kernel's own work, interrupts) takes from a
// loop: a thread on the calling thread's processor, at a real-time priority
// above it, wakes every millisecond and notes how late it woke. The calling
// thread is kept on that processor and made real-time too, so that other
// programs do not take it away either; the thread has its processors and
// policy back when this goes, on the thread that made it. Needs root.
class MachineStalls {
public:
    MachineStalls();
    ~MachineStalls();
    bool ok() const { return ok_; }
    // The longest time within [from, to] that the watcher was held up.
    std::uint64_t overlap(std::uint64_t from, std::uint64_t to) const;

private:
    bool ok_ = false;
    cpu_set_t processors_{};
    int policy_ = 0;
    sched_param priority_{};
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> late_;
    std::thread thread_;
};

// Measures how late a 1 ms ticker on the loop runs: the longest stall of
// the loop while it is installed. With machine, what the machine took over
// the same time is not counted as the loop's.
class StallMeter {
public:
    explicit StallMeter(EventLoop &loop, const MachineStalls *machine = nullptr);
    ~StallMeter();
    std::uint64_t longestMicros() const;

private:
    EventLoop &loop_;
    const MachineStalls *machine_;
    std::uint64_t last_ = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> gaps_; // ticks late, from the tick before
};

// A TCP server on 127.0.0.1 (or on the address given, "::1" for one) with a
// chosen behaviour, on its own thread.
class TcpServer {
public:
    enum Behaviour {
        Silent,        // accepts, reads, never answers
        Answer,        // answers reply after delayMs once the request's blank line is in
        Megabyte,      // writes a megabyte at once
        CloseAtOnce,   // closes every connection right after accepting it
        CloseAfterRequest, // reads the request, then closes without a reply
        ResetAtOnce,   // resets every connection (SO_LINGER 0) right after accepting it
        NoAccept,      // listens with backlog 0 and never accepts
        Queue,         // listens with a long backlog and never accepts
        Flapping,      // resets two connections in three, answers the third
        AnswerInTwo,   // as Answer, but all after the reply's first 10 bytes leaves 50 ms later
        AnswerAndClose, // answers reply at once once the request's blank line is in, then ends its side
    };
    // address: where it listens, a numeric address; port 0: any free one.
    explicit TcpServer(Behaviour behaviour, unsigned delayMs = 0, std::string reply = "HTTP/1.1 404 Not Found\r\n\r\n",
                       const std::string &address = "127.0.0.1", std::uint16_t port = 0);
    ~TcpServer();

    std::uint16_t port() const { return port_; }
    int accepted() const { return accepted_.load(); }
    // Connections whose peer has closed, as seen by the server.
    int peerClosed() const { return peerClosed_.load(); }
    std::string firstRequest();
    // How late each answer left against its due time (Answer servers).
    std::vector<std::uint64_t> lateMicros();
    // Accept everything now queued (NoAccept servers).
    void acceptQueued();
    // Answer and AnswerAndClose servers: a request without the header line
    // "Authorization: " + value (the name in any letter case) is answered
    // 401 Unauthorized instead of the reply.
    void requireAuthorization(const std::string &value);

private:
    void run();
    // The reply to a request, under requireAuthorization().
    std::string answerTo(const std::string &request);

    Behaviour behaviour_;
    unsigned delayMs_;
    std::string reply_;
    int listener_ = -1;
    int stop_ = -1; // an event descriptor: written when the server goes
    std::uint16_t port_ = 0;
    std::atomic<int> accepted_{0};
    std::atomic<int> peerClosed_{0};
    std::mutex mutex_;
    std::string firstRequest_;
    std::string authorization_;
    std::vector<int> held_;
    std::vector<std::uint64_t> late_;
    std::thread thread_;
};

// What a server that asks for authorization answers a request: reply when
// the request holds the header line "Authorization: " + authorization (or
// none is asked for), else 401 Unauthorized with a basic challenge.
std::string authorizedReply(const std::string &request, const std::string &reply, const std::string &authorization);

// For code run in a child of runInChild(): on failure, says which condition
// failed and makes code the child's exit status.
#define CHILD_EXPECT(condition, code)                                                                                \
    do {                                                                                                             \
        if (!(condition)) {                                                                                          \
            std::fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition);                             \
            return code;                                                                                             \
        }                                                                                                            \
    } while (0)

// The socket address for a numeric address text and port; its length, 0 when
// the text is not one.
socklen_t socketAddress(const std::string &text, sockaddr_storage &address, std::uint16_t port = 0);
// A socket of type bound to text:port (port 0: any free port, which port
// then holds), listening with backlog if it is a stream socket; -1 if not.
int boundSocket(int type, int backlog, std::uint16_t &port, const std::string &text = "127.0.0.1");

// A port on 127.0.0.1 (or on the address given) with nothing behind it, for
// a server or a program to take at once.
std::uint16_t closedTcpPort(const std::string &address = "127.0.0.1");

// A TCP port that refuses every connection while this lives: bound and never
// listening, so that no server of a test running beside takes it meanwhile.
class RefusedPort {
public:
    explicit RefusedPort(const std::string &address = "127.0.0.1");
    ~RefusedPort() { release(); }
    RefusedPort(const RefusedPort &) = delete;
    RefusedPort &operator=(const RefusedPort &) = delete;
    std::uint16_t port() const { return port_; }
    // Lets the port go, for a server that is to take it.
    void release();

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};
// A UDP socket on 127.0.0.1:port (port 0: any free one, which port then
// holds), or -1.
int udpSocket(std::uint16_t &port);

// Open descriptors of this process.
int openDescriptorCount();

enum Namespaces { NoNamespace = 0, NetNamespace = 1, NetAndMountNamespace = 3 };

// Runs body in a forked child, inside new network (and mount) namespaces
// whose loopback is up when asked. Returns the child's exit status, or -1
// when the child or its namespaces cannot be made (the caller skips), or -2
// when the child did not end within timeoutMs (it is killed). The child's
// own failures go to standard error.
int runInChild(const std::function<int()> &body, Namespaces namespaces, unsigned timeoutMs);

// Runs a shell command (ip, sysctl) inside the child; true on exit 0.
bool shell(const std::string &command);

// Adds an IPv6 address to the child's loopback and waits until it can be
// reached.
bool addIpv6ToLoopback(const std::string &address);

// A network namespace beside the child's own, for a router or a far host:
// a process of its own holds it until the object goes. Links are moved in
// with "ip link set NAME netns PID"; commands run inside through nsenter.
class PeerNamespace {
public:
    PeerNamespace();
    ~PeerNamespace();
    PeerNamespace(const PeerNamespace &) = delete;
    PeerNamespace &operator=(const PeerNamespace &) = delete;
    bool ok() const { return pid_ > 0; }
    int pid() const { return pid_; }
    bool shell(const std::string &command) const;

private:
    int pid_ = -1;
    int hold_ = -1; // its end of the pipe closes the peer's life
};

// Bind-mounts a file with the given content over path (mount namespace
// children only).
bool overlayFile(const std::string &path, const std::string &content);

// A name server on 127.0.0.1:53 that takes every query and answers none:
// its socket, or -1.
int silentNameServer();

// Gives a mount namespace child hosts as its /etc/hosts and the name server
// 127.0.0.1 with the resolver options given.
bool overlayResolver(const std::string &hosts, const std::string &options);

} // namespace vigilon::test
