// SPDX-License-Identifier: MIT
#pragma once

#include "base/HttpStatusRule.h"
#include "probes/SocketProbe.h"
#include "probes/TlsSession.h"

#include <memory>
#include <string>

namespace vigilon {

// A TLS or HTTPS entry. TLS: connect and make a TLS handshake; the port is
// alive when the handshake completes and the server's certificate holds
// (its chain trusted, its dates valid, the host among its names or
// addresses). HTTPS: the same, then the HTTP check's request over the
// session, whose reply is judged as the HTTP check judges it.
//
// The response time runs from right before the connect to the end of the
// handshake (TLS) or to the reply (HTTPS: its first byte for HEAD, its last
// byte read for GET and POST). HTTPS sends the entry's request and judges
// its reply as the HTTP check does, redirects and body included. The deadline timer bounds the whole check
// at the entry's timeout (3000 ms unless it has its own): the connect and the handshake, and for HTTPS the request and
// its reply as well. A refused connect is
// left to the timeout as with the other kinds; a handshake that fails
// reports at once, with its reason.
//
// Where the handshake showed a certificate, the entry is given the whole
// days it had left (certDaysKnown, certDaysLeft), whatever the outcome.
// Where this system cannot make a TLS session at all, start() returns 0
// as for a local shortage. A check that starts while the trusted
// certificates are still being read (tls::trustReady()) waits for them
// without a socket; its connect, and its deadline, begin once they are
// there.
class CTlsProbe final : public CSocketProbe {
public:
    CTlsProbe(ProbeHost &owner, HostResolver *resolver, bool https);
    ~CTlsProbe() override;

protected:
    int socketType() const override;
    unsigned firstEvents() const override;
    int beginAsync() override;
    void onSocket(unsigned events, int error) override;

private:
    // The check proper, from the session's making on.
    int begin();
    // The trusted certificates have been read: the check begins.
    void afterTrust();
    // Sends what the session has for the server; false when the socket
    // refused it (already reported).
    bool flush();
    // Takes in what the server sent.
    void takeIn(std::uint64_t seen);
    void advance(std::uint64_t seen);
    // The check answered.
    void finish(std::uint64_t seen);
    void failNow(const FailureReason &reason);
    void noteCertificate();
    // HTTPS with an HttpExchange: the reply so far says step.
    void concludeExchange(const HttpStep &step, std::uint64_t seen);

    bool https_;
    // While the check waits for the trusted certificates to be read.
    std::uint64_t trustTicket_ = 0;
    std::unique_ptr<tls::Session> session_;
    // Bytes for the server that the socket has not taken yet.
    std::string unsent_;
    bool connected_ = false;
    bool handshaken_ = false;
    bool requestSent_ = false;
    bool serverClosed_ = false;
    int closedError_ = 0;
    std::string reply_;
    // HTTPS: the replies that count as alive, as the entry said at the start.
    HttpStatusRule rule_;
    // When the newest bytes from the server arrived (monotonic).
    std::uint64_t arrived_ = 0;
    // HTTPS: the request as the check began; when the reply's first bytes
    // arrived.
    HttpRequest request_;
    std::uint64_t firstArrived_ = 0;
};

} // namespace vigilon
