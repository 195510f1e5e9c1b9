// SPDX-License-Identifier: MIT
// Runs the monitoring engine with the real probes against 127.0.0.1 and
// prints what came of it on standard error. Started by the tests, under
// prlimit or inside a network namespace. Exit status 0 when all went as it
// should, otherwise the number of the check that failed.
//
//   real_round_helper shortage N   N TCP and UDP entries for 3.5 s, then a
//                                  port test; nothing may count against the
//                                  target, and no descriptor may be left.
//   real_round_helper dead-dns     five entries whose target name only a DNS
//                                  server that never answers could give;
//                                  the loop may never stall, and every entry
//                                  fails at its deadline.
//   real_round_helper silent-ping  a TCP entry beside two PING entries on a
//                                  host that answers no echo request, for ten
//                                  rounds: the TCP time stays its own and the
//                                  loop never waits for the PING checks.
#include "app/MainFrame.h"
#include "app/SystemProbes.h"
#include "app/base/PollEventLoop.h"
#include "app/store/MemoryRegistry.h"
#include "app/store/Settings.h"
#include "probes/SocketUtil.h"
#include "tests/probes/ProbeTestSupport.h"
#include "tests/support/FakeFrameParts.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vigilon;

namespace {

int openDescriptors()
{
    int count = 0;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while (readdir(dir))
        ++count;
    closedir(dir);
    return count - 3;
}

std::uint64_t nowMicros()
{
    return SystemClock::instance().monotonicMicros();
}

// A socket on 127.0.0.1; port 0 picks one. Returns the descriptor.
int localSocket(int type, std::uint16_t &port)
{
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        (type == SOCK_STREAM && listen(fd, 4096) != 0) ||
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        std::perror("local socket");
        std::exit(10);
    }
    port = ntohs(address.sin_port);
    return fd;
}

// The frame on real probes and fake windows.
struct Engine {
    struct Entry {
        std::uint32_t protocol;
        std::uint32_t port;
    };

    Engine(const std::string &target, std::uint32_t interval, const std::vector<Entry> &entries)
        : sockets(ui.journal), probes(makeSystemProbeFactory(loop))
    {
        PortList list;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            auto entry = std::make_unique<MonitorPort>();
            entry->port = entries[i].port;
            entry->protocol = entries[i].protocol;
            entry->active = 1;
            entry->command = "alert %TARGET%";
            entry->name = "entry " + std::to_string(i);
            list.push_back(std::move(entry));
        }
        appendPlaceholder(list);
        // Retry limit 0: every failed check is declared and alerts.
        if (saveSettings(registry, target, interval, 0, list) != reg::Status::Ok)
            std::exit(11);

        FrameContext context;
        context.serviceMode = true; // takes the stored target
        context.loop = &loop;
        context.clock = &SystemClock::instance();
        context.prompter = &prompter;
        context.registry = &registry;
        context.ui = &ui;
        context.sockets = &sockets;
        context.probes = probes.get();
        context.runCommand = [this](const std::string &) {
            alertMicros.push_back(nowMicros());
            return 0;
        };
        frame = std::make_unique<CMainFrame>(context);
        if (frame->create() != 0)
            std::exit(12);
        loop.killTimer(frame.get(), timers::ServiceStart);
    }
    ~Engine()
    {
        frame->exitNow();
        frame.reset();
    }

    PollEventLoop loop;
    test::FakePrompter prompter;
    reg::MemoryRegistry registry;
    test::FakeFrameUi ui;
    test::FakeSocketLibrary sockets;
    std::unique_ptr<ProbeFactory> probes;
    std::unique_ptr<CMainFrame> frame;
    std::vector<std::uint64_t> alertMicros;
};

int shortage(int entries)
{
    // As the program does at start; harmless where soft and hard are one.
    net::raiseDescriptorLimit();
    const int before = openDescriptors();
    // Connections wait in the backlog, never accepted: they cost this
    // process no descriptor.
    std::uint16_t port = 0;
    const int listener = localSocket(SOCK_STREAM, port);

    int testResult = -1;
    int ok = 0, idle = 0, failed = 0;
    unsigned errors = 0;
    std::size_t alerts = 0;
    {
        std::vector<Engine::Entry> list;
        for (int i = 0; i < entries; ++i)
            list.push_back({i % 2 ? std::uint32_t(GenericUdp) : std::uint32_t(GenericTcp), port});
        Engine engine("127.0.0.1", 1, list);
        if (engine.frame->toggleMonitoring(true) != 1)
            return 13;
        engine.loop.runFor(3500);
        engine.frame->toggleMonitoring(true);
        // A port test, on the loop like a round.
        engine.frame->startTestRound([&testResult](int result) { testResult = result; });
        for (int waited = 0; testResult < 0 && waited < 5000; waited += 50)
            engine.loop.runFor(50);
        for (const auto &entry : engine.frame->portsForTest()) {
            if (entry->active == 0)
                continue;
            errors += entry->errorCount;
            ok += entry->status == Ok;
            idle += entry->status == Idle;
            failed += entry->status == Failed;
        }
        alerts = engine.alertMicros.size();
    }
    close(listener);
    const int after = openDescriptors();
    std::fprintf(stderr,
                 "entries %d: ok %d, idle %d, failed %d; errors %u; alerts %zu; port test %d; descriptors %d "
                 "before, %d after\n",
                 entries, ok, idle, failed, errors, alerts, testResult, before, after);
    if (errors != 0 || failed != 0 || alerts != 0 || testResult != 1)
        return 1;
    if (after != before)
        return 2;
    return ok == 0 ? 3 : 0;
}

