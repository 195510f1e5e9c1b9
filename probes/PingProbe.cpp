// SPDX-License-Identifier: MIT
#include "probes/PingProbe.h"

#include "probes/IcmpSockets.h"
#include "probes/SocketUtil.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

namespace vigilon {

namespace {
// The message types that a check meets, by family.
struct IcmpTypes {
    std::uint8_t echoReply, unreachable, echoRequest, timeExceeded;
};
constexpr IcmpTypes Icmp4{0, 3, 8, 11};
constexpr IcmpTypes Icmp6{129, 1, 128, 3};

const IcmpTypes &typesOf(int family)
{
    return family == AF_INET6 ? Icmp6 : Icmp4;
}

void sayNoIcmpRight()
{
    static std::atomic<bool> said{false};
    if (!said.exchange(true))
        net::icmp::sayNoRight();
}

// Random numbers from the system's source; the identifier is drawn once.
std::uint32_t randomNumber()
{
    static std::mutex mutex;
    static std::random_device source;
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<std::uint32_t>(source());
}

std::uint16_t processIdentifier()
{
    static const std::uint16_t identifier = static_cast<std::uint16_t>(randomNumber());
    return identifier;
}

std::uint16_t sequenceAt(const std::uint8_t *echo)
{
    return static_cast<std::uint16_t>(echo[6] | echo[7] << 8);
}

void putLittleEndian(std::uint8_t *at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
    at[2] = static_cast<std::uint8_t>(value >> 16);
    at[3] = static_cast<std::uint8_t>(value >> 24);
}
// A raw ICMP (ICMPv6) socket that takes in only what can decide a check:
// unfiltered, it would see every ICMP message that reaches the host (the
// echo requests of the checks beside it, and for ICMPv6 all the neighbour
// discovery of the links).
int openRawSocket(int family)
{
    const int fd = net::openSocket(SOCK_RAW, family == AF_INET6 ? int(IPPROTO_ICMPV6) : int(IPPROTO_ICMP), family);
    if (fd >= 0) {
        const IcmpTypes &types = typesOf(family);
        net::icmp::passOnly(fd, family, types.echoReply, types.unreachable, types.timeExceeded);
    }
    return fd;
}

bool setHopLimit(int fd, int family)
{
    const int ttl = ping::Ttl;
    const bool ipv6 = family == AF_INET6;
    return setsockopt(fd, ipv6 ? IPPROTO_IPV6 : IPPROTO_IP, ipv6 ? IPV6_UNICAST_HOPS : IP_TTL,
                      reinterpret_cast<const char *>(&ttl), sizeof ttl) == 0;
}

// Reads one datagram of a PING socket into buffer (ping::ReceiveSize):
// its size, 0 when the read only reported an error pending on the socket
// (read on), -1 when nothing more is there now. arrived: as
// net::receiveStamped() has it.
ssize_t receiveOne(int fd, std::uint8_t *buffer, std::uint64_t seen, std::uint64_t &arrived,
                   net::NetAddress &source)
{
    sockaddr_storage from{};
    socklen_t fromLength = sizeof from;
    const ssize_t got = net::receiveStamped(fd, buffer, ping::ReceiveSize, 0, reinterpret_cast<sockaddr *>(&from),
                                            &fromLength, seen, arrived);
    if (got < 0) {
        const int error = net::lastError();
        // A pending ICMP error on the socket is reported by a read; the
        // message itself is judged where it is read (the raw socket's data,
        // the datagram socket's error queue).
        const bool pendingError =
            error == net::code::Refused || error == net::code::Reset || net::icmp::isPendingError(error);
        return pendingError || error == net::code::Interrupted ? 0 : -1;
    }
    source = net::NetAddress::fromSocket(reinterpret_cast<const sockaddr *>(&from), fromLength);
    return got;
}
} // namespace

std::uint16_t CPingProbe::checksum(const std::uint8_t *data, std::size_t size)
{
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < size; i += 2) {
        std::uint16_t word;
        std::memcpy(&word, data + i, 2);
        sum += word;
    }
    if (i < size) {
        std::uint16_t word = 0;
        std::memcpy(&word, data + i, 1);
        sum += word;
    }
    sum = (sum >> 16) + (sum & 0xffffu);
    sum += sum >> 16;
    return static_cast<std::uint16_t>(~sum);
}

