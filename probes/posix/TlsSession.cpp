// SPDX-License-Identifier: MIT
// The client side of a TLS connection with OpenSSL, through memory BIOs.
#include "probes/TlsSession.h"

#include "probes/NetAddress.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <ctime>
#include <mutex>

namespace vigilon::tls {

namespace {

// One context for the process: loading the trust store costs far more than
// a handshake, so it is read once, at the first session.
SSL_CTX *sharedContext(std::string *error)
{
    static SSL_CTX *context = nullptr;
    static std::string why;
    static std::once_flag once;
    std::call_once(once, [] {
        SSL_CTX *made = SSL_CTX_new(TLS_client_method());
        if (!made) {
            why = "cannot make a TLS context";
            return;
        }
        SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION);
        // The system's trust store, or the one SSL_CERT_FILE / SSL_CERT_DIR
        // names.
        if (SSL_CTX_set_default_verify_paths(made) != 1) {
            why = "cannot load the system's trusted certificates";
            SSL_CTX_free(made);
            return;
        }
        SSL_CTX_set_verify(made, SSL_VERIFY_PEER, nullptr);
        context = made;
    });
    if (!context && error)
        *error = why;
    return context;
}

int sessionIndex()
{
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

std::int64_t secondsOf(const ASN1_TIME *time)
{
    std::tm tm{};
    if (!time || ASN1_TIME_to_tm(time, &tm) != 1)
        return 0;
    return static_cast<std::int64_t>(timegm(&tm));
}

// The reasons a chain can fail for, weighed. When several apply, the one
// named is the first of: not trusted (nothing else the certificate says
// can be believed then), expired, not yet valid (the dates of any
// certificate of the chain), name mismatch.
int weight(FailureKind kind)
{
    switch (kind) {
    case FailureKind::CertUntrusted:
        return 4;
    case FailureKind::CertExpired:
        return 3;
    case FailureKind::CertNotYetValid:
        return 2;
    case FailureKind::NameMismatch:
        return 1;
    default:
        return 0;
    }
}

FailureKind kindOfVerifyError(int error)
{
    switch (error) {
    case X509_V_OK:
        return FailureKind::None;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return FailureKind::CertExpired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return FailureKind::CertNotYetValid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
    case X509_V_ERR_EMAIL_MISMATCH:
        return FailureKind::NameMismatch;
    // Revocation lists are not fetched; their dates say nothing of the
    // server.
    case X509_V_ERR_CRL_HAS_EXPIRED:
    case X509_V_ERR_CRL_NOT_YET_VALID:
    case X509_V_ERR_UNABLE_TO_GET_CRL:
        return FailureKind::None;
    default:
        return FailureKind::CertUntrusted;
    }
}

class OpenSslSession final : public Session {
public:
    OpenSslSession(SSL *ssl, BIO *in, BIO *out) : ssl_(ssl), in_(in), out_(out)
    {
        SSL_set_ex_data(ssl_, sessionIndex(), this);
    }
    ~OpenSslSession() override { SSL_free(ssl_); }

    void receive(const char *data, std::size_t size) override
    {
        while (size > 0) {
            const int chunk = size > 0x40000000u ? 0x40000000 : static_cast<int>(size);
            const int wrote = BIO_write(in_, data, chunk);
            if (wrote <= 0)
                return;
            data += wrote;
            size -= static_cast<std::size_t>(wrote);
        }
    }

    std::string takeOutgoing() override
    {
        std::string bytes;
        char buffer[4096];
        int got = 0;
        while ((got = BIO_read(out_, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, static_cast<std::size_t>(got));
        return bytes;
    }

    Progress handshake() override
    {
        if (failure_.failed())
            return Progress::Failed;
        if (handshaken_)
            return Progress::Done;
        ERR_clear_error();
        const int result = SSL_do_handshake(ssl_);
        if (result == 1) {
            handshaken_ = true;
            takeLeaf(SSL_get0_peer_certificate(ssl_));
            return Progress::Done;
        }
        const int error = SSL_get_error(ssl_, result);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            return Progress::Again;
        ERR_clear_error();
        // The certificate's judgement, where the chain was what failed.
        failure_ = FailureReason::of(chainFailure_ != FailureKind::None ? chainFailure_ : FailureKind::TlsHandshakeFailed);
        return Progress::Failed;
    }

    bool write(const std::string &plain) override
    {
        if (!handshaken_ || failure_.failed())
            return false;
        if (plain.empty())
            return true;
        ERR_clear_error();
        std::size_t written = 0;
        const int ok = SSL_write_ex(ssl_, plain.data(), plain.size(), &written);
        ERR_clear_error();
        return ok == 1 && written == plain.size();
    }

    Progress read(std::string &plain) override
    {
        if (!handshaken_ || failure_.failed())
            return Progress::Failed;
        bool some = false;
        for (;;) {
            char buffer[4096];
            std::size_t got = 0;
            ERR_clear_error();
            if (SSL_read_ex(ssl_, buffer, sizeof buffer, &got) == 1) {
                plain.append(buffer, got);
                some = true;
                continue;
            }
            const int error = SSL_get_error(ssl_, 0);
            ERR_clear_error();
            if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
                return some ? Progress::Done : Progress::Again;
            if (error == SSL_ERROR_ZERO_RETURN) {
                peerClosed_ = true;
                return Progress::Done;
            }
            if (some)
                return Progress::Done;
            failure_ = FailureReason::of(FailureKind::TlsHandshakeFailed);
            return Progress::Failed;
        }
    }

    bool peerClosed() const override { return peerClosed_; }
    FailureReason failure() const override { return failure_; }
    Certificate certificate() const override { return leaf_; }

    // Verification of the server's chain: every fault is collected, and the
    // weightiest one decides.
    static int verify(X509_STORE_CTX *store, void *)
    {
        SSL *ssl = static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto *self = ssl ? static_cast<OpenSslSession *>(SSL_get_ex_data(ssl, sessionIndex())) : nullptr;
        if (!self)
            return 0;
        self->takeLeaf(X509_STORE_CTX_get0_cert(store));
        self->chainFailure_ = FailureKind::None;
        X509_STORE_CTX_set_verify_cb(store, [](int ok, X509_STORE_CTX *ctx) -> int {
            if (ok)
                return 1;
            SSL *s = static_cast<SSL *>(X509_STORE_CTX_get_ex_data(ctx, SSL_get_ex_data_X509_STORE_CTX_idx()));
            auto *session = s ? static_cast<OpenSslSession *>(SSL_get_ex_data(s, sessionIndex())) : nullptr;
            const FailureKind kind = kindOfVerifyError(X509_STORE_CTX_get_error(ctx));
            if (session && weight(kind) > weight(session->chainFailure_))
                session->chainFailure_ = kind;
            // Go on, so that every fault of the chain is seen.
            return 1;
        });
        if (X509_verify_cert(store) != 1 && self->chainFailure_ == FailureKind::None)
            self->chainFailure_ = FailureKind::CertUntrusted;
        if (self->chainFailure_ == FailureKind::None)
            return 1;
        X509_STORE_CTX_set_error(store, X509_V_ERR_CERT_REJECTED);
        return 0;
    }

private:
    void takeLeaf(const X509 *leaf)
    {
        if (!leaf)
            return;
        leaf_.present = true;
        leaf_.notBefore = secondsOf(X509_get0_notBefore(leaf));
        leaf_.notAfter = secondsOf(X509_get0_notAfter(leaf));
    }

    SSL *ssl_;
    BIO *in_;
    BIO *out_;
    bool handshaken_ = false;
    bool peerClosed_ = false;
    FailureKind chainFailure_ = FailureKind::None;
    FailureReason failure_;
    Certificate leaf_;
};

} // namespace

std::unique_ptr<Session> openSession(const std::string &host, std::string *error)
{
    SSL_CTX *context = sharedContext(error);
    if (!context)
        return nullptr;
    static std::once_flag verifier;
    std::call_once(verifier, [context] { SSL_CTX_set_cert_verify_callback(context, &OpenSslSession::verify, nullptr); });

    SSL *ssl = SSL_new(context);
    BIO *in = BIO_new(BIO_s_mem());
    BIO *out = BIO_new(BIO_s_mem());
    if (!ssl || !in || !out) {
        SSL_free(ssl);
        BIO_free(in);
        BIO_free(out);
        if (error)
            *error = "cannot make a TLS session";
        return nullptr;
    }
    // An empty input asks for more, it is no end of stream.
    BIO_set_mem_eof_return(in, -1);
    SSL_set_bio(ssl, in, out);
    SSL_set_connect_state(ssl);

    // An address is checked against the certificate's IP addresses and is
    // never sent as the server name; a name is both.
    net::NetAddress address;
    bool checked = false;
    if (net::parseNumericHost(host, address)) {
        checked = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), address.text().c_str()) == 1;
    } else {
        checked = SSL_set_tlsext_host_name(ssl, host.c_str()) == 1 && SSL_set1_host(ssl, host.c_str()) == 1;
    }
    if (!checked) {
        // A host the certificate could never match.
        X509_VERIFY_PARAM_set1_host(SSL_get0_param(ssl), "invalid.", 0);
    }
    return std::make_unique<OpenSslSession>(ssl, in, out);
}

} // namespace vigilon::tls
