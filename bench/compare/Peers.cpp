// SPDX-License-Identifier: MIT
#include "bench/compare/Peers.h"

#include "bench/compare/Process.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace vigilon::bench {

namespace {

// A number that follows key in text ("rta=0.034ms" with key "rta="); false
// when key is not there.
bool numberAfter(const std::string &text, const std::string &key, double &value)
{
    const std::size_t at = text.find(key);
    if (at == std::string::npos)
        return false;
    const char *start = text.c_str() + at + key.size();
    char *end = nullptr;
    value = std::strtod(start, &end);
    return end != start;
}

PeerTimes missing(const char *program)
{
    PeerTimes times;
    times.note = std::string("not installed (") + program + "; scripts/bench.sh installs it)";
    return times;
}

} // namespace

PeerTimes fpingTimes(const std::string &address, unsigned count, unsigned periodMs)
{
    const std::string fping = findProgram("fping");
    if (fping.empty())
        return missing("fping");
    PeerTimes times;
    const RunResult r = runProgram({fping, "-C", std::to_string(count), "-p", std::to_string(periodMs), "-q", "-t",
                                    "2000", "-r", "0", address},
                                   count * (periodMs + 100) + 10000);
    if (!r.started || r.timedOut) {
        times.note = r.timedOut ? "timed out" : "could not be started";
        return times;
    }
    // "198.18.1.2 : 5.05 5.04 - 5.06": "-" for a lost reply.
    const std::size_t colon = r.output.find(" : ");
    if (colon == std::string::npos) {
        times.note = "unreadable output: " + r.output.substr(0, 200);
        return times;
    }
    std::istringstream in(r.output.substr(colon + 3));
    for (std::string word; in >> word;) {
        char *end = nullptr;
        const double value = std::strtod(word.c_str(), &end);
        if (end != word.c_str())
            times.timesMs.push_back(value);
        else
            ++times.failures;
    }
    times.ran = true;
    return times;
}

PeerTimes checkIcmpTimes(const std::string &address, unsigned count)
{
    const std::string program = findProgram("check_icmp");
    if (program.empty())
        return missing("check_icmp");
    PeerTimes times;
    for (unsigned i = 0; i < count; ++i) {
        const RunResult r = runProgram({program, "-H", address, "-n", "1", "-w", "1000,100%", "-c", "2000,100%"}, 10000);
        double rta = 0;
        if (r.exitCode == 0 && numberAfter(r.output, "rta=", rta))
            times.timesMs.push_back(rta);
        else
            ++times.failures;
    }
    times.ran = true;
    return times;
}

PeerTimes httpingTimes(std::uint16_t port, unsigned count, unsigned intervalMs)
{
    const std::string program = findProgram("httping");
    if (program.empty())
        return missing("httping");
    PeerTimes times;
    char interval[32];
    std::snprintf(interval, sizeof interval, "%.3f", intervalMs / 1000.0);
    const RunResult r =
        runProgram({program, "-c", std::to_string(count), "-i", interval, "-g",
                    "http://127.0.0.1:" + std::to_string(port) + "/"},
                   count * (intervalMs + 200) + 10000);
    if (!r.started || r.timedOut) {
        times.note = r.timedOut ? "timed out" : "could not be started";
        return times;
    }
    // "connected to 127.0.0.1:N (63 bytes), seq=0 time=  5.12 ms"
    std::istringstream in(r.output);
    std::size_t connects = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("connected to", 0) != 0)
            continue;
        ++connects;
        double value = 0;
        if (numberAfter(line, "time=", value))
            times.timesMs.push_back(value);
        else
            ++times.failures;
    }
    if (connects < count)
        times.failures += count - connects;
    times.note = "10 us steps; includes the connect";
    times.ran = true;
    return times;
}

// Runs one check per run of argv, count times, and takes the seconds each
// run printed after "time=".
PeerTimes timedRuns(const std::vector<std::string> &argv, unsigned count, const char *note)
{
    PeerTimes times;
    for (unsigned i = 0; i < count; ++i) {
        const RunResult r = runProgram(argv, 10000);
        double seconds = 0;
        if (r.exitCode == 0 && numberAfter(r.output, "time=", seconds))
            times.timesMs.push_back(seconds * 1000.0);
        else
            ++times.failures;
    }
    times.note = note;
    times.ran = true;
    return times;
}

