// SPDX-License-Identifier: MIT
// Vigilon's checks beside the command-line checkers, on the same responders
// in one run: ICMP and HTTP error against a known reply delay, a round of
// 1,000 TCP entries against bare connects and nmap, and the CPU that waiting
// for a dead host costs. Prints figures, asserts nothing.
//
// Needs root (a network namespace for the ICMP responder, raw sockets).
// Traffic goes only to 127.0.0.1 and to the namespace made here.
#include "bench/compare/EngineRig.h"
#include "bench/compare/Figures.h"
#include "bench/compare/Peers.h"
#include "bench/compare/Process.h"
#include "bench/compare/Responders.h"
#include "probes/SocketUtil.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

using namespace vigilon;
using namespace vigilon::bench;

namespace {

constexpr unsigned kDelaysMs[] = {0, 5, 50};
constexpr unsigned kFarmPorts = 1000;
constexpr unsigned kRoundRepeats = 5;
constexpr unsigned kDeadWaitMs = 2000;
constexpr unsigned kDeadRepeats = 3;

void onSignal(int)
{
    emergencyCleanup();
    _exit(2);
}

double median(std::vector<double> values)
{
    return summarise(std::move(values)).median;
}

void resetResponder(Responder &responder, unsigned delayMs)
{
    responder.tell("D " + std::to_string(std::uint64_t(delayMs) * 1000u));
    responder.ask("R");
}

ErrorRow fromPeer(const std::string &who, const PeerTimes &times, unsigned delayMs, Responder &responder)
{
    ErrorRow row;
    row.who = who;
    row.ran = times.ran;
    row.note = times.note;
    row.failures = times.failures;
    for (const double ms : times.timesMs)
        row.errorsMs.push_back(ms - double(delayMs));
    row.responder = parseResponderError(responder.ask("R"));
    return row;
}

// Our check of one entry, round after round through the engine.
ErrorRow oursOnEntry(const EngineRig::Entry &entry, const std::string &target, unsigned delayMs, unsigned checks,
                     Responder &responder)
{
    ErrorRow row;
    row.who = "vigilon";
    EngineRig rig({entry}, target);
    if (!rig.created()) {
        row.note = "the engine could not be made";
        return row;
    }
    row.ran = true;
    for (unsigned i = 0; i < checks; ++i) {
        rig.resetCount();
        if (i == 0)
            rig.startMonitoring();
        else
            rig.runRound();
        if (!rig.waitForResults(1, 4000) || rig.failureCount() != 0) {
            ++row.failures;
            continue;
        }
        row.errorsMs.push_back(double(rig.entry(0).responseMicros) / 1000.0 - double(delayMs));
        // The peers space their checks too; let the loop breathe.
        rig.idle(1);
    }
    if (rig.questionsAsked() != 0)
        row.note = std::to_string(rig.questionsAsked()) + " message boxes shown";
    row.responder = parseResponderError(responder.ask("R"));
    return row;
}

// The same connects with poll and nothing else: socket, connect, wait
// until every one has finished. held: when given, the connections of the
// previous call are closed first, inside the timed span, and this call's
// are kept, as the engine keeps its checks' connections until the next round.
double floorRoundMs(const std::vector<std::uint16_t> &ports, std::size_t &connected, std::vector<int> *held = nullptr)
{
    const std::uint64_t begin = monoMicros();
    if (held) {
        for (const int fd : *held)
            ::close(fd);
        held->clear();
    }
    std::vector<pollfd> fds;
    fds.reserve(ports.size());
    for (const std::uint16_t port : ports) {
        const int fd = net::openSocket(SOCK_STREAM, 0);
        if (fd < 0)
            continue;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to);
        fds.push_back({fd, POLLOUT, 0});
    }
    std::size_t left = fds.size();
    connected = 0;
    std::uint64_t last = begin;
    for (int pass = 0; left > 0 && pass < 100000; ++pass) {
        if (::poll(fds.data(), fds.size(), 3000) <= 0)
            break;
        for (pollfd &p : fds) {
            if (p.fd < 0 || !p.revents)
                continue;
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &error, &length);
            if (error == 0)
                ++connected;
            last = monoMicros();
            // Keep the descriptor; a negative fd is skipped by poll().
            p.fd = -p.fd - 1;
            --left;
        }
    }
    const double ms = double(last - begin) / 1000.0;
    for (pollfd &p : fds) {
        const int fd = p.fd < 0 ? -p.fd - 1 : p.fd;
        if (held)
            held->push_back(fd);
        else
            ::close(fd);
    }
    return ms;
}

