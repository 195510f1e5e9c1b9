// SPDX-License-Identifier: MIT
#include "tests/support/TlsServer.h"

#include "tests/support/Network.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace vigilon::test {

namespace {

// What write puts into a memory BIO, as text.
template <class Write> std::string pemOf(Write write)
{
    BIO *bio = BIO_new(BIO_s_mem());
    write(bio);
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(size));
    BIO_free(bio);
    return text;
}

X509 *certificateOf(const std::string &pem)
{
    BIO *bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509 *certificate = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return certificate;
}

EVP_PKEY *keyOf(const std::string &pem)
{
    BIO *bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    EVP_PKEY *key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    return key;
}

void addExtension(X509 *certificate, X509 *issuer, int nid, const std::string &value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension) {
        X509_add_ext(certificate, extension, -1);
        X509_EXTENSION_free(extension);
    }
}

bool isAddress(const std::string &name)
{
    unsigned char bytes[16];
    return inet_pton(AF_INET, name.c_str(), bytes) == 1 || inet_pton(AF_INET6, name.c_str(), bytes) == 1;
}

// issuer null: self-signed.
Pem make(const std::string &commonName, const std::vector<std::string> &names, double fromDays, double toDays,
         bool authority, const Pem *issuer)
{
    EVP_PKEY *key = EVP_EC_gen("P-256");
    X509 *certificate = X509_new();
    X509_set_version(certificate, 2);
    static long serial = 1;
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial++);
    X509_gmtime_adj(X509_getm_notBefore(certificate), static_cast<long>(fromDays * 86400));
    X509_gmtime_adj(X509_getm_notAfter(certificate), static_cast<long>(toDays * 86400));
    X509_set_pubkey(certificate, key);
    X509_NAME *subject = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char *>(commonName.c_str()), -1, -1, 0);
    X509 *issuerCertificate = issuer ? certificateOf(issuer->certificate) : nullptr;
    EVP_PKEY *issuerKey = issuer ? keyOf(issuer->key) : nullptr;
    X509_set_issuer_name(certificate, issuerCertificate ? X509_get_subject_name(issuerCertificate) : subject);
    X509 *signer = issuerCertificate ? issuerCertificate : certificate;
    if (authority) {
        addExtension(certificate, signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(certificate, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(certificate, signer, NID_basic_constraints, "critical,CA:FALSE");
        std::string alternatives;
        for (const std::string &name : names)
            alternatives += (alternatives.empty() ? "" : ",") + std::string(isAddress(name) ? "IP:" : "DNS:") + name;
        if (!alternatives.empty())
            addExtension(certificate, signer, NID_subject_alt_name, alternatives);
        addExtension(certificate, signer, NID_ext_key_usage, "serverAuth");
    }
    addExtension(certificate, signer, NID_subject_key_identifier, "hash");
    X509_sign(certificate, issuerKey ? issuerKey : key, EVP_sha256());
    Pem pem{pemOf([&](BIO *bio) { PEM_write_bio_X509(bio, certificate); }),
            pemOf([&](BIO *bio) { PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr); })};
    X509_free(issuerCertificate);
    EVP_PKEY_free(issuerKey);
    X509_free(certificate);
    EVP_PKEY_free(key);
    return pem;
}

} // namespace

TestPki::TestPki() : ca_(make("Vigilon Test CA", {}, -1, 3650, true, nullptr)) {}

Pem TestPki::issue(const std::vector<std::string> &names, double fromDays, double toDays, bool selfSigned) const
{
    return make(names.empty() ? "server" : names.front(), names, fromDays, toDays, false, selfSigned ? nullptr : &ca_);
}

Pem TestPki::named(const std::string &kind) const
{
    const std::vector<std::string> local = {"localhost", "127.0.0.1", "::1"};
    if (kind == "good")
        return issue(local, -1, 90.5);
    if (kind == "expired")
        return issue(local, -30, -2.5);
    if (kind == "notyet")
        return issue(local, 5, 90.5);
    if (kind == "wrongname")
        return issue({"elsewhere.test", "192.0.2.1"}, -1, 90.5);
    if (kind == "selfsigned")
        return issue(local, -1, 90.5, true);
    if (kind == "soon")
        return issue(local, -1, 3.5);
    if (kind == "expiredelsewhere")
        return issue({"elsewhere.test"}, -30, -2.5);
    if (kind == "untrustedexpired")
        return issue({"elsewhere.test"}, -30, -2.5, true);
    return {};
}

bool TestPki::writeCa(const std::string &path) const
{
    std::FILE *file = std::fopen(path.c_str(), "w");
    if (!file)
        return false;
    const bool ok = std::fwrite(ca_.certificate.data(), 1, ca_.certificate.size(), file) == ca_.certificate.size();
    return std::fclose(file) == 0 && ok;
}

TlsServer::TlsServer(const Pem &identity, std::string httpReply, const std::string &address, std::uint16_t port)
    : reply_(std::move(httpReply)), port_(port)
{
    // A client that closes first must not end the test's process.
    std::signal(SIGPIPE, SIG_IGN);
    SSL_CTX *context = SSL_CTX_new(TLS_server_method());
    X509 *certificate = certificateOf(identity.certificate);
    EVP_PKEY *key = keyOf(identity.key);
    SSL_CTX_use_certificate(context, certificate);
    SSL_CTX_use_PrivateKey(context, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
    context_ = context;

    listener_ = boundSocket(SOCK_STREAM, 64, port_, address);
    if (listener_ < 0 || ::pipe(wake_) != 0) {
        ::close(listener_);
        listener_ = -1;
        return;
    }
    thread_ = std::thread([this] { run(); });
}

TlsServer::~TlsServer()
{
    if (thread_.joinable()) {
        const char stop = 1;
        (void)!::write(wake_[1], &stop, 1);
        thread_.join();
    }
    for (int fd : {listener_, wake_[0], wake_[1]})
        if (fd >= 0)
            ::close(fd);
    SSL_CTX_free(static_cast<SSL_CTX *>(context_));
}

std::vector<std::string> TlsServer::serverNames()
{
    std::lock_guard lock(mutex_);
    return names_;
}

void TlsServer::requireAuthorization(const std::string &value)
{
    std::lock_guard lock(mutex_);
    authorization_ = value;
}

std::vector<std::string> TlsServer::requests()
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void TlsServer::run()
{
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            serve(fd);
            ::close(fd);
        }
    }
}

void TlsServer::serve(int fd)
{
    // Every wait is bounded: a client that stalls costs the server 2 s.
    timeval limit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    SSL *ssl = SSL_new(static_cast<SSL_CTX *>(context_));
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) != 1) {
        SSL_free(ssl);
        return;
    }
    {
        const char *name = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
        std::lock_guard lock(mutex_);
        names_.push_back(name ? name : "");
    }
    std::string request;
    char buffer[4096];
    for (int reads = 0; reads < 64; ++reads) {
        const int got = SSL_read(ssl, buffer, sizeof buffer);
        if (got <= 0)
            break;
        request.append(buffer, static_cast<std::size_t>(got));
        if (!reply_.empty() && request.find("\r\n\r\n") != std::string::npos) {
            std::string reply;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
                reply = authorizedReply(request, reply_, authorization_);
            }
            SSL_write(ssl, reply.data(), static_cast<int>(reply.size()));
            break;
        }
    }
    SSL_shutdown(ssl);
    SSL_free(ssl);
}

} // namespace vigilon::test
