// SPDX-License-Identifier: MIT
// Figures of the probes: response-time accuracy, the cost of a round of
// many entries (also with a slow resolver and PING checks that wait for a
// silent host), and the cost of waiting for a dead host. Prints, asserts
// nothing. Sections that need network namespaces are skipped without root.
#include "bench/probes/SlowDns.h"
#include "probes/HostResolver.h"
#include "probes/HttpProbe.h"
#include "probes/PingProbe.h"
#include "probes/SocketProbe.h"
#include "probes/SocketUtil.h"
#include "probes/TcpProbe.h"
#include "tests/support/Network.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace vigilon;
using test::monoMicros;
using test::RecordingHost;

namespace {

struct Figures {
    double median = 0;
    double p99 = 0;
};

Figures summarise(std::vector<double> values)
{
    Figures f;
    if (values.empty())
        return f;
    std::sort(values.begin(), values.end());
    f.median = values[values.size() / 2];
    f.p99 = values[std::min(values.size() - 1, std::size_t(std::ceil(values.size() * 0.99)) - 1)];
    return f;
}

void printAccuracy(const char *kind, unsigned delayMs, const std::vector<double> &exact,
                   const std::vector<double> &rounded, std::size_t failures)
{
    const Figures e = summarise(exact);
    const Figures r = summarise(rounded);
    std::printf("%-5s D=%2u ms: |error| median %.3f ms, p99 %.3f ms; responseTime |error| median %.0f, p99 %.0f ms; "
                "%zu checks, %zu failed\n",
                kind, delayMs, e.median, e.p99, r.median, r.p99, exact.size(), failures);
}

void httpAccuracy(unsigned checks)
{
    for (unsigned delay : {0u, 5u, 50u}) {
        test::TcpServer server(test::TcpServer::Answer, delay, "HTTP/1.1 200 OK\r\n\r\n");
        RecordingHost host;
        std::vector<double> exact, rounded;
        std::size_t failures = 0;
        for (unsigned i = 0; i < checks; ++i) {
            MonitorPort entry;
            host.reports.clear();
            CHttpProbe probe(host);
            if (probe.start(server.port(), "127.0.0.1", entry) != 1 || !host.waitReports(1, 4000) ||
                host.reports[0].result != ProbeResult::Answered) {
                ++failures;
                continue;
            }
            exact.push_back(std::fabs(double(entry.responseMicros) / 1000.0 - delay));
            rounded.push_back(std::fabs(double(entry.responseTime) - delay));
        }
        printAccuracy("HTTP", delay, exact, rounded, failures);
        std::vector<double> late;
        for (std::uint64_t micros : server.lateMicros())
            late.push_back(double(micros) / 1000.0);
        const Figures serverLate = summarise(late);
        std::printf("           (the server itself replied %.3f ms late at the median, %.3f ms at p99)\n",
                    serverLate.median, serverLate.p99);
    }
}

// Answers echo requests on loopback after delayMs, by raw socket; the
// kernel's own echo replies are off in the namespace.
class IcmpResponder {
public:
    explicit IcmpResponder(unsigned delayMs) : delayMs_(delayMs)
    {
        socket_ = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        thread_ = std::thread([this] { run(); });
    }
    ~IcmpResponder()
    {
        stop_ = true;
        thread_.join();
        if (socket_ >= 0)
            close(socket_);
    }
    Figures lateMicros() { return summarise(late_); }

private:
    void run()
    {
        std::uint8_t buffer[2048];
        while (!stop_) {
            pollfd p{socket_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t got = recv(socket_, buffer, sizeof buffer, 0);
            const std::uint64_t arrived = monoMicros();
            if (got < 20 + 18)
                continue;
            const std::size_t header = std::size_t(buffer[0] & 0x0f) * 4;
            std::uint8_t *icmp = buffer + header;
            if (icmp[0] != 8 || icmp[8] != 0x51)
                continue;
            const std::uint64_t due = arrived + std::uint64_t(delayMs_) * 1000u;
            if (due > monoMicros() + 300)
                usleep(useconds_t(due - monoMicros() - 300));
            while (monoMicros() < due) {
            }
            icmp[0] = 0;
            icmp[2] = icmp[3] = 0;
            const std::size_t length = std::size_t(got) - header;
            const std::uint16_t sum = CPingProbe::checksum(icmp, length);
            std::memcpy(icmp + 2, &sum, 2);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            sendto(socket_, icmp, length, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
            late_.push_back(double(monoMicros() - due));
        }
    }

    unsigned delayMs_;
    int socket_ = -1;
    std::atomic<bool> stop_{false};
    std::vector<double> late_;
    std::thread thread_;
};

void icmpAccuracy(unsigned checks)
{
    const int status = test::runInChild(
        [checks] {
            std::ofstream("/proc/sys/net/ipv4/icmp_echo_ignore_all") << "1";
            for (unsigned delay : {0u, 5u, 50u}) {
                RecordingHost host;
                std::vector<double> exact, rounded;
                std::size_t failures = 0;
                Figures responderLate;
                {
                    IcmpResponder responder(delay);
                    for (unsigned i = 0; i < checks; ++i) {
                        MonitorPort entry;
                        CPingProbe check(host);
                        host.reports.clear();
                        if (check.start(0, "127.0.0.1", entry) != 1 || !host.waitReports(1, 3000) ||
                            host.reports[0].result != ProbeResult::Answered) {
                            ++failures;
                            continue;
                        }
                        exact.push_back(std::fabs(double(entry.responseMicros) / 1000.0 - delay));
                        rounded.push_back(std::fabs(double(entry.responseTime) - delay));
                    }
                    responderLate = responder.lateMicros();
                }
                printAccuracy("ICMP", delay, exact, rounded, failures);
                std::printf("           (the responder itself replied %.3f ms late at the median, %.3f ms at p99)\n",
                            responderLate.median / 1000.0, responderLate.p99 / 1000.0);
            }
            std::fflush(stdout);
            return 0;
        },
        test::NetNamespace, 600000);
    if (status == -1)
        std::printf("ICMP accuracy: skipped (needs root for a network namespace)\n");
}

std::vector<int> openListeners(unsigned count, std::vector<std::uint16_t> &ports)
{
    std::vector<int> listeners;
    for (unsigned i = 0; i < count; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(fd, 8) != 0) {
            if (fd >= 0)
                close(fd);
            break;
        }
        socklen_t length = sizeof address;
        getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
        ports.push_back(ntohs(address.sin_port));
        listeners.push_back(fd);
    }
    return listeners;
}

// The same connects with nothing around them.
double bareConnectsMs(const std::vector<std::uint16_t> &ports)
{
    const std::uint64_t began = monoMicros();
    std::vector<pollfd> fds;
    for (std::uint16_t port : ports) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
        fds.push_back(pollfd{fd, POLLOUT, 0});
    }
    std::size_t left = fds.size();
    for (int pass = 0; left > 0 && pass < 10000; ++pass) {
        if (poll(fds.data(), fds.size(), 3000) <= 0)
            break;
        for (pollfd &p : fds) {
            if (p.fd >= 0 && p.revents) {
                close(p.fd);
                p.fd = -1;
                --left;
            }
        }
    }
    const double took = double(monoMicros() - began) / 1000.0;
    for (pollfd &p : fds)
        if (p.fd >= 0)
            close(p.fd);
    return took;
}

void tcpRound(unsigned entries, const std::string &target, HostResolver *resolver, const char *label,
              const std::vector<std::uint16_t> &ports)
{
    RecordingHost host;
    std::vector<std::unique_ptr<MonitorPort>> list;
    std::vector<std::unique_ptr<CSocketProbe>> probes;
    std::uint64_t stall = 0;
    const std::uint64_t began = monoMicros();
    {
        test::StallMeter meter(host.loop);
        // Let the meter take its first tick before the round.
        host.loop.runFor(10);
        const std::uint64_t roundBegan = monoMicros();
        for (unsigned i = 0; i < entries; ++i) {
            list.push_back(std::make_unique<MonitorPort>());
            probes.push_back(std::make_unique<CTcpProbe>(host, resolver));
            probes.back()->start(ports[i % ports.size()], target, *list.back());
        }
        const std::uint64_t roundEnd = monoMicros();
        host.waitReports(entries, 8000);
        stall = std::max<std::uint64_t>(meter.longestMicros(), roundEnd - roundBegan);
    }
    const double wall = double(host.reports.empty() ? 0 : host.reports.back().atMicros - began) / 1000.0 - 10.0;
    std::printf("TCP round, %u entries%s: %.3f ms until the last result (%zu ok of %zu reports); longest loop "
                "stall %.3f ms\n",
                entries, label, wall, host.countOf(ProbeResult::Answered), host.reports.size(), double(stall) / 1000.0);
}

void tcpScale(unsigned entries)
{
    net::raiseDescriptorLimit();
    std::vector<std::uint16_t> ports;
    std::vector<int> listeners = openListeners(entries, ports);
    if (listeners.size() < entries) {
        std::printf("TCP round: only %zu listeners could be opened; raise ulimit -n\n", listeners.size());
    }
    if (ports.empty())
        return;
    std::printf("TCP floor, %zu bare non-blocking connects with poll: %.3f ms\n", ports.size(), bareConnectsMs(ports));
    tcpRound(entries, "127.0.0.1", nullptr, "", ports);
    for (int fd : listeners)
        close(fd);
}

// 10.99.0.2 lies behind a link whose far end takes nothing: the frames go
// to a hardware address that nobody has. Inside a network namespace only.
bool makeSilentHost()
{
    return test::shell("ip link add vgdrop0 type veth peer name vgdrop1") &&
           test::shell("ip addr add 10.99.0.1/24 dev vgdrop0") && test::shell("ip link set vgdrop0 up") &&
           test::shell("ip link set vgdrop1 up") &&
           test::shell("ip neigh add 10.99.0.2 lladdr 02:00:00:00:99:02 dev vgdrop0 nud permanent");
}

// A round of TCP and PING checks by name, with a DNS server on
// 127.0.0.1:53 that answers every A query with 127.0.0.1 after 200 ms, and
// PING checks to a silent host that wait out their 2000 ms: the loop must
// go on meanwhile.
void slowResolverRound(unsigned entries)
{
    const int status = test::runInChild(
        [entries] {
            if (!test::overlayFile("/etc/hosts", "127.0.0.1 localhost\n") ||
                !test::overlayFile("/etc/resolv.conf", "nameserver 127.0.0.1\noptions timeout:2 attempts:1\n") ||
                !test::overlayFile("/etc/nsswitch.conf", "hosts: files dns\n") || !makeSilentHost())
                return 1;
            bench::SlowDns dns(200);
            if (!dns.ok())
                return 2;
            net::raiseDescriptorLimit();
            std::vector<std::uint16_t> ports;
            std::vector<int> listeners = openListeners(entries, ports);
            if (ports.empty())
                return 3;
            {
                RecordingHost host;
                HostResolver shared(host.loop);
                std::vector<std::unique_ptr<MonitorPort>> list;
                std::vector<std::unique_ptr<CSocketProbe>> probes;
                unsigned tcp = 0, pingByName = 0, pingSilent = 0;
                std::uint64_t stall = 0, waitStall = 0, roundEnd = 0;
                std::uint64_t began = 0;
                {
                    test::StallMeter meter(host.loop);
                    // Let the meter take its first tick before the round.
                    host.loop.runFor(10);
                    began = monoMicros();
                    for (unsigned i = 0; i < entries; ++i) {
                        list.push_back(std::make_unique<MonitorPort>());
                        // One entry in ten is a PING, every other one of
                        // them to the silent host.
                        std::string target = "bench-target.test";
                        if (i % 10 == 9) {
                            probes.push_back(std::make_unique<CPingProbe>(host, &shared));
                            if (i % 20 == 19) {
                                target = "10.99.0.2";
                                ++pingSilent;
                            } else {
                                ++pingByName;
                            }
                        } else {
                            probes.push_back(std::make_unique<CTcpProbe>(host, &shared));
                            ++tcp;
                        }
                        probes.back()->start(ports[i % ports.size()], target, *list.back());
                    }
                    roundEnd = monoMicros();
                    // The stalls after the round's own pass: while the checks wait.
                    test::StallMeter waiting(host.loop);
                    host.waitReports(entries, 8000);
                    stall = std::max<std::uint64_t>(meter.longestMicros(), roundEnd - began);
                    waitStall = waiting.longestMicros();
                }
                std::uint64_t pingFailedAt = 0;
                for (const auto &r : host.reports)
                    if (r.result == ProbeResult::Failed)
                        pingFailedAt = std::max(pingFailedAt, r.atMicros - began);
                const double wall = double(host.reports.empty() ? 0 : host.reports.back().atMicros - began) / 1000.0;
                std::printf("Round of %u entries, DNS answering after 200 ms: %u TCP and %u PING by name, %u PING to a "
                            "silent host: %.3f ms until the last result (%zu answered, %zu failed, the "
                            "last at %.3f ms); longest loop stall %.3f ms (the round's own pass %.3f ms, the longest "
                            "while the checks waited %.3f ms); %u lookups, %u DNS queries\n",
                            entries, tcp, pingByName, pingSilent, wall, host.countOf(ProbeResult::Answered),
                            host.countOf(ProbeResult::Failed), double(pingFailedAt) / 1000.0, double(stall) / 1000.0,
                            double(roundEnd - began) / 1000.0, double(waitStall) / 1000.0, shared.lookupsStarted(),
                            dns.queries());
            }
            for (int fd : listeners)
                close(fd);
            std::fflush(stdout);
            return 0;
        },
        test::NetAndMountNamespace, 60000);
    if (status == -1)
        std::printf("Round with a slow resolver: skipped (needs root for network and mount namespaces)\n");
    else if (status != 0)
        std::printf("Round with a slow resolver: could not be set up (%d)\n", status);
}

double cpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

void deadHostCpu()
{
    const int status = test::runInChild(
        [] {
            if (!makeSilentHost())
                return 1;
            RecordingHost host;
            CPingProbe check(host);
            MonitorPort entry;
            const double cpuBefore = cpuMs();
            const std::uint64_t began = monoMicros();
            check.start(0, "10.99.0.2", entry);
            host.waitReports(1, 4000);
            const double wall = double(monoMicros() - began) / 1000.0;
            const double cpu = cpuMs() - cpuBefore;
            std::printf("PING to a dead host: %s after %.3f ms on the loop, CPU %.3f ms (%.3f %% of a core)\n",
                        host.countOf(ProbeResult::Failed) == 1 ? "failed" : "no failure", wall, cpu,
                        wall > 0 ? cpu * 100.0 / wall : 0.0);
            std::fflush(stdout);
            return 0;
        },
        test::NetNamespace, 20000);
    if (status == -1)
        std::printf("PING to a dead host: skipped (needs root for a network namespace)\n");
    else if (status != 0)
        std::printf("PING to a dead host: could not be set up (%d)\n", status);
}

} // namespace

int main(int argc, char **argv)
{
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const unsigned checks = quick ? 20 : 200;
    const unsigned entries = quick ? 100 : 1000;
    std::printf("Vigilon probe figures (%s run)\n", quick ? "quick" : "full");
    httpAccuracy(checks);
    icmpAccuracy(checks);
    tcpScale(entries);
    slowResolverRound(entries);
    deadHostCpu();
    return 0;
}
