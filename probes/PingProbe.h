// SPDX-License-Identifier: MIT
#pragma once

#include "probes/IcmpSockets.h"
#include "probes/SocketProbe.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace vigilon {

namespace ping {
constexpr unsigned ReplyWaitMs = 2000;
constexpr std::size_t ReceiveSize = 8226;
constexpr int Ttl = 64;
constexpr std::size_t DataSize = 4;
constexpr std::size_t RequestSize = DataSize + 14; // 18 bytes
constexpr std::uint16_t EchoPort = 7;
// Datagrams read in one pass over a readable socket; the rest waits for
// the next pass, so a flood cannot hold the loop.
constexpr unsigned ReadsPerPass = 256;
using Request = std::array<std::uint8_t, RequestSize>;
} // namespace ping

// What decided a PING check, and what it skipped on the way.
struct PingReply {
    net::NetAddress source; // sender of the deciding message
    int type = -1;          // ICMP (ICMPv6) type of the deciding message, -1: none
    int code = -1;          // filled in for destination unreachable
    std::string text;       // for destination unreachable: the text of its code
    unsigned skipped = 0;   // datagrams that did not belong to this request
};

// One ICMP echo check (an ICMPv6 echo for an IPv6 target), on the event
// loop like the socket probes (see CSocketProbe): the name is looked up
// through the resolver, one echo request goes out, and the socket is
// watched on the event loop; the deadline timer bounds the lookup at the
// entry's timeout and then the wait for the reply at 2000 ms from the send
// (at its timeout, where the entry has one of its own). Answered or
// Failed is reported; on success the response time runs from right before
// the send to the kernel's receive stamp of the reply, on failure it is 0.
//
// The socket is a raw ICMP socket where the process may open one, else an
// ICMP datagram socket where the system allows them to the process's group
// (net.ipv4.ping_group_range, which rules ICMPv6 datagram sockets too).
// On Windows, where raw sockets are refused (a user without administrator
// rights), the system's ICMP helper functions make the echo instead, and
// their answer comes on the loop (net::icmp::startSystemEcho); the check
// is then timed from right before the request to when the system saw it
// end. Where none of these can be had, the check fails from inside start()
// as not permitted, and one line on standard error says which right is
// missing (once per process);
// where the system has no such sockets at all (no ICMPv6), the check is a
// local failure (see CSocketProbe).
//
// Only an echo reply from the target to this very request (identifier,
// sequence and data; on a datagram socket the identifier is the kernel's) is
// success, and only a destination-unreachable or time-exceeded message, from
// whichever router, that quotes this request is failure; everything else is
// skipped (on Linux a raw ICMPv6 socket lets only those three types in). A
// raw socket sees every ICMP message that reaches the host, the replies to
// other checks included, so no two requests of the process that may wait at
// the same time are alike (see nextRequestStamp()), and none can be guessed:
// the identifier is drawn at random once per process, the data holds a
// random number drawn for each request.
class CPingProbe final : public CSocketProbe {
public:
    // AsUnprivileged: as where raw sockets are refused (tests take the
    // path of a user without the right).
    enum SocketChoice { AnySocket, RawOnly, DatagramOnly, AsUnprivileged };

    explicit CPingProbe(ProbeHost &owner, HostResolver *resolver = nullptr);

    // The port plays no part.
    int start(std::uint32_t port, const std::string &host, MonitorPort &entry) override;

    // Which socket kinds the check may use (tests force one).
    void setSocketChoice(SocketChoice choice) { choice_ = choice; }
    bool datagramSocket() const { return datagram_; }
    // The system's helper functions make the echo.
    bool systemEcho() const { return systemEcho_; }
    const PingReply &reply() const { return reply_; }
    // The request as sent.
    const ping::Request &request() const { return request_; }

    // Judges one datagram read from the socket against the request sent:
    // 1 success, 0 failure, -1 not ours. Fills in reply on 1 and 0.
    int judge(const std::uint8_t *data, std::size_t size, const net::NetAddress &source, PingReply &reply) const;

    // The echo request: type 8, code 0, checksum, identifier and sequence
    // (little-endian) at offsets 4 and 6, 0x51 at 8, the nonce
    // (little-endian) at 10, zeros elsewhere. ICMPv6: type 128 and the
    // checksum left 0; the system fills it in, as it covers the addresses.
    static ping::Request buildRequest(std::uint16_t identifier, std::uint16_t sequence, std::uint32_t nonce,
                                      bool ipv6 = false);
    // RFC 1071 checksum over data, words in host byte order.
    static std::uint16_t checksum(const std::uint8_t *data, std::size_t size);
    // The diagnostic text for a destination-unreachable code, of ICMP and
    // of ICMPv6.
    static const char *unreachableText(int code);
    static const char *unreachableText6(int code);
    // The stamp of the next request of the process, whose low half is its
    // sequence number: the millisecond tick, or one more than the stamp
    // before when the tick has not moved past it, so that no stamp comes
    // twice.
    static std::uint32_t nextRequestStamp(std::uint32_t tickMs);

protected:
    int socketType() const override;
    int openSocket() override;
    unsigned firstEvents() const override;
    // Sends the request.
    int beginAsync() override;
    void onSocket(unsigned events, int error) override;
    void onTimeout() override;
    // How long the reply is waited for after the send: the entry's own
    // timeout, else ping::ReplyWaitMs.
    unsigned replyWaitMs() const { return entry_ && entry_->timeoutMs != 0 ? entry_->timeoutMs : ping::ReplyWaitMs; }

private:
    // Judges the next message of a datagram socket's error queue: 0 failure,
    // -1 not ours, -2 the queue is empty.
    int judgeErrorQueue();
    void finish(int outcome, std::uint64_t arrivedMicros);
    int beginSystemEcho();
    void onSystemEcho(const net::icmp::EchoAnswer &answer);

    SocketChoice choice_ = AnySocket;
    bool datagram_ = false;
    bool systemEcho_ = false;
    std::unique_ptr<net::icmp::SystemEcho> echo_;
    std::uint16_t kernelIdent_ = 0; // datagram socket: the identifier the kernel puts in
    ping::Request request_{};
    PingReply reply_;
};

} // namespace vigilon
