// SPDX-License-Identifier: MIT
#pragma once

#include "app/base/MonitorPort.h"
#include "app/base/ProbeHost.h"
#include "probes/HostResolver.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vigilon {

namespace ping {
constexpr unsigned GuardTimerId = 6;
constexpr unsigned GuardMs = 3000;
constexpr unsigned ReplyWaitMs = 2000;
constexpr std::size_t ReceiveSize = 8226;
constexpr int Ttl = 64;
constexpr std::size_t DataSize = 4;
constexpr std::size_t RequestSize = DataSize + 14; // 18 bytes
constexpr std::uint16_t EchoPort = 7;
} // namespace ping

// What the reply step yields.
struct PingReply {
    std::uint32_t source = 0;          // network byte order
    std::uint32_t roundTripTime = 0;   // ms, rounded; 0 on failure
    std::uint64_t roundTripMicros = 0; // 0 on failure
    int type = -1;                     // ICMP type of the deciding message, -1: none
    int code = -1;                     // filled in for type 3
    std::string text;                  // for type 3: the text of its code
    unsigned skipped = 0;              // datagrams that did not belong to this request
};

// One ICMP echo check. Synchronous: open(), sendEcho() and receiveReply()
// each return when their step is over; the event loop is not run.
//
// The socket is a raw ICMP socket where the process may open one, else an
// ICMP datagram socket where the system allows them to the process's group
// (net.ipv4.ping_group_range). Where neither can be had, open() fails and
// one line on standard error says which right is missing (once per process).
//
// Only an echo reply to this very request (identifier, sequence and data;
// on a datagram socket the identifier is the kernel's) is success, and only
// a destination-unreachable or time-exceeded message that quotes this
// request is failure; everything else is skipped while the reply wait runs.
// The wait sleeps in poll(). The round trip is timed from our own send time
// to the kernel's receive stamp of the reply.
class CPingProbe {
public:
    enum SocketChoice { AnySocket, RawOnly, DatagramOnly };

    explicit CPingProbe(ProbeHost &owner, HostResolver *resolver = nullptr);
    ~CPingProbe();
    CPingProbe(const CPingProbe &) = delete;
    CPingProbe &operator=(const CPingProbe &) = delete;

    // Which socket kinds open() may use (tests force one).
    void setSocketChoice(SocketChoice choice) { choice_ = choice; }

    // Creates the buffer and the socket and resolves host (a dotted address
    // or a name, the lookup bounded by 3000 ms). 1 or 0.
    int open(const std::string &host);
    // Sets the time-to-live and sends the echo request. 1 or 0.
    int sendEcho(int ttl);
    // Waits up to 2000 ms after the send for the answer to the request.
    // 1 success (echo reply), 0 failure.
    int receiveReply(PingReply &reply);
    // Closes the socket (the guard's discard).
    void close();

    int socketHandle() const { return socket_; }
    bool datagramSocket() const { return datagram_; }
    bool localFailure() const { return localError_ != 0; }
    std::uint32_t sendTick() const { return sendTick_; }
    // The request as last built, 18 bytes.
    const std::array<std::uint8_t, ping::RequestSize> &request() const { return request_; }

    // The echo request for a send tick: type 8, code 0, checksum, the tick
    // (little-endian) at offsets 4 and 10, 0x51 at 8, zeros elsewhere.
    static std::array<std::uint8_t, ping::RequestSize> buildRequest(std::uint32_t sendTick);
    // RFC 1071 checksum over data, words in host byte order.
    static std::uint16_t checksum(const std::uint8_t *data, std::size_t size);
    // The diagnostic text for a destination-unreachable code.
    static const char *unreachableText(int code);

private:
    bool openSocket();
    // Judges one datagram: 1 success, 0 failure, -1 not ours.
    int judge(const std::uint8_t *data, std::size_t size, std::uint32_t source, PingReply &reply);
    int judgeErrorQueue(PingReply &reply);

    ProbeHost &owner_;
    HostResolver *resolver_;
    std::unique_ptr<HostResolver> ownResolver_;
    SocketChoice choice_ = AnySocket;
    int socket_ = -1;
    bool datagram_ = false;
    int localError_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::uint32_t destination_ = 0xffffffffu;
    std::uint32_t sendTick_ = 0;
    std::uint64_t sendMicros_ = 0;
    std::uint16_t kernelIdent_ = 0; // datagram socket: the identifier the kernel puts in
    std::array<std::uint8_t, ping::RequestSize> request_{};
};

// The frame's side of an ICMP check, in place of its guard timer 6 and its
// WM_USER+4 notification. The check is synchronous: the loop does not run
// while it waits, so the guard can only take effect when something nests the
// loop; on its expiry the frame calls CPingCheck::cancel().
class PingGuard {
public:
    virtual ~PingGuard() = default;
    // The check begins: arm the guard (timer 6, 3000 ms).
    virtual void pingGuardArm() = 0;
    // A datagram reached the check's socket (WM_USER+4 with FD_READ and no
    // error): the frame kills timer 6.
    virtual void pingSocketReadable() = 0;
    // The check is over: kill timer 6.
    virtual void pingGuardKill() = 0;
};

// The engine's whole ICMP check of an entry: at most one probe at a time,
// made, opened, sent, waited for and destroyed within run().
class CPingCheck {
public:
    explicit CPingCheck(ProbeHost &owner, PingGuard *guard = nullptr, HostResolver *resolver = nullptr);
    ~CPingCheck();

    // Runs the check: 1 on an echo reply, 0 otherwise. Sets the entry's
    // responseTime (0 on failure) and responseMicros.
    int run(const std::string &host, MonitorPort &entry);
    // Discards a probe still held (guard expiry, stop of monitoring).
    void cancel();
    bool active() const { return probe_ != nullptr; }
    // Whether the last run failed for want of a local resource (no socket
    // descriptor, no buffer, no right to an ICMP socket).
    bool localFailure() const { return localFailure_; }
    const PingReply &lastReply() const { return lastReply_; }
    void setSocketChoice(CPingProbe::SocketChoice choice) { choice_ = choice; }

private:
    ProbeHost &owner_;
    PingGuard *guard_;
    HostResolver *resolver_;
    std::unique_ptr<CPingProbe> probe_;
    PingReply lastReply_;
    bool localFailure_ = false;
    CPingProbe::SocketChoice choice_ = CPingProbe::AnySocket;
};

} // namespace vigilon
