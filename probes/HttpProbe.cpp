// SPDX-License-Identifier: MIT
#include "probes/HttpProbe.h"

#include "probes/HttpReply.h"
#include "probes/SocketUtil.h"

#include <cstddef>

namespace vigilon {

std::string CHttpProbe::requestText(const std::string &host)
{
    return "HEAD / HTTP/1.1\r\nHost:" + net::hostForUrl(host) + "\r\n\r\n";
}

int CHttpProbe::socketType() const
{
    return SOCK_STREAM;
}

unsigned CHttpProbe::firstEvents() const
{
    // Writability is of no interest (and would be ready all the time).
    return EventLoop::Connected | EventLoop::Readable;
}

int CHttpProbe::beginAsync()
{
    if (entry_ && !exchange_) {
        request_ = entry_->request;
        rule_ = ruleWithCredentials(entry_->httpStatus, request_);
        if (!judgedByFirstBytes(request_))
            exchange_.emplace(request_, request_.method, rule_,
                              HttpTarget{false, host_, port_, request_.path,
                                         net::hostForUrl(host_) + (port_ != 80 ? ":" + std::to_string(port_) : "")},
                              0);
    }
    net::enableReceiveStamps(socket_);
    return startConnect("cannot connect for an HTTP check");
}

bool CHttpProbe::sendRequest()
{
    const std::string request = exchange_ ? exchange_->requestText()
                                          : httpRequestText(request_, MethodHead, net::hostForUrl(host_), request_.path);
    if (entry_) {
        entry_->responseTime = 0;
        entry_->responseMicros = 0;
    }
    armTimer();
    requestSent_ = true;
    startMicros_ = nowMicros();
    // A short count is not followed up: the request, a POST body of the
    // most the dialog takes included, fits any fresh socket.
    if (::send(socket_, request.data(), request.size(), MSG_NOSIGNAL) < 0) {
        const int error = net::lastError();
        killTimer();
        release();
        fail(net::reasonOfError(resetAtConnect_ != 0 ? resetAtConnect_ : error));
        done_ = 1;
        return false;
    }
    return true;
}

void CHttpProbe::readReply(std::uint64_t seenMicros, int pendingError)
{
    char buffer[probe::HttpReadSize] = {};
    std::uint64_t arrived = seenMicros;
    const std::size_t room = probe::HttpReadSize - reply_.size();
    const ssize_t got = net::receiveStamped(socket_, buffer, room, 0, nullptr, nullptr, seenMicros, arrived);
    const int error = got < 0 ? net::lastError() : 0;
    if (got < 0 && (error == net::code::Again || error == net::code::WouldBlock || error == net::code::Interrupted))
        return; // nothing there after all: keep waiting
    if (got > 0)
        reply_.append(buffer, static_cast<std::size_t>(got));
    const bool ended = got == 0 || reply_.size() >= probe::HttpReadSize;
    const HttpReplyVerdict verdict = got < 0 ? HttpReplyVerdict{} : judgeHttpReply(reply_, rule_, ended);
    if (got > 0 && verdict.outcome == HttpReplyVerdict::NeedMore)
        return; // the status line is still on its way
    killTimer();
    // One check, one report: later data is not read.
    unwatch();
    if (verdict.outcome == HttpReplyVerdict::Alive) {
        setResponse(arrived);
        keepUntilDestroyed();
        report(ProbeResult::Answered);
    } else if (got == 0 && reply_.empty() && (pendingError != 0 || resetAtConnect_ != 0)) {
        // The server ended the connection without a byte of reply. A reset
        // that the loop took off the socket still counts as the reset it
        // was.
        fail(reasonOf(pendingError != 0 ? pendingError : resetAtConnect_));
    } else if (got < 0) {
        fail(net::reasonOfError(error));
    } else {
        // No web server answered (closed before a reply), or its reply is
        // not one the entry counts as alive.
        fail(verdict.reason);
    }
    if (verdict.outcome != HttpReplyVerdict::Alive)
        release();
    done_ = 1;
}

void CHttpProbe::conclude(const HttpStep &step)
{
    killTimer();
    unwatch();
    if (step.kind == HttpStep::Redirect) {
        followRedirect(*exchange_, step);
        return;
    }
    if (step.kind == HttpStep::Alive) {
        // HEAD: to the first byte of the reply, as the plain check; GET and
        // POST: to the last byte read.
        setResponse(exchange_->method() == MethodHead ? firstArrived_ : lastArrived_);
        keepUntilDestroyed();
        report(ProbeResult::Answered);
    } else {
        fail(step.reason);
        release();
    }
    done_ = 1;
}

void CHttpProbe::readExchange(std::uint64_t seenMicros, int pendingError)
{
    constexpr int kReadsPerPass = 8;
    for (int pass = 0; pass < kReadsPerPass; ++pass) {
        char buffer[16384];
        std::uint64_t arrived = seenMicros;
        const ssize_t got = net::receiveStamped(socket_, buffer, sizeof buffer, 0, nullptr, nullptr, seenMicros, arrived);
        if (got < 0) {
            const int error = net::lastError();
            if (error == net::code::Again || error == net::code::WouldBlock || error == net::code::Interrupted)
                return;
            if (!anyBytes_) {
                killTimer();
                unwatch();
                fail(net::reasonOfError(error));
                release();
                done_ = 1;
                return;
            }
            // A reset after part of the reply: it ends with what came.
            conclude(exchange_->end());
            return;
        }
        if (got == 0) {
            if (!anyBytes_ && (pendingError != 0 || resetAtConnect_ != 0)) {
                killTimer();
                unwatch();
                fail(reasonOf(pendingError != 0 ? pendingError : resetAtConnect_));
                release();
                done_ = 1;
                return;
            }
            conclude(exchange_->end());
            return;
        }
        if (!anyBytes_)
            firstArrived_ = arrived;
        anyBytes_ = true;
        lastArrived_ = arrived;
        const HttpStep step = exchange_->take(std::string_view(buffer, static_cast<std::size_t>(got)));
        if (step.kind != HttpStep::More) {
            conclude(step);
            return;
        }
    }
}

void CHttpProbe::onSocket(unsigned events, int error)
{
    const std::uint64_t seen = seenMicros(startMicros_);
    if (events & EventLoop::Connected) {
        // A reset after the connect shows in the send or the read.
        if (connectError(error) != 0) {
            // A failed connect is left to the timeout.
            noteFailure(error);
            release();
            return;
        }
        killTimer();
        resetAtConnect_ = error;
        net::keepIcmpErrors(socket_, family_, false);
        if (!sendRequest())
            return;
        // Watch for the reply only. What was readable before the request
        // went out is read on the next pass, never timed from before it.
        watch(EventLoop::Readable);
        return;
    }
    if ((events & EventLoop::Readable) && requestSent_ && done_ != 1) {
        if (exchange_)
            readExchange(seen, error);
        else
            readReply(seen, error);
    }
}

} // namespace vigilon