int deadDns()
{
    // The name server of this namespace's resolver configuration: it takes
    // every query and answers none.
    std::uint16_t dnsPort = 53;
    const int dns = localSocket(SOCK_DGRAM, dnsPort);
    std::uint16_t port = 0;
    const int listener = localSocket(SOCK_STREAM, port);

    std::uint64_t stall = 0;
    std::vector<std::uint64_t> alerts;
    std::uint64_t began = 0;
    {
        Engine engine("vigilon-dead.test", 60,
                      {{GenericTcp, port}, {GenericUdp, port}, {Http, port}, {GenericTcp, port}, {GenericUdp, port}});
        // A 5 ms ticker: how late it runs is how long the loop stalled.
        const char meterOwner = 0;
        std::uint64_t last = nowMicros();
        engine.loop.setTimer(&meterOwner, 1, 5, [&] {
            const std::uint64_t now = nowMicros();
            stall = std::max(stall, now - last > 5000 ? now - last - 5000 : 0);
            last = now;
        });
        began = nowMicros();
        if (engine.frame->toggleMonitoring(true) != 1)
            return 13;
        stall = std::max(stall, nowMicros() - began);
        last = nowMicros();
        engine.loop.runFor(4000);
        engine.loop.killTimers(&meterOwner);
        alerts = engine.alertMicros;
        for (const auto &entry : engine.frame->portsForTest()) {
            if (entry->active && (entry->errorCount != 1 || entry->status != Failed)) {
                std::fprintf(stderr, "%s: status %d, errors %u\n", entry->name.c_str(), int(entry->status),
                             entry->errorCount);
                return 4;
            }
        }
    }
    close(listener);
    close(dns);
    std::fprintf(stderr, "longest event-loop stall %.3f ms; %zu entries failed at", double(stall) / 1000.0,
                 alerts.size());
    bool inTime = true;
    for (std::uint64_t at : alerts) {
        std::fprintf(stderr, " %.0f", double(at - began) / 1000.0);
        inTime = inTime && at - began >= 2900000 && at - began < 3500000;
    }
    std::fprintf(stderr, " ms\n");
    if (stall >= 50000)
        return 1;
    if (alerts.size() != 5)
        return 2;
    return inTime ? 0 : 3;
}

int silentPing()
{
    // This namespace's host answers no echo request.
    std::ofstream("/proc/sys/net/ipv4/icmp_echo_ignore_all") << "1\n";
    std::uint16_t port = 0;
    const int listener = localSocket(SOCK_STREAM, port);
    // What the machine itself takes from the loop is not the loop's stall.
    test::MachineStalls machine;
    std::uint64_t stall = 0;
    std::uint64_t longestTcp = 0;
    std::size_t tcpChecks = 0;
    bool pingsFailed = true;
    {
        Engine engine("127.0.0.1", 1, {{GenericTcp, port}, {Ping, 7}, {Ping, 7}});
        test::StallMeter meter(engine.loop, machine.ok() ? &machine : nullptr);
        // A TCP time stands in its entry until the next round: a look every
        // millisecond sees each one.
        const char watchOwner = 0;
        MonitorPort &tcp = *engine.frame->portsForTest()[0];
        engine.loop.setTimer(&watchOwner, 1, 1, [&] { longestTcp = std::max(longestTcp, tcp.responseMicros); });
        if (engine.frame->toggleMonitoring(true) != 1)
            return 13;
        engine.loop.runFor(10500);
        engine.loop.killTimers(&watchOwner);
        stall = meter.longestMicros();
        tcpChecks = engine.ui.samples[tcp.id].size();
        for (std::size_t i = 1; i < 3; ++i) {
            const MonitorPort &ping = *engine.frame->portsForTest()[i];
            pingsFailed = pingsFailed && ping.status == Failed && ping.errorCount >= 8;
        }
    }
    close(listener);
    std::fprintf(stderr, "%zu TCP checks, the longest %.3f ms; longest event-loop stall %.3f ms%s\n", tcpChecks,
                 double(longestTcp) / 1000.0, double(stall) / 1000.0,
                 machine.ok() ? "" : " (the machine's own stalls not told apart)");
    if (tcpChecks < 10 || !pingsFailed)
        return 1;
    if (longestTcp == 0 || longestTcp >= 5000)
        return 2;
    return stall < 5000 ? 0 : 3;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "shortage") == 0)
        return shortage(argc > 2 ? std::atoi(argv[2]) : 100);
    if (argc > 1 && std::strcmp(argv[1], "dead-dns") == 0)
        return deadDns();
    if (argc > 1 && std::strcmp(argv[1], "silent-ping") == 0)
        return silentPing();
    std::fprintf(stderr, "usage: real_round_helper shortage N | dead-dns | silent-ping\n");
    return 64;
}
