// SPDX-License-Identifier: MIT
#pragma once

#include "base/HttpStatusRule.h"
#include "probes/SocketProbe.h"

#include <cstdint>
#include <string>

namespace vigilon {

// An HTTP entry: connect, send "HEAD / HTTP/1.1" with the host (an IPv6
// literal in brackets), and judge the reply by the entry's HTTP status rule
// (judgeHttpReply): under "any" every reply is alive; a connection closed
// before a byte of reply fails (closed before a reply). The reply is read
// until it can be judged, at most 1024 bytes; data after that is neither
// read nor reported.
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
    bool requestSent_ = false;
    // The entry's rule as the check began, and the reply read so far.
    HttpStatusRule rule_;
    std::string reply_;
    // The connection was reset as it was made (the loop took the error off
    // the socket): what fails next fails for that.
    int resetAtConnect_ = 0;
};

} // namespace vigilon