// Several entries checked at once: three TCP and three HTTP entries on the
// HTTP responder, round after round. A check's time must not depend on
// where it stands in the round: its completion is timed when the system
// signals it, not when the loop comes round to its handler after the
// others' work. Error: TCP time (the handshake on loopback is all but
// free), HTTP time minus D. Rows: this build on its poll loop, and, with
// --wine, the Windows build on its loop of window messages under Wine.
constexpr unsigned kSeveralTcp = 3, kSeveralHttp = 3;

std::vector<EngineRig::Entry> severalEntries(std::uint16_t port)
{
    std::vector<EngineRig::Entry> entries;
    for (unsigned i = 0; i < kSeveralTcp; ++i)
        entries.push_back({port, GenericTcp});
    for (unsigned i = 0; i < kSeveralHttp; ++i)
        entries.push_back({port, Http});
    return entries;
}

// The errors of every check, and the median per entry and of the rounds'
// times in the note.
void severalRow(ErrorRow &row, const std::vector<std::vector<double>> &times, const std::vector<double> &roundsMs,
                unsigned delayMs)
{
    std::string medians;
    for (std::size_t e = 0; e < times.size(); ++e) {
        const double expected = e < kSeveralTcp ? 0.0 : double(delayMs);
        std::vector<double> errors;
        for (const double ms : times[e])
            errors.push_back(ms - expected);
        row.errorsMs.insert(row.errorsMs.end(), errors.begin(), errors.end());
        char text[32];
        std::snprintf(text, sizeof text, "%s%.2f", medians.empty() ? "" : " ", errors.empty() ? 0.0 : median(errors));
        medians += text;
    }
    char rounds[64];
    std::snprintf(rounds, sizeof rounds, "; round until its last result: %.2f", roundsMs.empty() ? 0.0 : median(roundsMs));
    row.note = "median per entry (3 TCP, 3 HTTP): " + medians + rounds + (row.note.empty() ? "" : "; " + row.note);
}

ErrorRow severalOurs(std::uint16_t port, unsigned delayMs, unsigned rounds, Responder &responder)
{
    ErrorRow row;
    row.who = "vigilon";
    EngineRig rig(severalEntries(port), "127.0.0.1");
    if (!rig.created()) {
        row.note = "the engine could not be made";
        return row;
    }
    row.ran = true;
    const RoundTimes got = runRounds(rig, kSeveralTcp + kSeveralHttp, rounds);
    row.failures = got.failures;
    severalRow(row, got.times, got.roundsMs, delayMs);
    row.responder = parseResponderError(responder.ask("R"));
    return row;
}

