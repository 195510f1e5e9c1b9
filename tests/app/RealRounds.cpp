// SPDX-License-Identifier: MIT
// The engine with the real probes against loopback, each case in a child
// process whose descriptor limit or network namespace the test sets up.
#include "tests/support/FrameTestPeer.h"
#include "app/AlertAction.h"
#include "app/MainFrame.h"
#include "base/StringTable.h"
#include "probes/SocketUtil.h"
#include "probes/SystemProbeFactory.h"
#include "tests/support/FrameParts.h"
#include "tests/support/Network.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

// The process's reads of its descriptor limit, counted: this definition
// stands in for the C library's for every caller in the program's code.
namespace {
std::atomic<int> descriptorLimitReads{0};
}
extern "C" int getrlimit(__rlimit_resource_t resource, rlimit *limit) noexcept
{
    if (resource == RLIMIT_NOFILE)
        ++descriptorLimitReads;
    return prlimit(0, static_cast<__rlimit_resource>(resource), nullptr, limit);
}

namespace vigilon::test {
namespace {

// The frame on real probes and fake windows, in service mode (it takes the
// stored target) with retry limit 0: every failed check is declared and
// alerts.
struct Engine : RealTime, FrameParts {
    Engine(const std::string &target, std::uint32_t interval, const std::vector<std::pair<int, std::uint32_t>> &entries)
        : Engine(storedList(entries), target, interval)
    {
    }
    // alerts: the real alert runner (programs started, %TARGET% filled in).
    Engine(const std::vector<StoredPort> &list, const std::string &target, std::uint32_t interval, bool alerts = false)
        : FrameParts(pollLoop, SystemClock::instance()), system(std::make_unique<SystemProbeFactory>(pollLoop))
    {
        storeConfiguration(list, interval, 0, target);
        probeFactory = system.get();
        onCommand = [this] { alertMicros.push_back(monoMicros()); };
        if (alerts)
            alertRunner = makeAlertRunner(prompter, pollLoop, [target] { return target; });
        makeFrame(true);
        pollLoop.killTimer(frame.get(), timers::ServiceStart);
    }
    static std::vector<StoredPort> storedList(const std::vector<std::pair<int, std::uint32_t>> &entries)
    {
        std::vector<StoredPort> list;
        for (const auto &[protocol, port] : entries)
            list.push_back({port, std::uint32_t(protocol), 1, 0, "alert %TARGET%"});
        return list;
    }
    ~Engine() override
    {
        frame->exitNow();
        frame.reset();
    }
    bool ready() const { return storeSaved && created; }
    std::vector<MonitorPort *> active()
    {
        std::vector<MonitorPort *> out;
        for (const auto &entry : FrameTestPeer::ports(*frame))
            if (entry->active)
                out.push_back(entry.get());
        return out;
    }
    // Whether every active entry has been checked at least once.
    bool allChecked()
    {
        const auto entries = active();
        return std::none_of(entries.begin(), entries.end(), [](auto *e) { return e->status == Idle; });
    }

