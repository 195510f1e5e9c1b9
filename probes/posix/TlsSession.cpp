// SPDX-License-Identifier: MIT
// The client side of a TLS connection with OpenSSL, through memory BIOs.
#include "probes/TlsSession.h"

#include "probes/NetAddress.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <openssl/crypto.h>
#include <openssl/pem.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vigilon::tls {

namespace {

// The process's one client context and the trust store it holds, made on a
// thread of its own: reading a trust file can take seconds (a bundle of
// many megabytes), and a FIFO or a device named as one would never end, so
// none of it is done on the loop. Every certificate of the trust file and
// of the trust folders' hashed files is read into the context's store, so
// that judging a chain looks nothing up on disk.
class TrustLoader {
public:
    static TrustLoader &instance()
    {
        static TrustLoader loader;
        return loader;
    }

    // Begins the reading on its first call.
    bool ready(EventLoop &loop, std::function<void()> fn, std::uint64_t &ticket)
    {
        std::lock_guard lock(mutex_);
        if (done_) {
            ticket = 0;
            return true;
        }
        if (!worker_.joinable())
            worker_ = std::thread([this] { load(); });
        ticket = nextTicket_++;
        waiters_.push_back({ticket, &loop, std::move(fn)});
        return false;
    }

    void cancel(std::uint64_t ticket)
    {
        std::lock_guard lock(mutex_);
        std::erase_if(waiters_, [ticket](const Waiter &w) { return w.ticket == ticket; });
    }

    // Null until the reading is done, or when it failed (error then says why).
    SSL_CTX *context(std::string *error)
    {
        std::lock_guard lock(mutex_);
        if (!done_) {
            if (error)
                *error = "the trusted certificates are still being read";
            return nullptr;
        }
        if (!context_ && error)
            *error = why_;
        return context_;
    }

private:
    struct Waiter {
        std::uint64_t ticket;
        EventLoop *loop;
        std::function<void()> fn;
    };

    TrustLoader()
    {
        // OpenSSL's own cleanup at exit is registered before this object's
        // end, so it comes after the reader has stopped.
        OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
    }

    ~TrustLoader()
    {
        stop_ = true;
        if (worker_.joinable())
            worker_.join();
        SSL_CTX_free(context_);
    }

