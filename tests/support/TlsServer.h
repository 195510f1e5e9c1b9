// SPDX-License-Identifier: MIT
// A TLS server for the tests, with certificates the test makes itself
// (OpenSSL), on loopback, in a thread of its own.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vigilon::test {

// A certificate and its key, in PEM.
struct Pem {
    std::string certificate;
    std::string key;
};

// A private certificate authority and the certificates it (or nobody)
// signs.
class TestPki {
public:
    TestPki();

    // names: DNS names and IP addresses (numeric text) of the subject
    // alternative names; validity from now + fromDays to now + toDays
    // (seconds precision: fromDays may be negative). selfSigned: signed by
    // its own key, not by the authority.
    Pem issue(const std::vector<std::string> &names, double fromDays, double toDays, bool selfSigned = false) const;

    // The usual ones, all for localhost, 127.0.0.1 and ::1 but "wrongname":
    // "good" (90 whole days left), "expired" (2.5 days ago), "notyet" (from
    // 5 days on), "wrongname", "selfsigned", "soon" (3 whole days left),
    // "expiredelsewhere" (expired, another name), "untrustedexpired"
    // (self-signed, expired, another name); empty for another kind.
    Pem named(const std::string &kind) const;

    // Writes the authority's certificate to path: a trust file for
    // SSL_CERT_FILE.
    bool writeCa(const std::string &path) const;

private:
    Pem ca_;
};

// The server. Every connection is taken through a handshake with the
// certificate given; with an HTTP reply, it then reads a request up to its
// blank line and answers it; without, it waits for the client to close.
class TlsServer {
public:
    // address: "127.0.0.1" or "::1"; port 0: any free one.
    TlsServer(const Pem &identity, std::string httpReply = {}, const std::string &address = "127.0.0.1",
              std::uint16_t port = 0);
    ~TlsServer();
    TlsServer(const TlsServer &) = delete;
    TlsServer &operator=(const TlsServer &) = delete;

    bool ok() const { return listener_ >= 0; }
    std::uint16_t port() const { return port_; }
    // The server names the clients sent (SNI), "" for a client that sent
    // none, in the order of the handshakes.
    std::vector<std::string> serverNames();
    std::vector<std::string> requests();
    // As TcpServer's: a request without this "Authorization" value is
    // answered 401 Unauthorized.
    void requireAuthorization(const std::string &value);

private:
    void run();
    void serve(int fd);

    std::string reply_;
    void *context_ = nullptr;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::mutex mutex_;
    std::vector<std::string> names_;
    std::vector<std::string> requests_;
    std::string authorization_;
    std::thread thread_;
};

} // namespace vigilon::test