// The same rounds by the Windows build (bench/compare/windows/WineChecks.cpp) under
// Wine, through scripts/with-wine.sh.
ErrorRow severalWine(const std::string &program, std::uint16_t port, unsigned delayMs, unsigned rounds,
                     Responder &responder)
{
    ErrorRow row;
    row.who = "vigilon.exe";
    const std::string bash = findProgram("bash");
    if (bash.empty()) {
        row.note = "bash is not installed";
        return row;
    }
    std::vector<std::string> argv = {bash, "scripts/with-wine.sh", program, "127.0.0.1", std::to_string(rounds)};
    for (const EngineRig::Entry &e : severalEntries(port))
        argv.push_back(std::string(e.protocol == Http ? "http:" : "tcp:") + std::to_string(port));
    const RunResult r = runProgram(argv, 120000 + rounds * 1000);
    std::vector<std::vector<double>> times(kSeveralTcp + kSeveralHttp);
    std::vector<double> roundsMs;
    bool done = false;
    std::size_t at = 0;
    while (at < r.output.size()) {
        const std::size_t end = std::min(r.output.find('\n', at), r.output.size());
        std::string line = r.output.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') // the Windows program's text mode
            line.pop_back();
        unsigned index = 0, failures = 0;
        int used = 0;
        if (line == "done")
            done = true;
        if (line.rfind("rounds", 0) == 0) {
            const char *p = line.c_str() + 6;
            char *next = nullptr;
            for (double ms = std::strtod(p, &next); next != p; ms = std::strtod(p, &next)) {
                roundsMs.push_back(ms);
                p = next;
            }
        }
        if (std::sscanf(line.c_str(), "entry %u %u%n", &index, &failures, &used) != 2 || index >= times.size())
            continue;
        row.failures += failures;
        const char *p = line.c_str() + used;
        char *next = nullptr;
        for (double ms = std::strtod(p, &next); next != p; ms = std::strtod(p, &next)) {
            times[index].push_back(ms);
            p = next;
        }
    }
    if (!done) {
        row.note = r.timedOut ? "timed out under Wine" : "did not run under Wine (exit " + std::to_string(r.exitCode) + ")";
        return row;
    }
    row.ran = true;
    row.note = "Windows build under Wine";
    severalRow(row, times, roundsMs, delayMs);
    row.responder = parseResponderError(responder.ask("R"));
    return row;
}

void severalFigure(std::uint16_t port, Responder &http, unsigned rounds, const std::string &wineProgram)
{
    for (const unsigned delay : {0u, 5u}) {
        std::vector<ErrorRow> rows;
        resetResponder(http, delay);
        rows.push_back(severalOurs(port, delay, rounds, http));
        if (!wineProgram.empty()) {
            resetResponder(http, delay);
            rows.push_back(severalWine(wineProgram, port, delay, rounds, http));
        } else {
            ErrorRow row;
            row.who = "vigilon.exe";
            row.note = "not run: give --wine build/mingw/bench/compare/compare_wine_checks.exe";
            rows.push_back(row);
        }
        printErrorFigure(std::to_string(kSeveralTcp + kSeveralHttp) + " entries at once on 127.0.0.1 (TCP, and HTTP "
                         "with D = " + std::to_string(delay) + " ms): error per check, ms",
                         rows);
    }
}

