// SPDX-License-Identifier: MIT
#include "probes/HostResolver.h"
#include "probes/SocketProbe.h"
#include "tests/support/Network.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vigilon {
namespace {

constexpr int SyncMode = vigilon::Test;

using test::RecordingHost;

TEST(HostResolver, DottedAddressesAreNeverLookedUp)
{
    PollEventLoop loop;
    HostResolver resolver(loop);
    for (const char *text : {"127.0.0.1", "10.1.2.3", "127.1"}) {
        std::uint32_t address = 0;
        std::uint64_t ticket = 0;
        EXPECT_EQ(resolver.resolve(text, address, [](bool, std::uint32_t) {}, ticket), HostResolver::Found) << text;
        in_addr expected{};
        inet_aton(text, &expected);
        EXPECT_EQ(address, expected.s_addr);
        EXPECT_EQ(ticket, 0u);
    }
    EXPECT_EQ(resolver.lookupsStarted(), 0u);
}

// Names are looked up inside a child (in network and mount namespaces of its
// own) with its own /etc/hosts and name server on 127.0.0.1, so nothing
// leaves the machine.
void expectPassesIsolated(const std::function<int()> &body, int timeoutMs)
{
    const int status = test::runInChild(body, test::NetAndMountNamespace, timeoutMs);
    if (status == -1)
        GTEST_SKIP() << "needs root for network and mount namespaces";
    EXPECT_EQ(status, 0);
}

// With a name server that never answers.
int withPrivateResolver(const std::function<int()> &body)
{
    if (!test::overlayResolver("127.0.0.1 localhost\n127.0.0.1 vigilon-target.test\n", "timeout:5 attempts:2")) {
        std::fprintf(stderr, "cannot overlay the resolver configuration\n");
        return 20;
    }
    const int dead = test::silentNameServer();
    CHILD_EXPECT(dead >= 0, 21);
    const int status = body();
    close(dead);
    return status;
}

TEST(HostResolver, OneLookupServesARoundAndADeadServerNeverStallsTheLoop)
{
    expectPassesIsolated(
        [] {
            return withPrivateResolver([] {
                test::TcpServer server(test::TcpServer::Queue);
                RecordingHost host;
                HostResolver resolver(host.loop);
                std::vector<std::unique_ptr<MonitorPort>> entries;
                std::vector<std::unique_ptr<CSocketProbe>> probes;
                auto round = [&](const std::string &name, int mode) {
                    resolver.beginRound();
                    host.reports.clear();
                    entries.clear();
                    probes.clear();
                    for (int i = 0; i < 5; ++i) {
                        entries.push_back(std::make_unique<MonitorPort>());
                        probes.push_back(std::make_unique<CTcpProbe>(mode, host, &resolver));
                        probes.back()->start(server.port(), name, *entries.back());
                    }
                };

                // A name that is found: five entries, one lookup.
                round("vigilon-target.test", Regular);
                CHILD_EXPECT(host.waitReports(5, 3000), 30);
                CHILD_EXPECT(host.countOf(TcpOk) == 5, 31);
                CHILD_EXPECT(resolver.lookupsStarted() == 1, 32);
                // A new round looks the name up again.
                round("vigilon-target.test", Regular);
                CHILD_EXPECT(host.waitReports(5, 3000), 33);
                CHILD_EXPECT(resolver.lookupsStarted() == 2, 34);

                // A name the dead server would be asked for.
                const std::uint64_t began = test::monoMicros();
                std::uint64_t stall = 0;
                {
                    test::StallMeter meter(host.loop);
                    round("vigilon-dead.test", Regular);
                    host.waitReports(5, 4500);
                    stall = meter.longestMicros();
                }
                std::fprintf(stderr, "longest stall with a dead DNS server: %.3f ms\n", double(stall) / 1000.0);
                CHILD_EXPECT(stall < 50000, 40);
                CHILD_EXPECT(host.countOf(TcpFailed) == 5, 41);
                for (const auto &r : host.reports)
                    CHILD_EXPECT(r.atMicros - began >= 2900000 && r.atMicros - began < 3500000, 42);
                CHILD_EXPECT(resolver.lookupsStarted() == 3, 43);
                for (const auto &p : probes)
                    CHILD_EXPECT(p->done() == 2, 44);
                probes.clear();
                CHILD_EXPECT(resolver.waiting() == 0, 45);

                // Synchronous: the lookup is bounded, and its failure is
                // reported from inside start, which returns 0.
                resolver.beginRound();
                host.reports.clear();
                MonitorPort entry;
                CTcpProbe probe(SyncMode, host, &resolver);
                const std::uint64_t syncBegan = test::monoMicros();
                CHILD_EXPECT(probe.start(server.port(), "vigilon-dead2.test", entry) == 0, 50);
                const std::uint64_t took = test::monoMicros() - syncBegan;
                CHILD_EXPECT(took >= 2900000 && took < 4000000, 51);
                CHILD_EXPECT(host.reports.size() == 1 && host.reports[0].code == TcpFailed, 52);
                CHILD_EXPECT(!probe.localFailure(), 53);
                // The other entries of that round do not wait again for the
                // same silent server; a new round does, once.
                for (int round = 0; round < 2; ++round) {
                    for (int i = 0; i < 3; ++i) {
                        MonitorPort other;
                        CTcpProbe next(SyncMode, host, &resolver);
                        const std::uint64_t nextBegan = test::monoMicros();
                        CHILD_EXPECT(next.start(server.port(), "vigilon-dead2.test", other) == 0, 54);
                        const std::uint64_t nextTook = test::monoMicros() - nextBegan;
                        const bool waits = round == 1 && i == 0;
                        CHILD_EXPECT(waits ? nextTook >= 2900000 : nextTook < 100000, 55);
                    }
                    resolver.beginRound();
                }
                CHILD_EXPECT(resolver.lookupsStarted() == 4, 56);
                return 0;
            });
        },
        30000);
}

TEST(HostResolver, SynchronousCheckHasOneDeadlineForLookupConnectAndReply)
{
    expectPassesIsolated(
        [] {
            if (!test::overlayResolver("127.0.0.1 localhost\n", "timeout:5 attempts:1"))
                return 20;
            // The name takes 2 s, and the server never answers the request.
            test::SlowDns dns(2000);
            CHILD_EXPECT(dns.ok(), 21);
            test::TcpServer server(test::TcpServer::Silent);
            RecordingHost host;
            HostResolver resolver(host.loop);
            MonitorPort entry;
            CHttpProbe probe(SyncMode, host, &resolver);
            const std::uint64_t began = test::monoMicros();
            probe.start(server.port(), "vigilon-slow.test", entry);
            const std::uint64_t took = test::monoMicros() - began;
            std::fprintf(stderr, "synchronous HTTP check after a 2 s lookup: %.0f ms\n", double(took) / 1000.0);
            CHILD_EXPECT(server.accepted() == 1, 22);
            CHILD_EXPECT(took >= 2900000 && took < 3500000, 23);
            CHILD_EXPECT(host.reports.size() == 1 && host.reports[0].code == HttpFailed, 24);
            return 0;
        },
        20000);
}

TEST(HostResolver, UnknownNameFailsTheCheck)
{
    expectPassesIsolated(
        [] {
            // With the DNS server refusing at once (nothing on port 53).
            if (!test::overlayResolver("127.0.0.1 localhost\n", "timeout:1 attempts:1"))
                return 20;
            RecordingHost host;
            for (int kind : {0, 1, 2}) {
                host.reports.clear();
                MonitorPort entry;
                auto probe = makeSocketProbe(kind, Regular, host);
                probe->start(80, "vigilon-unknown.test", entry);
                host.waitReports(1, 4000);
                CHILD_EXPECT(host.reports.size() == 1, 30 + kind);
                CHILD_EXPECT(host.reports[0].code == probe->failureCode(), 40 + kind);
                CHILD_EXPECT(probe->done() != 0, 50 + kind);
            }
            return 0;
        },
        20000);
}

} // namespace
} // namespace vigilon
