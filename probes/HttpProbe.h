// SPDX-License-Identifier: MIT
#pragma once

#include "base/HttpStatusRule.h"
#include "probes/SocketProbe.h"

#include <cstdint>
#include <string>

namespace vigilon {

// An HTTP entry: connect, send the entry's request (by default "HEAD /
// HTTP/1.1" with the host, an IPv6 literal in brackets), and judge the reply
// by the entry's HTTP status rule. A HEAD request whose redirects are not
// followed is judged from the reply's first bytes (judgeHttpReply): under
// "any" every reply is alive; a connection closed before a byte of reply
// fails (closed before a reply). The reply is read until it can be judged,
// at most 1024 bytes; data after that is neither read nor reported; the
// response time runs from the request to the reply's first byte.
//
// Any other request is judged by an HttpExchange: GET and POST read the
// body (at most its first MiB) and judge it by the content rule, and the
// response time runs to the last byte read; a redirect, where they are
// followed, hands the check on (followRedirect()).
class CHttpProbe final : public CSocketProbe {
public:
    explicit CHttpProbe(ProbeHost &owner, HostResolver *resolver = nullptr) : CSocketProbe(owner, resolver) {}

    // The request text for a host, exactly as sent.
    static std::string requestText(const std::string &host);

protected:
    int socketType() const override;
    bool startsClockAtLookup() const override { return false; }
    unsigned firstEvents() const override;
    int beginAsync() override;
    void onSocket(unsigned events, int error) override;

private:
    // Sends the request; false when the send failed (already reported).
    bool sendRequest();
    // pendingError: the socket's error as the loop saw it with the
    // readiness (it is gone from the socket then).
    void readReply(std::uint64_t seenMicros, int pendingError = 0);
    // The same for a request an HttpExchange judges.
    void readExchange(std::uint64_t seenMicros, int pendingError);
    void conclude(const HttpStep &step);
    bool requestSent_ = false;
    // The entry's rule as the check began, and the reply read so far.
    HttpStatusRule rule_;
    std::string reply_;
    // The connection was reset as it was made (the loop took the error off
    // the socket): what fails next fails for that.
    int resetAtConnect_ = 0;
    // The request as the check began, and when the reply's first and
    // newest bytes arrived.
    HttpRequest request_;
    std::uint64_t firstArrived_ = 0;
    std::uint64_t lastArrived_ = 0;
    bool anyBytes_ = false;
};

} // namespace vigilon