void tcpRoundFigure(Responder &farm, const std::vector<std::uint16_t> &ports)
{
    std::printf("\nOne round of %zu TCP entries on 127.0.0.1: wall time until the last result, ms "
                "(median of %u)\n",
                ports.size(), kRoundRepeats);
    std::vector<double> floors, floorsClosing, ours, issued, nmapWall, nmapOwn;
    std::size_t floorConnected = 0, oursFailed = 0, nmapOpen = 0;
    std::string nmapNote;
    // Interleaved, so that what the kernel keeps of earlier connections
    // (TIME_WAIT on the listeners' side) weighs on each contender alike.
    std::vector<EngineRig::Entry> entries;
    for (const std::uint16_t port : ports)
        entries.push_back({port, GenericTcp});
    auto rig = std::make_unique<EngineRig>(entries, "127.0.0.1");
    std::vector<int> held;
    std::size_t heldConnected = 0;
    floorRoundMs(ports, heldConnected, &held);
    farm.ask("A", 10000);
    for (unsigned i = 0; i < kRoundRepeats; ++i) {
        floors.push_back(floorRoundMs(ports, floorConnected));
        farm.ask("A", 10000);
        floorsClosing.push_back(floorRoundMs(ports, heldConnected, &held));
        farm.ask("A", 10000);
        if (!rig->created())
            continue;
        rig->resetCount();
        const std::uint64_t begin = monoMicros();
        if (i == 0)
            rig->startMonitoring();
        else
            rig->runRound();
        issued.push_back(double(monoMicros() - begin) / 1000.0);
        if (!rig->waitForResults(ports.size(), 10000)) {
            ++oursFailed;
            continue;
        }
        ours.push_back(double(rig->lastResultMicros() - begin) / 1000.0);
        oursFailed += rig->failureCount();
        farm.ask("A", 10000);
    }
    rig.reset();
    for (const int fd : held)
        ::close(fd);
    farm.ask("A", 10000);
    bool nmapRan = false;
    for (unsigned i = 0; i < kRoundRepeats; ++i) {
        const ScanRun scan = nmapConnectScan(ports);
        farm.ask("A", 10000);
        if (!scan.ran) {
            nmapNote = scan.note;
            break;
        }
        nmapRan = true;
        nmapWall.push_back(scan.wallMs);
        nmapOwn.push_back(scan.reportedMs);
        nmapOpen = scan.open;
    }
    const double floorMs = median(floors);
    std::printf("  %-22s %9.2f   (%zu of %zu connected)\n", "floor (connect + poll)", floorMs, floorConnected,
                ports.size());
    const double floorClosingMs = median(floorsClosing);
    std::printf("  %-22s %9.2f   (the floor that also closes the previous round's 1,000 connections first, as "
                "every round after the engine's first does)\n",
                "floor + closing", floorClosingMs);
    if (ours.empty())
        std::printf("  %-22s %9s   (no round finished)\n", "vigilon", "-");
    else
    {
        std::string each;
        for (const double ms : ours) {
            char text[32];
            std::snprintf(text, sizeof text, "%s%.1f", each.empty() ? "" : " ", ms);
            each += text;
        }
        std::printf("  %-22s %9.2f   (%zu failed checks; rounds: %s; until every connect was issued: %.2f; real "
                    "engine and poll loop)\n",
                    "vigilon", median(ours), oursFailed, each.c_str(), median(issued));
    }
    if (nmapRan)
        std::printf("  %-22s %9.2f   (own \"scanned in\": %.0f ms; %zu open)\n", "nmap -sT (process)",
                    median(nmapWall), median(nmapOwn), nmapOpen);
    else
        std::printf("  %-22s %s\n", "nmap -sT", nmapNote.c_str());
    if (!ours.empty()) {
        std::printf("  ours / floor: %s (aim: within 1.5x); ours / floor + closing: %s\n",
                    ratioText(median(ours), floorMs).c_str(), ratioText(median(ours), floorClosingMs).c_str());
        if (nmapRan)
            std::printf("  ours / best peer (nmap -sT, process wall): %s; nmap / floor: %s\n",
                        ratioText(median(ours), median(nmapWall)).c_str(),
                        ratioText(median(nmapWall), floorMs).c_str());
    }
}

