// SPDX-License-Identifier: MIT
#pragma once

#include "base/MonitorPort.h"
#include "base/ProbeHost.h"
#include "probes/HostResolver.h"
#include "probes/HttpExchange.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vigilon {

namespace probe {
// The timer a probe sets on the loop, under itself: its deadline.
enum Timer : unsigned {
    DeadlineTimer = 9,
};
constexpr unsigned TimeoutMs = 3000;
constexpr std::size_t HttpReadSize = 1024;
} // namespace probe

// One check of one TCP, UDP, HTTP or PING entry. Made for every check,
// started once, and destroyed by its owner (never by itself).
//
// start() returns 1 when the check is under way;
// the outcome reaches the owner through ProbeHost::reportResult(), also from
// inside start(). The probe's deadline timer on the event loop bounds the
// check at the entry's timeout (3000 ms unless it has its own); when it fires the failure is reported and done()
// becomes 2. A connection that completes later still reports its success
// (the owner then sees a failure followed by a success for one check).
//
// Entries: the probe keeps a plain pointer to its entry and writes only its
// responseTime and responseMicros. When the owner deletes an entry while a
// probe for it is still pending, it calls detachEntry() first; the probe then
// reports nothing more and never touches the entry again.
//
// Local shortage: when start() returns 0 because the local system refused a
// resource (EMFILE, ENFILE, ENOBUFS, ENOMEM, or no lookup thread), or has no
// sockets of the target's family at all (no IPv6), nothing is reported,
// localFailure() is true and one line on standard error says what is
// missing. The owner must not count such a check against the target.
//
// reportResult() must not destroy the probe that calls it.
class CSocketProbe {
public:
    // resolver: shared by the probes of a round; when null the probe looks
    // its host up on its own.
    CSocketProbe(ProbeHost &owner, HostResolver *resolver = nullptr);
    virtual ~CSocketProbe();
    CSocketProbe(const CSocketProbe &) = delete;
    CSocketProbe &operator=(const CSocketProbe &) = delete;

    // Returns 1 when the check is under way, 0 when it could not be
    // started.
    virtual int start(std::uint32_t port, const std::string &host, MonitorPort &entry);

    // 0 running, 1 result reported, 2 timed out. A check that follows a
    // redirect is as far as the probe it handed on to.
    int done() const { return done_ == 0 && next_ ? next_->done() : done_; }
    void detachEntry()
    {
        entry_ = nullptr;
        if (next_)
            next_->detachEntry();
    }
    MonitorPort *entry() const { return entry_; }
    bool localFailure() const { return localError_ != 0; }
    int localError() const { return localError_; }
    // Why the check failed (None while it has not): set before the failure
    // is reported, and also when start() returns 0 without a report.
    const FailureReason &failureReason() const { return reason_; }
    int socketHandle() const { return socket_; }

protected:
    virtual int socketType() const = 0;
    // Opens socket_ of family_: 1, or start()'s return value when it cannot
    // (after a refusal of a local resource, or a report).
    virtual int openSocket();
    // Whether the measured interval starts right before the connect call
    // (TCP; UDP starts right before its send) rather than at the kind's own
    // step (HTTP: right before the request is sent).
    virtual bool startsClockAtLookup() const { return true; }
    // The events watched while the first network action is under way.
    virtual unsigned firstEvents() const = 0;
    // The kind's first network action; the return value becomes start()'s.
    virtual int beginAsync() = 0;
    virtual void onSocket(unsigned events, int error) = 0;
    // The deadline timer has expired; the failure is reported right after.
    virtual void onTimeout() {}

