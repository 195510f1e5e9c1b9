// SPDX-License-Identifier: MIT
#pragma once

#include "probes/DnsAnswer.h"
#include "probes/SocketProbe.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct ares_channeldata;

namespace vigilon {

namespace probe {
// The resolver library's own timer (its retries over UDP), beside the
// check's deadline.
constexpr unsigned DnsLibraryTimer = 11;
} // namespace probe

// One check of a DNS entry: the entry's host (looked up as every check's
// host is) is a DNS server, asked at the entry's port for the entry's name
// and record type. The query goes over UDP, and again over TCP when the
// answer came truncated; c-ares sends it and parses the answer, driven by
// this loop: the sockets it opens are watched on the loop, its timeouts are
// a loop timer, and nothing blocks.
//
// The check passes when the server answers with records of the type that
// meet the entry's expectation (any, these among them, exactly these); it
// fails as NXDOMAIN, SERVFAIL, REFUSED, no answer, answer differs (with
// what came) or timed out. The response time runs from the query's send to
// the arrival of the answer that decided it.
class CDnsProbe final : public CSocketProbe {
public:
    explicit CDnsProbe(ProbeHost &owner, HostResolver *resolver = nullptr);
    ~CDnsProbe() override;

    int start(std::uint32_t port, const std::string &host, MonitorPort &entry) override;

protected:
    int socketType() const override;
    // The library opens its own sockets: the probe holds none.
    int openSocket() override;
    unsigned firstEvents() const override { return 0; }
    int beginAsync() override;
    void onSocket(unsigned, int) override {}
    void onTimeout() override;

private:
    // The library's callbacks.
    struct Library;
    void onLibrarySocket(int socket, unsigned events);
    void onLibraryTimer();
    // After every call into the library: the answer, if it came, ends the
    // check; else the library's next timeout is set on the loop.
    void settle();
    void closeChannel();
    void judge();

    ares_channeldata *channel_ = nullptr;
    std::set<int> watched_;
    std::string name_;
    int type_ = 0;
    dns::Expectation expectation_;
    bool answered_ = false;
    int status_ = 0;
    std::vector<unsigned char> answer_;
    // When the loop saw the socket ready that brought the answer.
    std::uint64_t seenMicros_ = 0;
};

// The answers of a reply to a query of type (dns::typeCode()) as the
// expectations write them, parsed by c-ares; status: the library's, as its
// parsers return it.
std::vector<std::string> dnsAnswers(int type, const unsigned char *reply, int length, int &status);

} // namespace vigilon