void deadHostFigure(const std::string &dead)
{
    std::printf("\nCPU used while one PING check waits %u ms for a dead host (%s), ms (median of %u)\n", kDeadWaitMs,
                dead.c_str(), kDeadRepeats);
    std::vector<double> ourCpu, ourWall;
    {
        EngineRig rig({{0, Ping}}, dead);
        for (unsigned i = 0; rig.created() && i < kDeadRepeats; ++i) {
            rig.resetCount();
            const std::uint64_t cpu = ownCpuMicros();
            const std::uint64_t begin = monoMicros();
            if (i == 0)
                rig.startMonitoring();
            else
                rig.runRound();
            rig.waitForResults(1, kDeadWaitMs + 2000);
            ourWall.push_back(double(monoMicros() - begin) / 1000.0);
            ourCpu.push_back(double(ownCpuMicros() - cpu) / 1000.0);
        }
    }
    struct Line {
        std::string who;
        bool ran = false;
        std::string note;
        std::vector<double> cpu, wall;
    };
    std::vector<Line> lines;
    lines.push_back({"vigilon", !ourCpu.empty(), "", ourCpu, ourWall});
    for (int peer = 0; peer < 2; ++peer) {
        Line line;
        line.who = peer == 0 ? "fping" : "check_icmp";
        for (unsigned i = 0; i < kDeadRepeats; ++i) {
            const WaitRun run = peer == 0 ? fpingDeadHost(dead, kDeadWaitMs) : checkIcmpDeadHost(dead, kDeadWaitMs);
            line.note = run.note;
            if (!run.ran)
                break;
            line.ran = true;
            line.cpu.push_back(run.cpuMs);
            line.wall.push_back(run.wallMs);
        }
        lines.push_back(line);
    }
    double bestCpu = -1;
    std::string bestWho;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Line &line = lines[i];
        if (!line.ran) {
            std::printf("  %-11s %s\n", line.who.c_str(), line.note.c_str());
            continue;
        }
        const double cpu = median(line.cpu), wall = median(line.wall);
        std::printf("  %-11s cpu %7.3f   wall %8.1f   %.3f %% of a core%s%s%s\n", line.who.c_str(), cpu, wall,
                    wall > 0 ? 100.0 * cpu / wall : 0.0, i == 0 ? " (the check alone)" : " (whole process)",
                    line.note.empty() ? "" : "; ", line.note.c_str());
        if (i > 0 && (bestCpu < 0 || cpu < bestCpu)) {
            bestCpu = cpu;
            bestWho = line.who;
        }
    }
    if (lines[0].ran && bestCpu >= 0) {
        const double fpingCpu = lines[1].ran ? median(lines[1].cpu) : -1;
        std::printf("  ours / best peer (%s): %s", bestWho.c_str(), ratioText(median(ourCpu), bestCpu).c_str());
        if (fpingCpu >= 0)
            std::printf("; ours / fping: %s (aim: within 2x)", ratioText(median(ourCpu), fpingCpu).c_str());
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char **argv)
{
    unsigned checks = 100;
    bool keepStderr = false;
    std::string only; // one figure: icmp, http, https, tls, several, tcp or dead
    std::string wineProgram;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--checks") == 0 && i + 1 < argc)
            checks = unsigned(std::max(1, std::atoi(argv[++i])));
        else if (std::strcmp(argv[i], "--keep-stderr") == 0)
            keepStderr = true;
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else if (std::strcmp(argv[i], "--wine") == 0 && i + 1 < argc)
            wineProgram = argv[++i];
        else {
            std::fprintf(stderr, "usage: compare_bench [--checks N] [--only icmp|http|https|tls|several|tcp|dead] [--keep-stderr] "
                                 "[--wine compare_wine_checks.exe]   (N checks per delay, default 100)\n");
            return 2;
        }
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // The engine writes its status lines to standard error; the figures are
    // on standard output, and --keep-stderr keeps both.
    if (!keepStderr) {
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (null >= 0) {
            ::dup2(null, 2);
            ::close(null);
        }
    }
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGALRM})
        std::signal(s, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
    // The whole run is bounded; the handler cleans up.
    ::alarm(1800);
    net::raiseDescriptorLimit();

    utsname system{};
    ::uname(&system);
    std::printf("compare_bench: %s %s, %ld CPUs online, %u checks per delay\n", system.sysname, system.release,
                ::sysconf(_SC_NPROCESSORS_ONLN), checks);
    std::printf("Errors are reported time minus the responder's delay D, in ms; \"responder's own error\" is how "
                "late the responder itself replied.\n");

    const auto wanted = [&](const char *figure) { return only.empty() || only == figure; };
    BenchNamespace ns;
    std::string why;
    const bool haveNs = (wanted("icmp") || wanted("dead")) && ns.create("vigilon-bench-" + std::to_string(::getpid()), why);
    if (!haveNs && (wanted("icmp") || wanted("dead")))
        std::printf("ICMP figures skipped: %s\n", why.c_str());

    Responder icmp;
    const bool haveIcmp = haveNs && wanted("icmp") && startIcmpResponder(icmp, ns.name());
    Responder http;
    std::uint16_t httpPort = 0;
    const bool haveHttp = (wanted("http") || wanted("several")) && startHttpResponder(http, httpPort);
    // HTTPS: a certificate of our own for 127.0.0.1, trusted through the
    // trust file as every checker here is told (check_http does not verify).
    Responder https;
    std::uint16_t httpsPort = 0;
    char pki[] = "/tmp/vigilon-bench-pki.XXXXXX";
    const std::string pkiDir = (wanted("https") || wanted("tls")) && ::mkdtemp(pki) ? pki : "";
    const std::string certFile = pkiDir + "/cert.pem", keyFile = pkiDir + "/key.pem";
    bool haveHttps = false;
    if (!pkiDir.empty()) {
        const RunResult made = runProgram({findProgram("openssl"), "req", "-x509", "-newkey", "ec", "-pkeyopt",
                                           "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                                           "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                                           keyFile, "-out", certFile},
                                          20000);
        ::setenv("SSL_CERT_FILE", certFile.c_str(), 1);
        haveHttps = made.exitCode == 0 && startHttpsResponder(https, certFile, keyFile, httpsPort);
        if (!haveHttps)
            std::printf("HTTPS figures skipped: no certificate or responder (openssl: %s)\n", made.output.c_str());
    }

    for (const unsigned delay : kDelaysMs) {
        const unsigned period = delay + 20;
        if (haveIcmp) {
            const std::string address = ns.responderAddress();
            std::vector<ErrorRow> rows;
            resetResponder(icmp, delay);
            rows.push_back(oursOnEntry({0, Ping}, address, delay, checks, icmp));
            resetResponder(icmp, delay);
            rows.push_back(fromPeer("fping", fpingTimes(address, checks, period), delay, icmp));
            resetResponder(icmp, delay);
            rows.push_back(fromPeer("check_icmp", checkIcmpTimes(address, checks), delay, icmp));
            printErrorFigure("ICMP echo to " + address + ", D = " + std::to_string(delay) + " ms: error, ms", rows);
        }
        if (haveHttp && wanted("http")) {
            std::vector<ErrorRow> rows;
            resetResponder(http, delay);
            rows.push_back(oursOnEntry({httpPort, Http}, "127.0.0.1", delay, checks, http));
            resetResponder(http, delay);
            rows.push_back(fromPeer("httping", httpingTimes(httpPort, checks, period), delay, http));
            resetResponder(http, delay);
            rows.push_back(fromPeer("check_http", checkHttpTimes(httpPort, checks), delay, http));
            printErrorFigure("HTTP HEAD on 127.0.0.1, D = " + std::to_string(delay) + " ms: error, ms", rows);
        }
        if (haveHttps && wanted("https")) {
            std::vector<ErrorRow> rows;
            resetResponder(https, delay);
            rows.push_back(oursOnEntry({httpsPort, Https}, "127.0.0.1", delay, checks, https));
            resetResponder(https, delay);
            rows.push_back(fromPeer("curl", curlHttpsTimes(httpsPort, certFile, checks), delay, https));
            resetResponder(https, delay);
            rows.push_back(fromPeer("check_http -S", checkHttpsTimes(httpsPort, checks), delay, https));
            printErrorFigure("HTTPS HEAD on 127.0.0.1, D = " + std::to_string(delay) + " ms: error, ms", rows);
        }
        // The handshake never waits for the responder's delay: one figure.
        if (haveHttps && wanted("tls") && delay == kDelaysMs[0]) {
            std::vector<ErrorRow> rows;
            resetResponder(https, 0);
            rows.push_back(oursOnEntry({httpsPort, Tls}, "127.0.0.1", 0, checks, https));
            resetResponder(https, 0);
            rows.push_back(fromPeer("curl", curlHandshakeTimes(httpsPort, certFile, checks), 0, https));
            printErrorFigure("TLS handshake with 127.0.0.1: time, ms", rows);
        }
    }
    if (haveHttp && wanted("several"))
        severalFigure(httpPort, http, checks, wineProgram);
    icmp.stop();
    http.stop();
    https.stop();
    if (!pkiDir.empty()) {
        ::unlink(certFile.c_str());
        ::unlink(keyFile.c_str());
        ::rmdir(pkiDir.c_str());
    }

    Responder farm;
    std::vector<std::uint16_t> ports;
    if (!wanted("tcp"))
        ;
    else if (startPortFarm(farm, kFarmPorts, ports))
        tcpRoundFigure(farm, ports);
    else
        std::printf("\nTCP round skipped: the %u listening ports could not be made\n", kFarmPorts);
    farm.stop();

    if (haveNs && wanted("dead"))
        deadHostFigure(ns.deadAddress());
    ns.destroy();
    killChildren();
    return 0;
}
