// SPDX-License-Identifier: MIT
#include "probes/TlsProbe.h"

#include "probes/HttpProbe.h"
#include "probes/HttpReply.h"
#include "probes/SocketUtil.h"

#include <cstdio>

namespace vigilon {

namespace {
// The most read from the socket in one pass: a server's first flight with
// its chain fits many times over.
constexpr std::size_t kReadChunk = 16384;
constexpr int kReadsPerPass = 8;
} // namespace

CTlsProbe::CTlsProbe(ProbeHost &owner, HostResolver *resolver, bool https)
    : CSocketProbe(owner, resolver), https_(https)
{
}

CTlsProbe::~CTlsProbe()
{
    tls::cancelTrustWait(trustTicket_);
}

int CTlsProbe::socketType() const
{
    return SOCK_STREAM;
}

unsigned CTlsProbe::firstEvents() const
{
    return EventLoop::Connected | EventLoop::Readable;
}

int CTlsProbe::beginAsync()
{
    if (entry_ && !exchange_) {
        request_ = entry_->request;
        rule_ = ruleWithCredentials(entry_->httpStatus, request_);
        if (https_ && !judgedByFirstBytes(request_))
            exchange_.emplace(request_, request_.method, rule_,
                              HttpTarget{true, host_, port_, request_.path,
                                         net::hostForUrl(host_) + (port_ != 443 ? ":" + std::to_string(port_) : "")},
                              0);
    }
    if (!tls::trustReady(loop_, [this] { afterTrust(); }, trustTicket_)) {
        // The trusted certificates are still being read: the check begins
        // once they are there, and holds no socket and no deadline
        // meanwhile (the wait is this system's, not the server's).
        killTimer();
        release();
        return 1;
    }
    return begin();
}

void CTlsProbe::afterTrust()
{
    trustTicket_ = 0;
    if (done_ != 0)
        return;
    int started = openSocket();
    if (started == 1) {
        armTimer();
        watch(firstEvents());
        started = begin();
    } else if (localError_ == 0 && !reason_.failed()) {
        fail(FailureReason::unreachable(-1, -1));
    }
    if (started == 0)
        done_ = 1;
}

int CTlsProbe::begin()
{
    std::string why;
    session_ = tls::openSession(host_, &why);
    if (!session_) {
        killTimer();
        unwatch();
        localError_ = -1;
        reason_ = FailureReason::of(FailureKind::LocalShortage);
        static bool said = false;
        if (!said) {
            said = true;
            std::fprintf(stderr, "vigilon: TLS and HTTPS entries cannot be checked: %s\n", why.c_str());
        }
        return 0;
    }
    net::enableReceiveStamps(socket_);
    // The ClientHello is made before the connect, outside the timed span:
    // making its key share is the client's own work, not the server's
    // answer. It waits in the session until the connection is up.
    if (session_->handshake() == tls::Progress::Failed) {
        killTimer();
        unwatch();
        localError_ = -1;
        reason_ = session_->failure().failed() ? session_->failure() : FailureReason::of(FailureKind::TlsHandshakeFailed);
        return 0;
    }
    return startConnect("cannot connect for a TLS check");
}

void CTlsProbe::failNow(const FailureReason &reason)
{
    killTimer();
    release();
    fail(reason);
    done_ = 1;
}

void CTlsProbe::finish(std::uint64_t seen)
{
    killTimer();
    release();
    // The end is when the bytes that completed the step arrived.
    setResponse(arrived_ != 0 && arrived_ <= seen ? arrived_ : seen);
    report(ProbeResult::Answered);
    done_ = 1;
}

void CTlsProbe::noteCertificate()
{
    if (!entry_ || !session_)
        return;
    const tls::Certificate certificate = session_->certificate();
    if (!certificate.present)
        return;
    const std::int64_t days = tls::daysLeft(certificate, static_cast<std::int64_t>(owner_.clock().nowSeconds()));
    entry_->certDaysKnown = true;
    entry_->certExpiresAt = certificate.notAfter;
    entry_->certDaysLeft = static_cast<std::int32_t>(days < -0x7fffffff ? -0x7fffffff : days > 0x7fffffff ? 0x7fffffff : days);
}

bool CTlsProbe::flush()
{
    unsent_ += session_->takeOutgoing();
    while (!unsent_.empty()) {
        const ssize_t sent = ::send(socket_, unsent_.data(), unsent_.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            const int error = net::lastError();
            if (error == net::code::Again || error == net::code::WouldBlock || error == net::code::Interrupted)
                break;
            failNow(net::reasonOfError(error));
            return false;
        }
        unsent_.erase(0, static_cast<std::size_t>(sent));
    }
    // Writability matters only while bytes wait for room.
    watch(EventLoop::Readable | (unsent_.empty() ? 0u : unsigned(EventLoop::Writable)));
    return true;
}

void CTlsProbe::takeIn(std::uint64_t seen)
{
    for (int n = 0; n < kReadsPerPass && !serverClosed_; ++n) {
        char buffer[kReadChunk];
        std::uint64_t arrived = seen;
        const ssize_t got = net::receiveStamped(socket_, buffer, sizeof buffer, 0, nullptr, nullptr, seen, arrived);
        if (got > 0) {
            session_->receive(buffer, static_cast<std::size_t>(got));
            arrived_ = arrived;
            continue;
        }
        if (got == 0) {
            serverClosed_ = true;
            break;
        }
        const int error = net::lastError();
        if (error == net::code::Again || error == net::code::WouldBlock || error == net::code::Interrupted)
            break;
        serverClosed_ = true;
        closedError_ = error;
    }
}

void CTlsProbe::advance(std::uint64_t seen)
{
    if (!handshaken_) {
        const tls::Progress progress = session_->handshake();
        noteCertificate();
        if (progress == tls::Progress::Failed) {
            // The client's alert goes out before the connection closes.
            const std::string alert = session_->takeOutgoing();
            if (!alert.empty())
                (void)::send(socket_, alert.data(), alert.size(), MSG_NOSIGNAL);
            failNow(session_->failure().failed() ? session_->failure()
                                                 : FailureReason::of(FailureKind::TlsHandshakeFailed));
            return;
        }
        if (progress == tls::Progress::Again) {
            if (serverClosed_) {
                failNow(closedError_ != 0 ? net::reasonOfError(closedError_)
                                          : FailureReason::of(FailureKind::TlsHandshakeFailed));
                return;
            }
            flush();
            return;
        }
        handshaken_ = true;
        if (!https_) {
            // What the handshake's last step left for the server (its
            // Finished) is sent; a close follows at once.
            (void)flush();
            if (done_ == 1)
                return;
            finish(seen);
            return;
        }
        const std::string request = exchange_ ? exchange_->requestText()
                                              : httpRequestText(request_, MethodHead, net::hostForUrl(host_), request_.path);
        if (!session_->write(request)) {
            failNow(FailureReason::of(FailureKind::TlsHandshakeFailed));
            return;
        }
        // The deadline set at the connect bounds the reply too: the whole
        // check ends within its timeout.
        requestSent_ = true;
        if (!flush())
            return;
    }
    if (!https_)
        return;
    const tls::Progress progress = session_->read(reply_);
    (void)flush();
    if (done_ == 1)
        return;
    if (exchange_) {
        if (!reply_.empty()) {
            if (firstArrived_ == 0)
                firstArrived_ = arrived_ != 0 ? arrived_ : seen;
            const HttpStep step = exchange_->take(reply_);
            reply_.clear();
            if (step.kind != HttpStep::More) {
                concludeExchange(step, seen);
                return;
            }
        }
        const bool ended = progress == tls::Progress::Failed || session_->peerClosed() || serverClosed_;
        if (!ended)
            return;
        if (firstArrived_ == 0) {
            // Nothing of a reply came: why the session ended.
            failNow(progress == tls::Progress::Failed
                        ? (session_->failure().failed() ? session_->failure()
                                                        : FailureReason::of(FailureKind::TlsHandshakeFailed))
                    : closedError_ != 0 ? net::reasonOfError(closedError_)
                                        : FailureReason::of(FailureKind::ClosedBeforeReply));
            return;
        }
        concludeExchange(exchange_->end(), seen);
        return;
    }
    if (!reply_.empty()) {
        // Judged as over plain HTTP: read on until the status can tell,
        // at most as much as a plain reply is read.
        const bool ended = progress == tls::Progress::Failed || session_->peerClosed() || serverClosed_ ||
                           reply_.size() >= probe::HttpReadSize;
        const HttpReplyVerdict verdict = judgeHttpReply(reply_, rule_, ended);
        if (verdict.outcome == HttpReplyVerdict::Alive)
            finish(seen);
        else if (verdict.outcome == HttpReplyVerdict::Failed)
            failNow(verdict.reason);
        return;
    }
    if (progress == tls::Progress::Failed) {
        failNow(session_->failure().failed() ? session_->failure() : FailureReason::of(FailureKind::TlsHandshakeFailed));
        return;
    }
    if (session_->peerClosed() || serverClosed_) {
        failNow(closedError_ != 0 ? net::reasonOfError(closedError_) : FailureReason::of(FailureKind::ClosedBeforeReply));
        return;
    }
}

void CTlsProbe::concludeExchange(const HttpStep &step, std::uint64_t seen)
{
    if (step.kind == HttpStep::Redirect) {
        followRedirect(*exchange_, step);
        return;
    }
    if (step.kind == HttpStep::Failed) {
        failNow(step.reason);
        return;
    }
    killTimer();
    release();
    const std::uint64_t end = exchange_->method() == MethodHead ? firstArrived_ : arrived_;
    setResponse(end != 0 && end <= seen ? end : seen);
    report(ProbeResult::Answered);
    done_ = 1;
}

void CTlsProbe::onSocket(unsigned events, int error)
{
    const std::uint64_t seen = seenMicros(startMicros_);
    if (done_ == 1)
        return;
    if (events & EventLoop::Connected) {
        if (error != 0) {
            // A failed connect is left to the timeout, as with the other kinds.
            unwatch();
            noteFailure(error);
            release();
            return;
        }
        connected_ = true;
        net::keepIcmpErrors(socket_, family_, false);
        // The ClientHello, made before the connect.
        if (!flush())
            return;
        if (!(events & (EventLoop::Readable | EventLoop::Closed)))
            return;
    }
    if (!connected_)
        return;
    if (events & (EventLoop::Readable | EventLoop::Closed))
        takeIn(seen);
    if (events & EventLoop::Writable && !(events & (EventLoop::Readable | EventLoop::Closed))) {
        flush();
        return;
    }
    advance(seen);
}

} // namespace vigilon
