// SPDX-License-Identifier: MIT
#include "probes/HostResolver.h"
#include "probes/PingProbe.h"
#include "probes/SocketProbe.h"
#include "probes/TcpProbe.h"
#include "tests/support/Network.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

namespace vigilon {
namespace {

using test::RecordingHost;

TEST(HostResolver, AddressLiteralsAreNeverLookedUp)
{
    PollEventLoop loop;
    HostResolver resolver(loop);
    const struct {
        const char *text;
        int family;
        const char *address;
    } cases[] = {
        {"127.0.0.1", AF_INET, "127.0.0.1"},  {"10.1.2.3", AF_INET, "10.1.2.3"},
        {"127.1", AF_INET, "127.0.0.1"},      {"::1", AF_INET6, "::1"},
        {"[::1]", AF_INET6, "::1"},           {"FD00:0::2", AF_INET6, "fd00::2"},
        {"[fd00::2]", AF_INET6, "fd00::2"},   {"::ffff:10.0.0.1", AF_INET, "10.0.0.1"},
        {"fe80::1%lo", AF_INET6, "fe80::1%lo"},
    };
    for (const auto &c : cases) {
        net::NetAddress address;
        std::uint64_t ticket = 0;
        EXPECT_EQ(resolver.resolve(c.text, address, [](bool, const net::NetAddress &) {}, ticket), HostResolver::Found)
            << c.text;
        EXPECT_EQ(address.family, c.family) << c.text;
        EXPECT_EQ(address.text(), c.address) << c.text;
    }
    EXPECT_EQ(resolver.lookupsStarted(), 0u);
    // Not literals: these are names for the lookup to refuse.
    for (const char *text : {"[::1", "::1]", "fd00::2::1", "[127.0.0.1]", "[]", "host:80", ""}) {
        net::NetAddress address;
        EXPECT_FALSE(net::parseNumericHost(text, address)) << text;
    }
    // An address followed by anything is no address, and no name either: it
    // fails at once as a name not found, never checked at the address.
    for (const char *text : {"127.0.0.1 extra", "127.0.0.1\textra", "10.0.0.7 ", " 10.0.0.7", "127.0.0.1\n",
                             "::1 x", "my host"}) {
        net::NetAddress address;
        EXPECT_FALSE(net::parseNumericHost(text, address)) << text;
        std::uint64_t ticket = 0;
        EXPECT_EQ(resolver.resolve(text, address, [](bool, const net::NetAddress &) {}, ticket), HostResolver::NotFound)
            << text;
        EXPECT_EQ(resolver.failureOf(text), FailureKind::NameNotFound) << text;
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

TEST(HostResolver, OneLookupServesARoundAndNoWaiterOutlivesItsCheck)
{
    expectPassesIsolated(
        [] {
            // With a name server that never answers.
            const char *hosts = "127.0.0.1 localhost\n127.0.0.1 vigilon-target.test\n";
            CHILD_EXPECT(test::overlayResolver(hosts, "timeout:5 attempts:2"), 20);
            CHILD_EXPECT(test::silentNameServer() >= 0, 21); // kept open until the child ends
            test::TcpServer server(test::TcpServer::Queue);
            RecordingHost host;
            HostResolver resolver(host.loop);
            std::vector<std::unique_ptr<MonitorPort>> entries;
            std::vector<std::unique_ptr<CSocketProbe>> probes;
            auto round = [&](const std::string &name) {
                resolver.beginRound();
                host.reports.clear();
                probes.clear(); // before the entries they check
                entries.clear();
                for (int i = 0; i < 5; ++i) {
                    entries.push_back(std::make_unique<MonitorPort>());
                    probes.push_back(std::make_unique<CTcpProbe>(host, &resolver));
                    probes.back()->start(server.port(), name, *entries.back());
                }
            };

            // A name that is found: five entries, one lookup.
            round("vigilon-target.test");
            CHILD_EXPECT(host.waitReports(5, 3000), 30);
            CHILD_EXPECT(host.countOf(ProbeResult::Answered) == 5, 31);
            CHILD_EXPECT(resolver.lookupsStarted() == 1, 32);
            // A new round looks the name up again.
            round("vigilon-target.test");
            CHILD_EXPECT(host.waitReports(5, 3000), 33);
            CHILD_EXPECT(resolver.lookupsStarted() == 2, 34);

            // Checks that go while the dead server is asked leave no
            // waiter behind (its stall and deadlines: RealRounds).
            round("vigilon-dead.test");
            host.loop.runFor(100);
            CHILD_EXPECT(host.reports.empty() && resolver.lookupsStarted() == 3 && resolver.waiting() == 5, 40);
            probes.clear();
            CHILD_EXPECT(resolver.waiting() == 0, 45);
            return 0;
        },
        30000);
}

// Real lookups through the system's resolver: a name with an IPv4 address
// is checked over IPv4 whatever else it has, a name with IPv6 addresses
// only over IPv6, for every kind; the socket opened before the lookup is
// replaced by one of the found family. An IPv6 literal, bracketed or not,
// is checked over IPv6 from the first socket on, without a lookup. A name
// that is nowhere (the name server refuses at once: nothing on port 53)
// fails the check.
TEST(HostResolver, TargetsAreCheckedInTheirOwnFamilyAndUnknownNamesFail)
{
    expectPassesIsolated(
        [] {
            if (!test::overlayResolver("127.0.0.1 localhost\n127.0.0.1 vigilon-both.test\nfd00:6::1 vigilon-both.test\n"
                                 "fd00:6::1 vigilon-v6.test\n",
                                 "timeout:1 attempts:1"))
                return 20;
            CHILD_EXPECT(test::addIpv6ToLoopback("fd00:6::1"), 21);
            RecordingHost host;
            HostResolver resolver(host.loop);

            // Each server listens in one family only, so a check that went
            // to the other one would fail.
            test::TcpServer web6(test::TcpServer::Answer, 0, "HTTP/1.1 200 OK\r\n\r\n", "fd00:6::1");
            test::TcpServer web4(test::TcpServer::Answer, 0, "HTTP/1.1 200 OK\r\n\r\n", "127.0.0.1");
            test::TcpServer literal6(test::TcpServer::Answer, 0, "HTTP/1.1 200 OK\r\n\r\n", "fd00:6::1");
            std::vector<std::unique_ptr<MonitorPort>> entries;
            std::vector<std::unique_ptr<CSocketProbe>> probes;
            for (int kind : {0, 1, 2, 3}) {
                for (const std::string name :
                     {"vigilon-v6.test", "vigilon-both.test", "vigilon-unknown.test", "fd00:6::1", "[fd00:6::1]"}) {
                    entries.push_back(std::make_unique<MonitorPort>());
                    entries.back()->name = name;
                    // The unknown name's checks look it up on their own.
                    HostResolver *shared = name == "vigilon-unknown.test" ? nullptr : &resolver;
                    if (kind == 3)
                        probes.push_back(std::make_unique<CPingProbe>(host, shared));
                    else
                        probes.push_back(makeSocketProbe(kind, host, shared));
                    const std::uint16_t port = name == "vigilon-v6.test" ? web6.port()
                                               : name.find(':') != std::string::npos ? literal6.port()
                                                                                     : web4.port();
                    CHILD_EXPECT(probes.back()->start(port, name, *entries.back()) == 1, 26);
                }
            }
            host.waitReports(20, 3000);
            CHILD_EXPECT(host.reports.size() == 20, 27);
            for (const auto &r : host.reports)
                EXPECT_EQ(r.result == ProbeResult::Answered, r.entry->name != "vigilon-unknown.test") << r.entry->name;
            CHILD_EXPECT(web6.firstRequest() == "HEAD / HTTP/1.1\r\nHost:vigilon-v6.test\r\n\r\n", 29);
            CHILD_EXPECT(literal6.firstRequest() == "HEAD / HTTP/1.1\r\nHost:[fd00:6::1]\r\n\r\n", 29);
            CHILD_EXPECT(resolver.lookupsStarted() == 2, 30);
            return ::testing::Test::HasFailure() ? 28 : 0;
        },
        20000);
}

} // namespace
} // namespace vigilon
