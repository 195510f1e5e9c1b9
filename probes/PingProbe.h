// SPDX-License-Identifier: MIT
#pragma once

#include "probes/IcmpSockets.h"
#include "probes/SocketProbe.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

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
// How long a shared socket stays open after its last check has ended.
constexpr unsigned SharedLingerMs = 1000;
// The receive buffer a shared socket asks for, and what it counts for each
// check that may have a reply in it (a reply takes about 830 bytes of it on
// Linux; the rest is room for other ICMP messages).
constexpr int SharedBufferBytes = 4 << 20;
constexpr int SharedBytesPerCheck = 2048;
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

class CPingProbe;

// The raw ICMP socket of each family that the PING checks of one event loop
// share: each check sends its request from it, and each message read is
// handed to the check waiting for the sequence number it carries (an echo
// reply's own, or that of the request an error quotes). So a round of many
// PING checks opens one socket per family instead of one per check, and
// each reply is read once instead of once by every check under way. A
// socket is opened for the first check that asks and closed a second after
// the last has let go of it (ping::SharedLingerMs): a round's checks go out
// in slices, and their replies may all be in before the next slice, while
// nothing wakes the loop long after a round. Where the
// system refuses the process raw sockets, the refusal is kept and the checks
// fall back to sockets of their own (see CPingProbe). So do the checks
// beyond as many as the socket's receive buffer holds the replies of
// (ping::SharedBytesPerCheck each): replies that came while the loop was
// busy would be dropped once it is full, where sockets of their own keep
// them.
class PingSockets : public std::enable_shared_from_this<PingSockets> {
public:
    // maxChecks: fewer checks than the buffer holds (tests).
    explicit PingSockets(EventLoop &loop, unsigned maxChecks = ~0u);
    ~PingSockets();
    PingSockets(const PingSockets &) = delete;
    PingSockets &operator=(const PingSockets &) = delete;

    // A use of the family's socket: its descriptor, or -1 with error telling
    // why the socket could not be had (0: it has as many checks as it can
    // take).
    int acquire(int family, int &error);
    void release(int family);
    // The check is handed what carries this sequence number until it
    // leaves; clock: the checks' clock, for readiness times.
    void wait(std::uint16_t sequence, CPingProbe &probe, const Clock &clock);
    void leave(std::uint16_t sequence, CPingProbe &probe);
    bool isOpen(int family) const { return family == AF_INET6 ? v6_.fd >= 0 : v4_.fd >= 0; }

    // The sequence number a message read from a raw socket of the family is
    // about, -1 where it is none of an echo's.
    static int sequenceOf(const std::uint8_t *data, std::size_t size, int family);

private:
    struct Family {
        int family = AF_INET;
        int fd = -1;
        unsigned users = 0;
        unsigned capacity = 0; // the checks it may serve at once
        int refusal = 0;       // the lasting refusal of a right
    };
    Family &of(int family) { return family == AF_INET6 ? v6_ : v4_; }
    void onReadable(Family &socket);
    // Arms the close of the sockets that have no check left.
    void lingerIfUnused(const Family &socket);
    void closeUnused();

    EventLoop &loop_;
    const unsigned maxChecks_;
    const Clock *clock_ = nullptr;
    bool lingering_ = false;
    Family v4_, v6_;
    std::unordered_multimap<std::uint16_t, CPingProbe *> waiting_;
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
// Given the PING sockets of its loop, the check uses their shared raw socket
// in place of one of its own.
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

    explicit CPingProbe(ProbeHost &owner, HostResolver *resolver = nullptr,
                        std::shared_ptr<PingSockets> shared = nullptr);
    ~CPingProbe() override;

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
    friend class PingSockets;
    // A message with this check's sequence number, read from the shared
    // socket: true when it decided the check (which has then reported).
    bool takeShared(const std::uint8_t *data, std::size_t size, const net::NetAddress &source,
                    std::uint64_t arrivedMicros);
    // Lets go of the shared socket, and of the wait for the answer.
    void dropShared();
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
    std::shared_ptr<PingSockets> shared_;
    int sharedFamily_ = 0; // the family of the shared socket in use, 0: none
    int sharedSocket_ = -1;
    bool waitingShared_ = false;
    std::uint16_t kernelIdent_ = 0; // datagram socket: the identifier the kernel puts in
    ping::Request request_{};
    PingReply reply_;
};

} // namespace vigilon