ping::Request CPingProbe::buildRequest(std::uint16_t identifier, std::uint16_t sequence, std::uint32_t nonce,
                                       bool ipv6)
{
    ping::Request message{};
    message[0] = ipv6 ? Icmp6.echoRequest : Icmp4.echoRequest;
    message[1] = 0;
    putLittleEndian(&message[4], identifier | std::uint32_t(sequence) << 16);
    message[8] = 0x51;
    message[9] = 0;
    putLittleEndian(&message[10], nonce);
    if (!ipv6) {
        const std::uint16_t sum = checksum(message.data(), ping::DataSize + 10);
        std::memcpy(&message[2], &sum, 2);
    }
    return message;
}

const char *CPingProbe::unreachableText(int code)
{
    return icmpUnreachableText(code);
}

const char *CPingProbe::unreachableText6(int code)
{
    return icmp6UnreachableText(code);
}

std::uint32_t CPingProbe::nextRequestStamp(std::uint32_t tickMs)
{
    static std::atomic<std::uint32_t> last{0};
    std::uint32_t previous = last.load();
    std::uint32_t next = 0;
    do {
        // Ticks are compared through their 32-bit difference; they wrap.
        next = static_cast<std::int32_t>(tickMs - previous) > 0 ? tickMs : previous + 1;
    } while (!last.compare_exchange_weak(previous, next));
    return next;
}

PingSockets::PingSockets(EventLoop &loop, unsigned maxChecks) : loop_(loop), maxChecks_(maxChecks)
{
    v6_.family = AF_INET6;
}

PingSockets::~PingSockets()
{
    loop_.killTimers(this);
    for (Family *socket : {&v4_, &v6_}) {
        if (socket->fd >= 0)
            loop_.unwatchSocket(socket->fd);
        net::closeSocket(socket->fd);
    }
}

int PingSockets::acquire(int family, int &error)
{
    Family &socket = of(family);
    if (socket.fd < 0) {
        if (socket.refusal != 0) {
            error = socket.refusal;
            return -1;
        }
        const int fd = openRawSocket(family);
        if (fd < 0) {
            error = net::lastError();
            // The process keeps or lacks the right for good.
            if (net::icmp::isRefusedRight(error))
                socket.refusal = error;
            return -1;
        }
        if (!setHopLimit(fd, family)) {
            error = net::lastError();
            int dropped = fd;
            net::closeSocket(dropped);
            return -1;
        }
        // The system may give less than asked (Linux: net.core.rmem_max).
        int buffer = ping::SharedBufferBytes;
        socklen_t length = sizeof buffer;
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char *>(&buffer), sizeof buffer);
        if (getsockopt(fd, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char *>(&buffer), &length) != 0)
            buffer = 0;
        socket.capacity = std::min(maxChecks_, unsigned(std::max(buffer, 0) / ping::SharedBytesPerCheck));
        net::enableReceiveStamps(fd);
        socket.fd = fd;
        loop_.watchSocket(fd, EventLoop::Readable, [this, &socket](unsigned events, int) {
            if (events & (EventLoop::Readable | EventLoop::Closed))
                onReadable(socket);
        });
    }
    if (socket.users >= socket.capacity) {
        error = 0;
        return -1;
    }
    ++socket.users;
    return socket.fd;
}

void PingSockets::release(int family)
{
    Family &socket = of(family);
    if (socket.users > 0)
        --socket.users;
    lingerIfUnused(socket);
}

void PingSockets::lingerIfUnused(const Family &socket)
{
    if (socket.users != 0 || socket.fd < 0 || lingering_)
        return;
    lingering_ = true;
    loop_.setTimer(this, 1, ping::SharedLingerMs, [this] { closeUnused(); });
}

void PingSockets::closeUnused()
{
    loop_.killTimer(this, 1);
    lingering_ = false;
    for (Family *socket : {&v4_, &v6_}) {
        if (socket->fd >= 0 && socket->users == 0) {
            loop_.unwatchSocket(socket->fd);
            net::closeSocket(socket->fd);
        }
    }
    // A socket still in use is looked at again once it is let go.
}

