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
    if (entry_)
        rule_ = entry_->httpStatus;
    net::enableReceiveStamps(socket_);
    return startConnect("cannot connect for an HTTP check");
}

bool CHttpProbe::sendRequest()
{
    const std::string request = requestText(host_);
    if (entry_) {
        entry_->responseTime = 0;
        entry_->responseMicros = 0;
    }
    armTimer();
    requestSent_ = true;
    startMicros_ = nowMicros();
    // A short count is not followed up: the request fits any fresh socket.
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
    release();
    done_ = 1;
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
    if ((events & EventLoop::Readable) && requestSent_ && done_ != 1)
        readReply(seen, error);
}

} // namespace vigilon