    // The deadline: periodMs, or 0 for what is left of the check's time.
    void armTimer(unsigned periodMs = 0);
    // The whole check's time: the entry's timeout.
    unsigned deadlineMs() const { return deadlineMs_; }
    void killTimer();
    void watch(unsigned events);
    void unwatch();
    // The check has ended for good: its socket is dropped from the loop and
    // closed at once, so that finished checks hold no descriptors.
    void release();
    // The check has answered, and its connection has served its purpose.
    // Closing it costs the loop about what opening it did, so it closes with
    // the check, which the engine destroys once its round's results are in;
    // at once when descriptors run short.
    void keepUntilDestroyed();
    void report(ProbeResult result);
    // Reports the failure with its reason.
    void fail(const FailureReason &reason);
    void fail(FailureKind kind) { fail(FailureReason::of(kind)); }
    // A failure of the first network action that is left to the timeout:
    // it becomes the timeout's reason.
    void noteFailure(int error);
    // The reason of a failed connect: the ICMP message behind it, if one was
    // kept, else the error's.
    FailureReason reasonOf(int error);
    // The error that the completion of a connect carries. A connection that was
    // made and then reset at once still completed its connect.
    static int connectError(int error);
    // Sets the entry's response time: from the start of the measured
    // interval to arrivedMicros (monotonic).
    void setResponse(std::uint64_t arrivedMicros);
    // Returns 0 for start() after a refusal of a local resource.
    int refuseLocally(int error, const char *what);
    // Returns 0 for start() when the system has no sockets of the kind
    // (kind: "IPv6", "ICMPv6"): a local failure as well.
    int refuseUnsupported(int error, const char *kind);
    // A non-blocking connect to the destination. 0 started (or connected),
    // else errno.
    int beginConnect();
    // The first network action of a stream check: the connect. 1 when it
    // is under way; else 0, after a refusal of a local resource (what: the
    // words of its line) or the failure's report.
    int startConnect(const char *what);
    std::uint64_t nowMicros() const;
    // Inside onSocket(): when the loop saw the readiness it reports (see
    // net::readinessTime()), so that the work the loop did before it came
    // round to this socket is not counted in.
    std::uint64_t seenMicros(std::uint64_t notBefore) const;
    // An HTTP or HTTPS check hands itself on to where a redirect points: a
    // probe for that URL (HTTP or HTTPS as it says) sends the request there,
    // within what is left of this check's time, and its outcome is this
    // check's. The response time still runs from this check's start. This
    // probe's socket and deadline are let go. exchange: the request and
    // reply that redirected; step: where to.
    void followRedirect(const HttpExchange &exchange, const HttpStep &step);

    ProbeHost &owner_;
    EventLoop &loop_;
    int done_ = 0;
    int socket_ = -1;
    std::uint32_t port_ = 0;
    std::string host_;
    MonitorPort *entry_ = nullptr;
    net::NetAddress address_;
    // The family of socket_: the target's when it is an address literal,
    // else IPv4 until the lookup has found a name with IPv6 addresses only.
    int family_ = AF_INET;
    std::uint64_t startMicros_ = 0;
    int localError_ = 0;
    bool watching_ = false;
    FailureReason reason_;
    // The error that the timeout will report as its reason (0: none), and
    // the ICMP message behind it, if one was kept.
    int seenError_ = 0;
    FailureReason seenIcmp_;

    // Where this probe is a redirect's: the request it sends and the
    // reply's rules, and when the first request of the check went out.
    std::optional<HttpExchange> exchange_;
    std::uint64_t chainStartMicros_ = 0;

private:
    class Relay;
    int afterLookup(bool lookupWasPending);
    // Opens a socket of the found address's family in place of the one
    // opened before the lookup, where the two differ: 1, or start()'s
    // return value.
    int matchFamily();
    void onTimer();

    HostResolver *resolver_;
    std::unique_ptr<HostResolver> ownResolver_;
    std::uint64_t lookupTicket_ = 0;
    // The deadline the whole check has (a redirect's probe: what was left),
    // and when the deadline timer was last armed.
    unsigned deadlineMs_ = probe::TimeoutMs;
    std::uint64_t armedMicros_ = 0;
    // The probe of a redirect, and what passes its outcome on.
    std::unique_ptr<Relay> relay_;
    std::unique_ptr<CSocketProbe> next_;
};

// The probe for a kind of pendingProbes (0 TCP, 1 UDP, 2 HTTP, 4 HTTPS,
// 5 TLS, 7 DNS; anything else TCP).
std::unique_ptr<CSocketProbe> makeSocketProbe(int kind, ProbeHost &owner, HostResolver *resolver = nullptr);

} // namespace vigilon