void PingSockets::wait(std::uint16_t sequence, CPingProbe &probe, const Clock &clock)
{
    clock_ = &clock;
    waiting_.emplace(sequence, &probe);
}

void PingSockets::leave(std::uint16_t sequence, CPingProbe &probe)
{
    auto [first, last] = waiting_.equal_range(sequence);
    for (auto at = first; at != last; ++at) {
        if (at->second == &probe) {
            waiting_.erase(at);
            return;
        }
    }
}

int PingSockets::sequenceOf(const std::uint8_t *data, std::size_t size, int family)
{
    const bool ipv6 = family == AF_INET6;
    const IcmpTypes &types = typesOf(family);
    std::size_t header = 0;
    if (!ipv6) {
        // A raw IPv4 socket delivers the IP header first.
        if (size < 20 || (data[0] >> 4) != 4)
            return -1;
        header = std::size_t(data[0] & 0x0f) * 4;
    }
    if (size < header + 8)
        return -1;
    const std::uint8_t *icmp = data + header;
    if (icmp[0] == types.echoReply)
        return sequenceAt(icmp);
    if (icmp[0] != types.unreachable && icmp[0] != types.timeExceeded)
        return -1;
    // An error quotes the IP header of the request and the request's start.
    const std::uint8_t *quoted = icmp + 8;
    const std::size_t quotedSize = size - header - 8;
    if (quotedSize < 20)
        return -1;
    const std::size_t quotedHeader = ipv6 ? 40 : std::size_t(quoted[0] & 0x0f) * 4;
    if (quotedSize < quotedHeader + 8)
        return -1;
    return sequenceAt(quoted + quotedHeader);
}

void PingSockets::onReadable(Family &socket)
{
    // A check's report may let go of the last probe that holds these
    // sockets. The socket itself stays open while this reads: it is closed
    // by a timer only.
    const std::shared_ptr<PingSockets> keep = shared_from_this();
    std::uint64_t seen = 0;
    if (clock_) {
        const std::uint64_t now = clock_->monotonicMicros();
        seen = net::readinessTime(loop_, *clock_, now, 0);
    }
    std::uint8_t buffer[ping::ReceiveSize];
    for (unsigned read = 0; read < ping::ReadsPerPass; ++read) {
        std::uint64_t arrived = seen;
        net::NetAddress source;
        const ssize_t got = receiveOne(socket.fd, buffer, seen, arrived, source);
        if (got < 0)
            break;
        const int sequence = got == 0 ? -1 : sequenceOf(buffer, std::size_t(got), socket.family);
        if (sequence < 0)
            continue;
        auto [first, last] = waiting_.equal_range(static_cast<std::uint16_t>(sequence));
        for (auto at = first; at != last; ++at) {
            // The check that takes it has left the map: stop there.
            if (at->second->takeShared(buffer, std::size_t(got), source, arrived))
                break;
        }
    }
}

CPingProbe::CPingProbe(ProbeHost &owner, HostResolver *resolver, std::shared_ptr<PingSockets> shared)
    : CSocketProbe(owner, resolver), shared_(std::move(shared))
{
}

CPingProbe::~CPingProbe()
{
    dropShared();
}

void CPingProbe::dropShared()
{
    if (waitingShared_)
        shared_->leave(sequenceAt(request_.data()), *this);
    waitingShared_ = false;
    if (sharedFamily_ != 0)
        shared_->release(sharedFamily_);
    sharedFamily_ = 0;
    sharedSocket_ = -1;
}

bool CPingProbe::takeShared(const std::uint8_t *data, std::size_t size, const net::NetAddress &source,
                            std::uint64_t arrivedMicros)
{
    if (done_ != 0)
        return false;
    const int outcome = judge(data, size, source, reply_);
    if (outcome < 0) {
        ++reply_.skipped;
        return false;
    }
    finish(outcome, std::max(arrivedMicros, startMicros_));
    return true;
}

int CPingProbe::start(std::uint32_t port, const std::string &host, MonitorPort &entry)
{
    // Whatever ends the check short of a reply leaves no response time.
    entry.responseTime = 0;
    entry.responseMicros = 0;
    return CSocketProbe::start(port, host, entry);
}

int CPingProbe::socketType() const
{
    return SOCK_RAW;
}

unsigned CPingProbe::firstEvents() const
{
    return EventLoop::Readable;
}

