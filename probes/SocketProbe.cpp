// SPDX-License-Identifier: MIT
#include "probes/SocketProbe.h"

#include "probes/DnsProbe.h"
#include "probes/HttpProbe.h"
#include "probes/SocketUtil.h"
#include "probes/TcpProbe.h"
#include "probes/TlsProbe.h"
#include "probes/UdpProbe.h"

#include <cstddef>
#include <cstring>

#include <algorithm>

namespace vigilon {

int CSocketProbe::connectError(int error)
{
    return error == net::code::Reset || error == net::code::Pipe ? 0 : error;
}

CSocketProbe::CSocketProbe(ProbeHost &owner, HostResolver *resolver)
    : owner_(owner), loop_(owner.eventLoop()), resolver_(resolver)
{
}

CSocketProbe::~CSocketProbe()
{
    // By key: the loop's other timers are not looked at.
    loop_.killTimer(this, probe::DeadlineTimer);
    if (lookupTicket_ != 0 && resolver_)
        resolver_->cancel(lookupTicket_);
    unwatch();
    net::closeSocket(socket_);
}

std::uint64_t CSocketProbe::nowMicros() const
{
    return owner_.clock().monotonicMicros();
}

std::uint64_t CSocketProbe::seenMicros(std::uint64_t notBefore) const
{
    return net::readinessTime(loop_, owner_.clock(), nowMicros(), notBefore);
}

void CSocketProbe::armTimer(unsigned periodMs)
{
    armedMicros_ = nowMicros();
    loop_.setTimer(this, probe::DeadlineTimer, periodMs != 0 ? periodMs : deadlineMs_, [this] { onTimer(); });
}

// Passes the outcome of a redirect's probe on as the outcome of the probe
// that followed the redirect.
class CSocketProbe::Relay final : public ProbeHost {
public:
    explicit Relay(CSocketProbe &from) : from_(from) {}
    void reportResult(ProbeResult result, MonitorPort &) override
    {
        CSocketProbe &next = *from_.next_;
        from_.reason_ = next.reason_;
        from_.done_ = next.done_ == 2 ? 2 : 1;
        if (result == ProbeResult::Answered && from_.entry_ && next.startMicros_ > next.chainStartMicros_) {
            // The time of the requests before this one counts too.
            from_.entry_->responseMicros += next.startMicros_ - next.chainStartMicros_;
            from_.entry_->responseTime = roundedMillis(from_.entry_->responseMicros);
        }
        from_.report(result);
    }
    EventLoop &eventLoop() override { return from_.loop_; }
    const Clock &clock() const override { return from_.owner_.clock(); }

private:
    CSocketProbe &from_;
};

void CSocketProbe::followRedirect(const HttpExchange &exchange, const HttpStep &step)
{
    const std::uint64_t now = nowMicros();
    const std::uint64_t spentMs = now > armedMicros_ ? (now - armedMicros_) / 1000 : 0;
    const unsigned left = spentMs >= deadlineMs_ ? 0u : deadlineMs_ - static_cast<unsigned>(spentMs);
    killTimer();
    release();
    if (left == 0 || !entry_) {
        done_ = entry_ ? 2 : 1;
        fail(FailureKind::TimedOut);
        return;
    }
    relay_ = std::make_unique<Relay>(*this);
    if (step.next.https)
        next_ = std::make_unique<CTlsProbe>(*relay_, resolver_, true);
    else
        next_ = std::make_unique<CHttpProbe>(*relay_, resolver_);
    next_->deadlineMs_ = left;
    next_->chainStartMicros_ = chainStartMicros_ != 0 ? chainStartMicros_ : startMicros_;
    // Credentials go on only to where they were given for.
    HttpRequest request = exchange.request();
    if (!sameOrigin(exchange.target(), step.next)) {
        request.user.clear();
        request.password.clear();
    }
    next_->exchange_.emplace(request, step.nextMethod, exchange.rule(), step.next, exchange.redirects() + 1);
    const int started = next_->start(step.next.port, step.next.host, *entry_);
    if (started == 0 && done_ == 0) {
        // Nothing reported: this system could not make the next check.
        reason_ = next_->reason_.failed() ? next_->reason_ : FailureReason::of(FailureKind::LocalShortage);
        done_ = 1;
        report(ProbeResult::Failed);
    }
}

void CSocketProbe::killTimer()
{
    loop_.killTimer(this, probe::DeadlineTimer);
}

void CSocketProbe::watch(unsigned events)
{
    // A check the system makes for us has no socket of ours.
    if (socket_ < 0)
        return;
    loop_.watchSocket(socket_, events, [this](unsigned ready, int error) { onSocket(ready, error); });
    watching_ = true;
}

void CSocketProbe::unwatch()
{
    if (watching_ && socket_ >= 0)
        loop_.unwatchSocket(socket_);
    watching_ = false;
}

void CSocketProbe::release()
{
    unwatch();
    net::closeSocket(socket_);
}

void CSocketProbe::keepUntilDestroyed()
{
    unwatch();
    if (!net::descriptorsToSpare(socket_))
        release();
}

void CSocketProbe::report(ProbeResult result)
{
    if (entry_)
        owner_.reportResult(result, *entry_);
}

void CSocketProbe::fail(const FailureReason &reason)
{
    reason_ = reason;
    report(ProbeResult::Failed);
}

void CSocketProbe::noteFailure(int error)
{
    if (error == 0)
        return;
    seenError_ = error;
    net::icmpErrorReason(socket_, seenIcmp_);
}

FailureReason CSocketProbe::reasonOf(int error)
{
    FailureReason icmp;
    if (net::icmpErrorReason(socket_, icmp))
        return icmp;
    return net::reasonOfError(error);
}

void CSocketProbe::setResponse(std::uint64_t arrivedMicros)
{
    if (!entry_)
        return;
    const std::uint64_t micros = arrivedMicros > startMicros_ ? arrivedMicros - startMicros_ : 0;
    entry_->responseMicros = micros;
    entry_->responseTime = roundedMillis(micros);
}

int CSocketProbe::refuseLocally(int error, const char *what)
{
    localError_ = error;
    reason_ = FailureReason::of(FailureKind::LocalShortage);
    net::reportLocalShortage(error, what);
    return 0;
}

int CSocketProbe::refuseUnsupported(int error, const char *kind)
{
    localError_ = error;
    reason_ = FailureReason::of(FailureKind::LocalShortage);
    net::reportUnsupported(error, kind);
    return 0;
}

void CSocketProbe::onTimer()
{
    // Any expiry of the probe's timer is the timeout.
    killTimer();
    FailureReason reason = seenIcmp_.failed()  ? seenIcmp_
                           : seenError_ != 0 ? net::reasonOfError(seenError_)
                                             : FailureReason::of(FailureKind::TimedOut);
    if (lookupTicket_ != 0 && resolver_) {
        resolver_->cancel(lookupTicket_);
        lookupTicket_ = 0;
        reason = FailureReason::of(FailureKind::LookupTimedOut);
    }
    done_ = 2;
    onTimeout();
    // Nothing more can come on a socket that is not watched.
    if (!watching_)
        release();
    fail(reason);
}

int CSocketProbe::start(std::uint32_t port, const std::string &host, MonitorPort &entry)
{
    port_ = port;
    host_ = host;
    entry_ = &entry;
    // A redirect's probe has what is left of the check's time.
    if (!exchange_)
        deadlineMs_ = entryTimeoutMs(entry);

    // A name is looked up after the socket is open, as ever: the socket is
    // for IPv4 unless the target is written as an IPv6 address.
    net::NetAddress literal;
    family_ = host_.find(':') != std::string::npos && net::parseIpv6Literal(host_, literal) ? literal.family : AF_INET;
    if (const int opened = openSocket(); opened != 1)
        return opened;

    if (!resolver_) {
        ownResolver_ = std::make_unique<HostResolver>(loop_);
        resolver_ = ownResolver_.get();
    }
    const HostResolver::Status status = resolver_->resolve(
        host_, address_,
        [this](bool ok, const net::NetAddress &address) {
            lookupTicket_ = 0;
            if (!ok) {
                killTimer();
                release();
                fail(resolver_->failureOf(host_));
                done_ = 1;
                return;
            }
            address_ = address;
            afterLookup(true);
        },
        lookupTicket_);
    switch (status) {
    case HostResolver::Found:
        return afterLookup(false);
    case HostResolver::Pending:
        // The probe's deadline covers the lookup too.
        armTimer();
        return 1;
    case HostResolver::LocalFailure:
        return refuseLocally(resolver_->localError(), "cannot start a name lookup");
    case HostResolver::NotFound:
        break;
    }
    fail(resolver_->failureOf(host_));
    return 0;
}

int CSocketProbe::openSocket()
{
    socket_ = net::openSocket(socketType(), 0, family_);
    if (socket_ >= 0)
        return 1;
    const int error = net::lastError();
    if (net::isLocalShortage(error))
        return refuseLocally(error, "cannot open a socket for a check");
    if (net::isUnsupportedHere(error))
        return refuseUnsupported(error, family_ == AF_INET6 ? "IPv6" : "IPv4");
    return 0;
}

int CSocketProbe::matchFamily()
{
    if (address_.family == family_)
        return 1;
    unwatch();
    net::closeSocket(socket_);
    family_ = address_.family;
    const int opened = openSocket();
    if (opened == 1 || localError_ != 0 || done_ != 0)
        return opened;
    // Refused for another reason: as good as no route to the target.
    fail(FailureReason::unreachable(-1, -1));
    return 0;
}

int CSocketProbe::afterLookup(bool lookupWasPending)
{
    int started = matchFamily();
    if (started == 1) {
        if (!lookupWasPending)
            armTimer();
        watch(firstEvents());
        started = beginAsync();
    } else {
        killTimer();
    }
    if (lookupWasPending && started == 0 && done_ == 0) {
        // Reported (or refused) from the lookup's answer, not from start():
        // the probe has finished all the same.
        done_ = 1;
    }
    return started;
}

int CSocketProbe::beginConnect()
{
    sockaddr_storage destination{};
    const socklen_t length = address_.toSocket(static_cast<std::uint16_t>(port_), destination);
    net::keepIcmpErrors(socket_, family_, true);
    // The TCP check times the connect itself, from right before the call.
    if (startsClockAtLookup())
        startMicros_ = nowMicros();
    if (::connect(socket_, reinterpret_cast<const sockaddr *>(&destination), length) == 0)
        return 0;
    const int error = net::lastError();
    // A refusal arrives as the connect's completion with an error, as it
    // does from a connect under way; so it is left to the timeout as well.
    if (error == net::code::Refused)
        noteFailure(error);
    if (error == net::code::InProgress || error == net::code::Again || error == net::code::WouldBlock ||
        error == net::code::Interrupted || error == net::code::Refused)
        return 0;
    return error;
}

int CSocketProbe::startConnect(const char *what)
{
    const int error = beginConnect();
    if (error == 0)
        return 1;
    killTimer();
    unwatch();
    if (net::isLocalShortage(error))
        return refuseLocally(error, what);
    fail(reasonOf(error));
    return 0;
}

std::unique_ptr<CSocketProbe> makeSocketProbe(int kind, ProbeHost &owner, HostResolver *resolver)
{
    switch (kind) {
    case 1:
        return std::make_unique<CUdpProbe>(owner, resolver);
    case 2:
        return std::make_unique<CHttpProbe>(owner, resolver);
    case 4:
        return std::make_unique<CTlsProbe>(owner, resolver, true);
    case 5:
        return std::make_unique<CTlsProbe>(owner, resolver, false);
    case 7:
        return std::make_unique<CDnsProbe>(owner, resolver);
    default:
        return std::make_unique<CTcpProbe>(owner, resolver);
    }
}

} // namespace vigilon
