// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vigilon::bench {

// What one command-line checker reported over a series of checks.
struct PeerTimes {
    bool ran = false;
    std::string note;           // why it did not run, or a remark
    std::vector<double> timesMs; // each check's reported time
    std::size_t failures = 0;    // checks with no time
};

// fping -C count: one process, one request every periodMs.
PeerTimes fpingTimes(const std::string &address, unsigned count, unsigned periodMs);
// check_icmp -n 1, one process per check.
PeerTimes checkIcmpTimes(const std::string &address, unsigned count);
// httping -c count against http://127.0.0.1:port/, one process.
PeerTimes httpingTimes(std::uint16_t port, unsigned count, unsigned intervalMs);
// check_http -j HEAD, one process per check.
PeerTimes checkHttpTimes(std::uint16_t port, unsigned count);
// check_http -S and curl on an HTTPS responder on 127.0.0.1; curl trusts
// trustFile only.
PeerTimes checkHttpsTimes(std::uint16_t port, unsigned count);
PeerTimes curlHttpsTimes(std::uint16_t port, const std::string &trustFile, unsigned count);
// curl's own time to the end of the TLS handshake, from its start: the
// connect and the handshake, as a TLS entry's check measures them.
PeerTimes curlHandshakeTimes(std::uint16_t port, const std::string &trustFile, unsigned count);

// nmap -sT over the given loopback ports.
struct ScanRun {
    bool ran = false;
    std::string note;
    double wallMs = 0;      // the process from start to end
    double reportedMs = 0;  // nmap's own "scanned in" (10 ms steps)
    std::size_t open = 0;
};
ScanRun nmapConnectScan(const std::vector<std::uint16_t> &ports);

// One check of a host that never answers, waiting waitMs.
struct WaitRun {
    bool ran = false;
    std::string note;
    double cpuMs = 0;
    double wallMs = 0;
};
WaitRun fpingDeadHost(const std::string &address, unsigned waitMs);
WaitRun checkIcmpDeadHost(const std::string &address, unsigned waitMs);

} // namespace vigilon::bench