int CPingProbe::openSocket()
{
    const bool ipv6 = family_ == AF_INET6;
    const int protocol = ipv6 ? int(IPPROTO_ICMPV6) : int(IPPROTO_ICMP);
    datagram_ = false;
    systemEcho_ = false;
    // Opened again for the family the lookup found.
    dropShared();
    int refusal = 0;
    bool rawRefused = choice_ == AsUnprivileged;
    if (shared_ && (choice_ == AnySocket || choice_ == RawOnly)) {
        sharedSocket_ = shared_->acquire(family_, refusal);
        if (sharedSocket_ >= 0) {
            sharedFamily_ = family_;
            return 1;
        }
        rawRefused = net::icmp::isRefusedRight(refusal);
    }
    // No shared socket, or it has all the checks it can take.
    if (refusal == 0 && (choice_ == AnySocket || choice_ == RawOnly)) {
        socket_ = openRawSocket(family_);
        if (socket_ < 0) {
            refusal = net::lastError();
            rawRefused = net::icmp::isRefusedRight(refusal);
        }
    }
    if (net::icmp::kDatagramSockets && socket_ < 0 && choice_ != RawOnly && !net::isLocalShortage(refusal)) {
        socket_ = net::icmp::openDatagram(protocol, family_);
        if (socket_ >= 0)
            datagram_ = true;
        else if (refusal == 0 || net::icmp::isRefusedRight(refusal) || net::isUnsupportedHere(refusal))
            refusal = net::lastError();
    }
    if (net::icmp::kSystemEcho && socket_ < 0 && rawRefused && choice_ != RawOnly) {
        // The system makes the echo when the request goes out.
        systemEcho_ = true;
        return 1;
    }
    if (socket_ < 0) {
        if (net::isLocalShortage(refusal))
            return refuseLocally(refusal, "cannot open the socket of a PING check");
        if (net::isUnsupportedHere(refusal))
            return refuseUnsupported(refusal, ipv6 ? "ICMPv6" : "ICMP");
        // No right to any ICMP socket: the check can never succeed here.
        if (rawRefused || net::icmp::isRefusedRight(refusal))
            sayNoIcmpRight();
        // Counted as a failure: nobody would learn otherwise that no PING
        // entry is checked.
        fail(FailureKind::NotPermitted);
        done_ = 1;
        return 0;
    }
    net::enableReceiveStamps(socket_);
    return 1;
}

int CPingProbe::beginSystemEcho()
{
    const bool ipv6 = family_ == AF_INET6;
    request_ = buildRequest(processIdentifier(), static_cast<std::uint16_t>(nextRequestStamp(owner_.clock().tickMs())),
                            randomNumber(), ipv6);
    // The system writes the message's header; the data is ours.
    constexpr std::size_t kHeader = 8;
    int error = 0;
    startMicros_ = nowMicros();
    echo_ = net::icmp::startSystemEcho(
        loop_, address_, request_.data() + kHeader, request_.size() - kHeader, ping::Ttl, replyWaitMs(),
        [this](const net::icmp::EchoAnswer &answer) { onSystemEcho(answer); }, error);
    if (echo_) {
        // The reply wait runs from the request; it replaces the deadline
        // of the lookup.
        armTimer(replyWaitMs());
        return 1;
    }
    killTimer();
    if (net::isLocalShortage(error))
        return refuseLocally(error, "cannot send the request of a PING check");
    // The helper functions refused: nothing here can make the echo.
    sayNoIcmpRight();
    fail(FailureKind::NotPermitted);
    done_ = 1;
    return 0;
}

void CPingProbe::onSystemEcho(const net::icmp::EchoAnswer &answer)
{
    if (done_ != 0)
        return;
    // No answer within the wait: the probe's own timer says so.
    if (answer.outcome == -1)
        return;
    if (answer.outcome < 0) {
        // The system did not let this user send it either.
        killTimer();
        echo_.reset();
        sayNoIcmpRight();
        done_ = 1;
        fail(FailureKind::NotPermitted);
        return;
    }
    reply_.source = answer.source;
    reply_.type = answer.outcome == 1 ? typesOf(family_).echoReply : answer.type;
    reply_.code = answer.code;
    if (answer.outcome == 0 && answer.type == typesOf(family_).unreachable)
        reply_.text = family_ == AF_INET6 ? unreachableText6(answer.code) : unreachableText(answer.code);
    finish(answer.outcome, std::max(answer.arrivedMicros, startMicros_));
}