PeerTimes checkHttpTimes(std::uint16_t port, unsigned count)
{
    const std::string program = findProgram("check_http");
    if (program.empty())
        return missing("check_http");
    return timedRuns({program, "-H", "127.0.0.1", "-p", std::to_string(port), "-j", "HEAD"}, count,
                     "includes the connect");
}

PeerTimes checkHttpsTimes(std::uint16_t port, unsigned count)
{
    const std::string program = findProgram("check_http");
    if (program.empty())
        return missing("check_http");
    return timedRuns({program, "-S", "-H", "127.0.0.1", "-p", std::to_string(port), "-j", "HEAD"}, count,
                     "includes the connect and handshake; does not verify");
}

PeerTimes curlHttpsTimes(std::uint16_t port, const std::string &trustFile, unsigned count)
{
    const std::string program = findProgram("curl");
    if (program.empty())
        return missing("curl");
    return timedRuns({program, "-s", "-o", "/dev/null", "-I", "--cacert", trustFile, "-w", "time=%{time_total}\n",
                      "https://127.0.0.1:" + std::to_string(port) + "/"},
                     count, "includes the connect and handshake; verifies");
}

PeerTimes curlHandshakeTimes(std::uint16_t port, const std::string &trustFile, unsigned count)
{
    const std::string program = findProgram("curl");
    if (program.empty())
        return missing("curl");
    return timedRuns({program, "-s", "-o", "/dev/null", "-I", "--cacert", trustFile, "-w", "time=%{time_appconnect}\n",
                      "https://127.0.0.1:" + std::to_string(port) + "/"},
                     count, "to the handshake's end (time_appconnect); verifies");
}

ScanRun nmapConnectScan(const std::vector<std::uint16_t> &ports)
{
    ScanRun scan;
    const std::string program = findProgram("nmap");
    if (program.empty()) {
        scan.note = "not installed (nmap; scripts/bench.sh installs it)";
        return scan;
    }
    std::string list;
    for (const std::uint16_t port : ports)
        list += (list.empty() ? "" : ",") + std::to_string(port);
    const RunResult r =
        runProgram({program, "-sT", "-n", "-Pn", "--max-retries", "0", "-p", list, "127.0.0.1"}, 120000);
    if (!r.started || r.timedOut) {
        scan.note = r.timedOut ? "timed out" : "could not be started";
        return scan;
    }
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);) {
        if (line.find("/tcp") != std::string::npos && line.find(" open ") != std::string::npos)
            ++scan.open;
    }
    double seconds = 0;
    if (numberAfter(r.output, "scanned in ", seconds))
        scan.reportedMs = seconds * 1000.0;
    scan.wallMs = double(r.wallMicros) / 1000.0;
    scan.ran = r.exitCode == 0;
    if (!scan.ran)
        scan.note = "exit " + std::to_string(r.exitCode) + ": " + r.output.substr(0, 200);
    return scan;
}

WaitRun fpingDeadHost(const std::string &address, unsigned waitMs)
{
    WaitRun run;
    const std::string program = findProgram("fping");
    if (program.empty()) {
        run.note = "not installed (fping)";
        return run;
    }
    const RunResult r = runProgram({program, "-r", "0", "-t", std::to_string(waitMs), address}, waitMs + 10000);
    if (!r.started || r.timedOut) {
        run.note = r.timedOut ? "timed out" : "could not be started";
        return run;
    }
    run.ran = true;
    run.cpuMs = double(r.cpuMicros) / 1000.0;
    run.wallMs = double(r.wallMicros) / 1000.0;
    if (r.exitCode == 0)
        run.note = "the dead host answered?";
    return run;
}

WaitRun checkIcmpDeadHost(const std::string &address, unsigned waitMs)
{
    WaitRun run;
    const std::string program = findProgram("check_icmp");
    if (program.empty()) {
        run.note = "not installed (check_icmp)";
        return run;
    }
    const std::string limit = std::to_string(waitMs);
    const RunResult r = runProgram({program, "-H", address, "-n", "1", "-t", std::to_string((waitMs + 999) / 1000),
                                    "-w", limit + ",100%", "-c", limit + ",100%"},
                                   waitMs + 10000);
    if (!r.started || r.timedOut) {
        run.note = r.timedOut ? "timed out" : "could not be started";
        return run;
    }
    run.ran = true;
    run.cpuMs = double(r.cpuMicros) / 1000.0;
    run.wallMs = double(r.wallMicros) / 1000.0;
    return run;
}

} // namespace vigilon::bench
