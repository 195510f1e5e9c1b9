// SPDX-License-Identifier: MIT
#pragma once

#include "base/EventLoop.h"
#include "base/FailureReason.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vigilon::tls {

// What the handshake showed of the server's certificate (the leaf).
struct Certificate {
    // False until the server has sent one.
    bool present = false;
    // Its validity, in seconds since 1970 (UTC).
    std::int64_t notBefore = 0;
    std::int64_t notAfter = 0;
};

// Where a step of the session stands.
enum class Progress {
    // More bytes from the server are needed: send takeOutgoing() first,
    // then feed what arrives through receive() and call again.
    Again,
    // The step is complete.
    Done,
    // The session has failed for good; failure() says why.
    Failed,
};

// The client side of one TLS connection, held in memory. The probe owns the
// socket and moves the bytes: whatever the session wants sent comes out of
// takeOutgoing(), whatever the server sends goes in through receive(). The
// session never touches a socket, never blocks and never reads the clock
// beyond the certificate's validity check, so it runs on the event loop as
// every check does.
//
// The platform's TLS does the work: OpenSSL on Linux, Schannel on Windows.
// The chain is verified against the system's trust store (OpenSSL honours
// SSL_CERT_FILE and SSL_CERT_DIR), and the host checked against the
// certificate: a name against its DNS names, an address literal against its
// IP addresses. The server name is sent (SNI) for names, never for
// addresses.
class Session {
public:
    virtual ~Session() = default;

    // Bytes the server sent.
    virtual void receive(const char *data, std::size_t size) = 0;
    // Bytes to send to the server, taken out of the session: empty when
    // there are none.
    virtual std::string takeOutgoing() = 0;

    // Advances the handshake. Done once it has completed and the
    // certificate has been judged; a certificate that fails the judgement
    // makes it Failed with that reason (certificate() still tells its
    // validity when the server sent one).
    virtual Progress handshake() = 0;

    // After the handshake: encrypts plain text into the outgoing bytes.
    // False when the session cannot send.
    virtual bool write(const std::string &plain) = 0;
    // After the handshake: appends the plain text decrypted from what was
    // received. Again when no whole record is in yet, Done when some text
    // came or the server closed the connection in order (peerClosed()),
    // Failed on a broken record.
    virtual Progress read(std::string &plain) = 0;
    virtual bool peerClosed() const = 0;

    // Why the session failed: CertExpired, CertNotYetValid, CertUntrusted,
    // NameMismatch or TlsHandshakeFailed; None while it has not. Where the
    // certificate has several faults, the first of these is named:
    // CertUntrusted (nothing else it says can be believed then),
    // CertExpired, CertNotYetValid (the dates of any certificate of the
    // chain), NameMismatch. TlsHandshakeFailed is for a handshake that
    // failed for anything but the certificate.
    virtual FailureReason failure() const = 0;
    virtual Certificate certificate() const = 0;
};

// The trust store is read once, off the event loop, from the first call on:
// on Linux OpenSSL's trust file and the certificates of its trust folders,
// regular files only (a FIFO or a device there is left out with one line on
// standard error), into memory, so that judging a chain reads no file; on
// Windows the system's chain engine needs nothing read first. True when
// sessions can be opened now. Otherwise false, and ready runs on loop once
// they can (whatever the reading found: openSession() then says what is
// missing), unless cancelTrustWait(ticket) came first. Called on the loop's
// thread.
bool trustReady(EventLoop &loop, std::function<void()> ready, std::uint64_t &ticket);
void cancelTrustWait(std::uint64_t ticket);

// A session for a server known by host (a name, or an IPv4 or IPv6 address
// literal as the entry names it). Null when the platform's TLS cannot be set
// up on this system (or before trustReady() holds); *error, when given, then
// says why in one line.
std::unique_ptr<Session> openSession(const std::string &host, std::string *error = nullptr);

// Whole days from now (seconds since 1970, UTC) until notAfter, rounded
// down; negative once it has passed.
inline std::int64_t daysLeft(const Certificate &certificate, std::int64_t now)
{
    const std::int64_t seconds = certificate.notAfter - now;
    return seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
}

} // namespace vigilon::tls