int CPingProbe::beginAsync()
{
    if (systemEcho_)
        return beginSystemEcho();
    const bool ipv6 = family_ == AF_INET6;
    int error = 0;
    // The shared socket has its hop limit set once.
    const bool shared = sharedFamily_ != 0;
    const int fd = shared ? sharedSocket_ : socket_;
    if (shared || setHopLimit(socket_, family_)) {
        request_ = buildRequest(processIdentifier(),
                                static_cast<std::uint16_t>(nextRequestStamp(owner_.clock().tickMs())), randomNumber(),
                                ipv6);
        sockaddr_storage to{};
        // The echo port of old for IPv4; a raw IPv6 socket takes no port
        // other than 0 (or its protocol).
        const socklen_t toLength = address_.toSocket(ipv6 ? 0 : ping::EchoPort, to);
        startMicros_ = nowMicros();
        if (::sendto(fd, reinterpret_cast<const char *>(request_.data()), static_cast<int>(request_.size()),
                     MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&to), toLength) >= 0) {
            if (shared) {
                shared_->wait(sequenceAt(request_.data()), *this, owner_.clock());
                waitingShared_ = true;
            } else if (datagram_) {
                // The kernel's identifier is the socket's port, in either family.
                sockaddr_storage local{};
                socklen_t length = sizeof local;
                if (getsockname(socket_, reinterpret_cast<sockaddr *>(&local), &length) == 0) {
                    if (local.ss_family == AF_INET6)
                        kernelIdent_ = reinterpret_cast<const sockaddr_in6 &>(local).sin6_port;
                    else
                        kernelIdent_ = reinterpret_cast<const sockaddr_in &>(local).sin_port;
                }
            }
            // The reply wait runs from the send; it replaces the deadline
            // of the lookup.
            armTimer(replyWaitMs());
            return 1;
        }
        error = net::lastError();
    }
    killTimer();
    unwatch();
    net::closeSocket(socket_);
    dropShared();
    if (net::isLocalShortage(error))
        return refuseLocally(error, "cannot send the request of a PING check");
    fail(net::reasonOfError(error));
    done_ = 1;
    return 0;
}

void CPingProbe::onSocket(unsigned events, int)
{
    const std::uint64_t seen = seenMicros(startMicros_);
    if (done_ != 0 || !(events & (EventLoop::Readable | EventLoop::Closed)))
        return;
    std::uint8_t buffer[ping::ReceiveSize];
    std::uint64_t arrived = seen;
    int outcome = -1;
    for (unsigned read = 0; read < ping::ReadsPerPass && outcome < 0; ++read) {
        net::NetAddress source;
        const ssize_t got = receiveOne(socket_, buffer, seen, arrived, source);
        if (got < 0)
            break;
        if (got == 0)
            continue;
        outcome = judge(buffer, std::size_t(got), source, reply_);
        if (outcome < 0)
            ++reply_.skipped;
    }
    for (unsigned read = 0; datagram_ && read < ping::ReadsPerPass && outcome < 0; ++read) {
        const int queued = judgeErrorQueue();
        if (queued == -2)
            break;
        if (queued < 0)
            ++reply_.skipped;
        outcome = queued;
    }
    if (outcome >= 0)
        finish(outcome, arrived);
}

void CPingProbe::finish(int outcome, std::uint64_t arrivedMicros)
{
    killTimer();
    echo_.reset();
    unwatch();
    net::closeSocket(socket_);
    dropShared();
    if (outcome == 1)
        setResponse(arrivedMicros);
    done_ = 1;
    if (outcome == 1)
        report(ProbeResult::Answered);
    else
        fail(FailureReason::unreachable(reply_.type, reply_.code < 0 ? 0 : reply_.code, family_ == AF_INET6));
}

void CPingProbe::onTimeout()
{
    // Nothing that comes later is read: a raw socket left watched would
    // wake the loop for every ICMP message that reaches the host.
    echo_.reset();
    unwatch();
    net::closeSocket(socket_);
    dropShared();
}