    // A regular file's bytes; a FIFO, a device or a folder is refused
    // without a wait (it is opened without blocking and looked at first).
    bool readRegular(const std::string &path, std::string &bytes, bool sayWhyNot)
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            return false;
        struct stat info{};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            if (sayWhyNot)
                std::fprintf(stderr, "vigilon: %s is not a regular file; it is left out of the trusted certificates\n",
                             path.c_str());
            return false;
        }
        bytes.clear();
        char buffer[65536];
        while (!stop_) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(fd);
        return !stop_;
    }

    // Adds every certificate of a PEM text to the store.
    void addPem(X509_STORE *store, const std::string &bytes)
    {
        BIO *bio = BIO_new_mem_buf(bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX)));
        if (!bio)
            return;
        while (!stop_) {
            char *name = nullptr;
            char *header = nullptr;
            unsigned char *der = nullptr;
            long length = 0;
            if (PEM_read_bio(bio, &name, &header, &der, &length) != 1)
                break;
            const unsigned char *at = der;
            if (std::strcmp(name, PEM_STRING_X509) == 0 || std::strcmp(name, PEM_STRING_X509_OLD) == 0 ||
                std::strcmp(name, PEM_STRING_X509_TRUSTED) == 0) {
                X509 *certificate = std::strcmp(name, PEM_STRING_X509_TRUSTED) == 0 ? d2i_X509_AUX(nullptr, &at, length)
                                                                                    : d2i_X509(nullptr, &at, length);
                if (certificate) {
                    X509_STORE_add_cert(store, certificate);
                    X509_free(certificate);
                }
            } else if (std::strcmp(name, PEM_STRING_X509_CRL) == 0) {
                if (X509_CRL *crl = d2i_X509_CRL(nullptr, &at, length)) {
                    X509_STORE_add_crl(store, crl);
                    X509_CRL_free(crl);
                }
            }
            OPENSSL_free(name);
            OPENSSL_free(header);
            OPENSSL_free(der);
        }
        BIO_free(bio);
        ERR_clear_error();
    }

    // The names OpenSSL looks certificates up by in a trust folder: the
    // subject's hash, a dot and a number (8 hexadecimal digits, ".0").
    static bool hashedName(const char *name)
    {
        std::size_t n = 0;
        for (; n < 8; ++n) {
            if (!std::isxdigit(static_cast<unsigned char>(name[n])))
                return false;
        }
        if (name[n++] != '.' || !name[n])
            return false;
        for (; name[n]; ++n) {
            if (!std::isdigit(static_cast<unsigned char>(name[n])))
                return false;
        }
        return true;
    }

    void load()
    {
        OPENSSL_init_ssl(0, nullptr);
        SSL_CTX *made = SSL_CTX_new(TLS_client_method());
        std::string why;
        if (made) {
            SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION);
            X509_STORE *store = SSL_CTX_get_cert_store(made);
            // The trust file and folders OpenSSL would use: SSL_CERT_FILE and
            // SSL_CERT_DIR, else the system's.
            const char *file = std::getenv(X509_get_default_cert_file_env());
            const char *folders = std::getenv(X509_get_default_cert_dir_env());
            std::string bytes;
            if (readRegular(file ? file : X509_get_default_cert_file(), bytes, true))
                addPem(store, bytes);
            std::string list = folders ? folders : X509_get_default_cert_dir();
            for (std::size_t from = 0; from <= list.size() && !stop_;) {
                const std::size_t to = std::min(list.find(':', from), list.size());
                const std::string folder = list.substr(from, to - from);
                from = to + 1;
                DIR *dir = folder.empty() ? nullptr : ::opendir(folder.c_str());
                if (!dir)
                    continue;
                while (const dirent *entry = ::readdir(dir)) {
                    if (stop_)
                        break;
                    if (hashedName(entry->d_name) && readRegular(folder + "/" + entry->d_name, bytes, true))
                        addPem(store, bytes);
                }
                ::closedir(dir);
            }
            // Sorted here once, not at the first lookup on the loop.
            X509_STORE_lock(store);
            sk_X509_OBJECT_sort(X509_STORE_get0_objects(store));
            X509_STORE_unlock(store);
            SSL_CTX_set_verify(made, SSL_VERIFY_PEER, nullptr);
            SSL_CTX_set_cert_verify_callback(made, &verifyChain, nullptr);
        } else {
            why = "cannot make a TLS context";
        }
        ERR_clear_error();
        std::lock_guard lock(mutex_);
        context_ = made;
        why_ = why;
        done_ = true;
        // Each loop with a check waiting hears it on its own thread.
        std::vector<EventLoop *> loops;
        for (const Waiter &w : waiters_) {
            if (std::find(loops.begin(), loops.end(), w.loop) == loops.end())
                loops.push_back(w.loop);
        }
        for (EventLoop *loop : loops)
            loop->post([this, loop] { deliver(loop); });
    }

    void deliver(EventLoop *loop)
    {
        std::vector<std::function<void()>> due;
        {
            std::lock_guard lock(mutex_);
            for (auto it = waiters_.begin(); it != waiters_.end();) {
                if (it->loop == loop) {
                    due.push_back(std::move(it->fn));
                    it = waiters_.erase(it);
                } else {
                    ++it;
                }
            }
        }
        for (auto &fn : due)
            fn();
    }

    static int verifyChain(X509_STORE_CTX *store, void *);

    std::mutex mutex_;
    std::thread worker_;
    std::atomic<bool> stop_{false};
    bool done_ = false;
    SSL_CTX *context_ = nullptr;
    std::string why_;
    std::vector<Waiter> waiters_;
    std::uint64_t nextTicket_ = 1;
};

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

int TrustLoader::verifyChain(X509_STORE_CTX *store, void *argument)
{
    return OpenSslSession::verify(store, argument);
}

} // namespace

bool trustReady(EventLoop &loop, std::function<void()> ready, std::uint64_t &ticket)
{
    return TrustLoader::instance().ready(loop, std::move(ready), ticket);
}

void cancelTrustWait(std::uint64_t ticket)
{
    if (ticket != 0)
        TrustLoader::instance().cancel(ticket);
}

std::unique_ptr<Session> openSession(const std::string &host, std::string *error)
{
    SSL_CTX *context = TrustLoader::instance().context(error);
    if (!context)
        return nullptr;

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