    std::unique_ptr<ProbeFactory> system;
    std::vector<std::uint64_t> alertMicros;
};

void expectPasses(const std::function<int()> &body, Namespaces namespaces)
{
    const int status = runInChild(body, namespaces, 30000);
    if (status == -1)
        GTEST_SKIP() << "needs root for a network namespace";
    EXPECT_EQ(status, 0);
}

// 100 entries, 64 descriptors: many checks cannot get a socket, round after
// round and in the port test. None of them counts against the target, the
// entries take turns so that every one is checked, the shortage is shown in
// one notice, nothing leaks, and a line says what ran out, at most one in
// five seconds, not one per check.
TEST(RealRounds, RunningOutOfDescriptorsIsNeverTheTargetsFault)
{
    expectPasses(
        [] {
            TcpServer server(TcpServer::Queue); // costs this process no descriptor per connection
            rlimit low{64, 64};
            CHILD_EXPECT(setrlimit(RLIMIT_NOFILE, &low) == 0, 20);
            net::raiseDescriptorLimit(); // as the program does; the hard limit holds it
            std::FILE *log = std::tmpfile();
            const int savedErr = dup(2);
            CHILD_EXPECT(log && savedErr >= 0 && dup2(fileno(log), 2) == 2, 21);
            const int before = openDescriptorCount();
            int ok = 0, testResult = -1;
            {
                std::vector<std::pair<int, std::uint32_t>> list;
                for (int i = 0; i < 100; ++i)
                    list.push_back({i % 2 ? GenericUdp : GenericTcp, server.port()});
                Engine engine("127.0.0.1", 1, list);
                CHILD_EXPECT(engine.ready() && engine.frame->toggleMonitoring(true), 22);
                engine.pollLoop.runUntil([&] { return engine.allChecked(); }, 20000);
                CHILD_EXPECT(engine.frame->uncheckedEntries() > 0, 28); // the limit bit
                CHILD_EXPECT(engine.prompter.count(loadString(sid::ShortageNotice)) == 1, 29);
                engine.frame->toggleMonitoring(true);
                engine.frame->startTestRound([&testResult](TestResult result) { testResult = static_cast<int>(result); });
                engine.pollLoop.runUntil([&] { return testResult >= 0; }, 5000);
                for (const MonitorPort *entry : engine.active()) {
                    CHILD_EXPECT(entry->errorCount == 0 && entry->status != Failed, 23);
                    ok += entry->status == Ok;
                }
                CHILD_EXPECT(engine.alertMicros.empty() && testResult == 1, 24);
            }
            std::fflush(stderr);
            dup2(savedErr, 2);
            std::string said;
            std::rewind(log);
            for (int c; (c = std::fgetc(log)) != EOF;)
                said += char(c);
            std::fprintf(stderr, "%d of 100 entries checked; %s", ok, said.c_str());
            CHILD_EXPECT(ok == 100, 25);
            const std::string ranOut = "out of the process's file descriptors";
            std::size_t lines = 0;
            for (std::size_t at = said.find(ranOut); at != std::string::npos; at = said.find(ranOut, at + 1))
                ++lines;
            CHILD_EXPECT(lines >= 1 && lines <= 4, 26); // one in five seconds, not one per check
            CHILD_EXPECT(openDescriptorCount() == before, 27);
            return 0;
        },
        NoNamespace);
}

// A port test through the real probes names the entries that did not
// answer, the host each was checked at and why, and only those.
TEST(RealRounds, APortTestNamesTheEntriesThatDidNotAnswerAndWhy)
{
    expectPasses(
        [] {
            TcpServer server(TcpServer::CloseAtOnce);
            const std::uint16_t closed = closedTcpPort();
            Engine engine({{server.port(), GenericTcp, 1, 0, "", "up"}, {closed, GenericTcp, 1, 0, "", "down"}},
                          "127.0.0.1", 60);
            CHILD_EXPECT(engine.ready(), 40);
            int result = -1;
            engine.frame->startTestRound([&result](TestResult r) { result = static_cast<int>(r); });
            engine.pollLoop.runUntil([&result] { return result >= 0; }, 10000);
            CHILD_EXPECT(result == static_cast<int>(TestResult::Failed), 41);
            const std::vector<TestFailure> expected{{"down", "127.0.0.1", FailureReason::of(FailureKind::Refused)}};
            CHILD_EXPECT(engine.frame->testFailures() == expected, 42);
            return 0;
        },
        NoNamespace);
}

// 300 entries, a round a second: the checks of a round are closed before or
// as the next round's open, so they never hold much more than one
// descriptor per entry.
TEST(RealRounds, DescriptorsStayNearOnePerEntryFromRoundToRound)
{
    expectPasses(
        [] {
            TcpServer server(TcpServer::CloseAtOnce);
            const int before = openDescriptorCount();
            int most = 0, rounds = 0;
            {
                Engine engine("127.0.0.1", 1, std::vector<std::pair<int, std::uint32_t>>(300, {GenericTcp, server.port()}));
                CHILD_EXPECT(engine.ready(), 20);
                // The rounds are told by the images of a list that is shown.
                engine.frame->showMainDialog();
                engine.fakeUi.dialog->onRowImage = [&](int row, int image) {
                    if (image != ImageChecking)
                        return;
                    most = std::max(most, openDescriptorCount() - before);
                    rounds += row == 299;
                };
                CHILD_EXPECT(engine.frame->toggleMonitoring(true), 21);
                engine.pollLoop.runUntil([&] { return rounds >= 3; }, 20000);
            }
            std::fprintf(stderr, "at most %d descriptors more in %d rounds\n", most, rounds);
            CHILD_EXPECT(rounds >= 3 && most < 300 + 64, 22);
            return 0;
        },
        NoNamespace);
}

// 200 entries: a round reads the descriptor limit once for all its checks,
// not for every check (each would cost a system call), and still keeps the
// descriptors the rest of the program needs (the test above).
TEST(RealRounds, ARoundReadsTheDescriptorLimitOnceForAllItsChecks)
{
    expectPasses(
        [] {
            TcpServer server(TcpServer::CloseAtOnce);
            Engine engine("127.0.0.1", 1, std::vector<std::pair<int, std::uint32_t>>(200, {GenericTcp, server.port()}));
            CHILD_EXPECT(engine.ready(), 20);
            const auto allAnswered = [&] {
                const auto entries = engine.active();
                return std::all_of(entries.begin(), entries.end(), [](auto *e) { return e->status == Ok; });
            };
            descriptorLimitReads = 0;
            CHILD_EXPECT(engine.frame->toggleMonitoring(true), 21);
            engine.pollLoop.runUntil(allAnswered, 10000);
            const int reads = descriptorLimitReads;
            std::fprintf(stderr, "%d reads of the descriptor limit in the first round\n", reads);
            CHILD_EXPECT(allAnswered(), 22);
            CHILD_EXPECT(reads >= 1 && reads <= 2, 23);
            return 0;
        },
        NoNamespace);
}

// Five entries whose target name only a name server that never answers
// could give: the loop never waits for the lookup, and every entry fails at
// its deadline. The bounds tell a wait from a busy machine: a lookup that
// held the loop would hold it for the resolver's five seconds, and an entry
// that waited for it would fail at the lookup's end, not at three seconds.
TEST(RealRounds, ADeadNameServerNeverStallsTheLoopAndEveryEntryFailsAtItsDeadline)
{
    expectPasses(
        [] {
            CHILD_EXPECT(overlayResolver("127.0.0.1 localhost\n", "timeout:5 attempts:2"), 20);
            CHILD_EXPECT(silentNameServer() >= 0, 21); // kept open until the child ends
            TcpServer server(TcpServer::Silent);
            const std::uint16_t port = server.port();
            Engine engine("vigilon-dead.test", 60,
                          {{GenericTcp, port}, {GenericUdp, port}, {Http, port}, {GenericTcp, port},
                           {GenericUdp, port}});
            CHILD_EXPECT(engine.ready(), 22);
            StallMeter meter(engine.pollLoop);
            const std::uint64_t began = monoMicros();
            CHILD_EXPECT(engine.frame->toggleMonitoring(true), 23);
            engine.pollLoop.runFor(4000);
            const std::uint64_t stall = meter.longestMicros();
            std::fprintf(stderr, "longest event-loop stall %.3f ms\n", double(stall) / 1000.0);
            CHILD_EXPECT(stall < 1000000, 24);
            for (const MonitorPort *entry : engine.active())
                CHILD_EXPECT(entry->errorCount == 1 && entry->status == Failed, 25);
            CHILD_EXPECT(engine.alertMicros.size() == 5, 26);
            for (std::uint64_t at : engine.alertMicros)
                CHILD_EXPECT(at - began >= 2900000 && at - began < 5000000, 27);
            return 0;
        },
        NetAndMountNamespace);
}

// A TCP entry beside two PING entries on a host that answers no echo
// request, for ten rounds: the TCP time stays its own and the loop never
// waits for the PING checks. A wait would last the echo's three-second
// timeout; the bounds leave a busy machine far below that.
TEST(RealRounds, PingChecksToASilentHostNeitherStallTheLoopNorLengthenATcpCheck)
{
    expectPasses(
        [] {
            CHILD_EXPECT(bool(std::ofstream("/proc/sys/net/ipv4/icmp_echo_ignore_all") << "1\n"), 20);
            TcpServer server(TcpServer::Silent);
            // What the machine itself takes from the loop is not the loop's stall.
            MachineStalls machine;
            Engine engine("127.0.0.1", 1, {{GenericTcp, server.port()}, {Ping, 7}, {Ping, 7}});
            CHILD_EXPECT(engine.ready(), 21);
            StallMeter meter(engine.pollLoop, machine.ok() ? &machine : nullptr);
            // A TCP time stands in its entry until the next round: a look
            // every millisecond sees each one.
            const char watchOwner = 0;
            MonitorPort &tcp = *engine.active()[0];
            std::uint64_t longestTcp = 0;
            engine.pollLoop.setTimer(&watchOwner, 1, 1, [&] { longestTcp = std::max(longestTcp, tcp.responseMicros); });
            engine.frame->openResponseMonitor(0);
            CHILD_EXPECT(engine.frame->toggleMonitoring(true), 22);
            engine.pollLoop.runFor(10500);
            engine.pollLoop.killTimers(&watchOwner);
            const std::uint64_t stall = meter.longestMicros();
            const std::size_t tcpChecks = engine.fakeUi.graphs[tcp.name].samples.size();
            std::fprintf(stderr, "%zu TCP checks, the longest %.3f ms; longest event-loop stall %.3f ms%s\n",
                         tcpChecks, double(longestTcp) / 1000.0, double(stall) / 1000.0,
                         machine.ok() ? "" : " (the machine's own stalls not told apart)");
            CHILD_EXPECT(tcpChecks >= 10, 23);
            for (std::size_t i = 1; i < 3; ++i)
                CHILD_EXPECT(engine.active()[i]->status == Failed && engine.active()[i]->errorCount >= 8, 24);
            CHILD_EXPECT(longestTcp > 0 && longestTcp < 1000000, 25);
            CHILD_EXPECT(stall < 1000000, 26);
            return 0;
        },
        NetNamespace);
}

// Entries on four hosts in one round: the target (a name), a second
// loopback address by name, ::1, and a name nothing knows. Each check goes
// to its entry's host, each host is looked up once, the unknown name fails
// its own entries only, and their alert programs get that host as %TARGET%
// and in VIGILON_TARGET.
TEST(RealRounds, EntriesOnSeveralHostsAreCheckedThereWithOneLookupPerHost)
{
    expectPasses(
        [] {
            CHILD_EXPECT(overlayResolver("127.0.0.1 localhost alpha.test\n127.0.0.2 beta.test\n",
                                         "timeout:1 attempts:1") &&
                             umount("/etc/nsswitch.conf") == 0 && overlayFile("/etc/nsswitch.conf", "hosts: files\n"),
                         20);
            const std::string reply = "HTTP/1.1 200 OK\r\n\r\n";
            TcpServer alpha(TcpServer::Answer, 0, reply, "127.0.0.1");
            const std::uint16_t port = alpha.port();
            TcpServer beta(TcpServer::Answer, 0, reply, "127.0.0.2", port);
            TcpServer gamma(TcpServer::Answer, 0, reply, "::1", port);
            TempDir dir;
            const std::string script = dir / "alert.sh", seen = dir / "seen.txt";
            std::ofstream(script) << "#!/bin/sh\necho \"$1|$VIGILON_TARGET\" >> \"$2\"\n";
            std::filesystem::permissions(script, std::filesystem::perms::owner_all);
            const std::string command = script + " %TARGET% " + seen;
            struct Row {
                const char *host;
                bool answers;
            };
            const Row rows[] = {{"", true}, {"beta.test", true}, {"::1", true}, {"dead.test", false}};
            std::vector<StoredPort> list;
            for (const Row &row : rows)
                for (const std::uint32_t kind : {std::uint32_t(GenericTcp), std::uint32_t(Http)})
                    list.push_back({port, kind, 1, 0, command, kind == Http ? "HTTP" : "TCP", row.host});
            Engine engine(list, "alpha.test", 60, true);
            CHILD_EXPECT(engine.ready() && engine.active().size() == 8, 21);
            auto &resolver = static_cast<SystemProbeFactory &>(*engine.system).resolver();
            CHILD_EXPECT(engine.frame->toggleMonitoring(true), 22);
            CHILD_EXPECT(engine.pollLoop.runUntil([&] { return engine.allChecked(); }, 10000), 23);
            for (std::size_t i = 0; i < 8; ++i) {
                const MonitorPort &entry = *engine.active()[i];
                const bool answers = rows[i / 2].answers;
                if (entry.status != (answers ? Ok : Failed))
                    std::fprintf(stderr, "%s on %s: status %d\n", entry.name.c_str(), rows[i / 2].host,
                                 int(entry.status));
                CHILD_EXPECT(entry.status == (answers ? Ok : Failed), 24);
                CHILD_EXPECT(answers || entry.lastReason.kind == FailureKind::NameNotFound, 25);
            }
            // Each server was reached by its own two entries, no more (the
            // servers accept on their own threads).
            const auto reached = [&] { return alpha.accepted() + beta.accepted() + gamma.accepted() >= 6; };
            engine.pollLoop.runUntil(reached, 3000);
            std::fprintf(stderr, "connections: %d on 127.0.0.1, %d on 127.0.0.2, %d on ::1; %u lookups\n",
                         alpha.accepted(), beta.accepted(), gamma.accepted(), resolver.lookupsStarted());
            CHILD_EXPECT(alpha.accepted() == 2 && beta.accepted() == 2 && gamma.accepted() == 2, 26);
            // Names only: an address is never looked up.
            CHILD_EXPECT(resolver.lookupsStarted() == 3, 27);
            engine.pollLoop.runUntil([&] { return readLines(seen).size() >= 2; }, 5000);
            const std::vector<std::string> alerts = readLines(seen);
            CHILD_EXPECT(alerts == std::vector<std::string>(2, "dead.test|dead.test"), 28);
            return 0;
        },
        NetAndMountNamespace);
}

} // namespace
} // namespace vigilon::test