int CPingProbe::judge(const std::uint8_t *data, std::size_t size, const net::NetAddress &source,
                      PingReply &reply) const
{
    const bool ipv6 = family_ == AF_INET6;
    const IcmpTypes &types = typesOf(family_);
    const std::uint8_t *icmp = data;
    std::size_t length = size;
    if (!datagram_ && !ipv6) {
        // A raw IPv4 socket delivers the IP header first; its length is in
        // the header, options included. A raw IPv6 socket delivers none.
        if (size < 20 || (data[0] >> 4) != 4)
            return -1;
        const std::size_t header = std::size_t(data[0] & 0x0f) * 4;
        if (header < 20 || size < header)
            return -1;
        icmp = data + header;
        length = size - header;
    }
    if (length < 8)
        return -1;
    const std::uint8_t type = icmp[0];

    // How much of the request has to come back: on a datagram socket the
    // kernel owns the identifier (bytes 4 and 5) and has filtered on it.
    const std::size_t from = datagram_ ? 6 : 4;
    if (type == types.echoReply) {
        // Only the target answers for itself: another host that sees the
        // request could copy it.
        if (source != address_ || length < ping::RequestSize || icmp[1] != 0)
            return -1;
        if (std::memcmp(icmp + from, request_.data() + from, ping::RequestSize - from) != 0)
            return -1;
        if (datagram_ && kernelIdent_ != 0 && std::memcmp(icmp + 4, &kernelIdent_, 2) != 0)
            return -1;
        reply.source = source;
        reply.type = type;
        return 1;
    }
    if (type == types.unreachable || type == types.timeExceeded) {
        // The message quotes the IP header and the start of the datagram
        // that caused it (IPv4: its first 8 bytes; IPv6: as much as fits).
        const std::uint8_t *quoted = icmp + 8;
        const std::size_t quotedSize = length - 8;
        const std::uint8_t *quotedDestination = nullptr;
        std::size_t header = 0;
        if (ipv6) {
            // Our requests carry no extension headers: ICMPv6 follows the
            // fixed header at once.
            header = 40;
            if (quotedSize < header + 8 || (quoted[0] >> 4) != 6 || quoted[6] != IPPROTO_ICMPV6)
                return -1;
            quotedDestination = quoted + 24;
        } else {
            if (quotedSize < 20 || (quoted[0] >> 4) != 4)
                return -1;
            header = std::size_t(quoted[0] & 0x0f) * 4;
            if (header < 20 || quotedSize < header + 8 || quoted[9] != IPPROTO_ICMP)
                return -1;
            quotedDestination = quoted + 16;
        }
        const std::uint8_t *original = quoted + header;
        if (std::memcmp(quotedDestination, address_.bytes.data(), ipv6 ? 16 : 4) != 0 ||
            original[0] != types.echoRequest || std::memcmp(original + from, request_.data() + from, 8 - from) != 0)
            return -1;
        reply.source = source;
        reply.type = type;
        if (type == types.unreachable) {
            reply.code = icmp[1];
            reply.text = ipv6 ? unreachableText6(icmp[1]) : unreachableText(icmp[1]);
        }
        return 0;
    }
    // Our own request seen again on loopback, neighbour discovery, other
    // traffic.
    return -1;
}

int CPingProbe::judgeErrorQueue()
{
    std::vector<net::icmp::QueuedError> errors;
    std::vector<std::uint8_t> request;
    if (!net::icmp::readErrors(socket_, family_, errors, request))
        return -2;
    const bool ipv6 = family_ == AF_INET6;
    const IcmpTypes &types = typesOf(family_);
    for (const net::icmp::QueuedError &error : errors) {
        if (error.type != types.unreachable && error.type != types.timeExceeded)
            continue;
        // The kernel queues only errors about this socket's requests; the
        // payload is the request itself, whose sequence must be ours.
        if (request.size() >= 8 && std::memcmp(request.data() + 6, request_.data() + 6, 2) != 0)
            continue;
        reply_.source = error.offender;
        reply_.type = error.type;
        if (error.type == types.unreachable) {
            reply_.code = error.code;
            reply_.text = ipv6 ? unreachableText6(error.code) : unreachableText(error.code);
        }
        return 0;
    }
    return -1;
}

} // namespace vigilon
