// SPDX-License-Identifier: MIT
// The TLS client session on Schannel, through SSPI on memory buffers. The
// certificate is judged here after the handshake (Schannel is told to leave
// it to us), against the system's trust store through the chain engine.
#include "probes/TlsSession.h"

#include "probes/NetAddress.h"

#include <windows.h>
#define SECURITY_WIN32
#include <security.h>
// SCH_CREDENTIALS and what it is made of.
#define SCHANNEL_USE_BLACKLISTS
#include <subauth.h>
#include <schannel.h>
#include <wincrypt.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace vigilon::tls {
namespace {

constexpr unsigned long contextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                         ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                                         ISC_REQ_MANUAL_CRED_VALIDATION;

// The type byte of a TLS record that carries an alert (TLS 1.2 and older
// show it in the clear).
constexpr unsigned char alertContentType = 21;

// Passes of InitializeSecurityContextW over bytes already received: each
// consumes a whole handshake flight, so a few always do.
constexpr int maxNegotiatePasses = 16;

std::wstring widen(const std::string &text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::int64_t unixSeconds(const FILETIME &time)
{
    // FILETIME counts 100 ns steps since 1601.
    const std::int64_t ticks =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    constexpr std::int64_t epochDifference = 116444736000000000LL;
    const std::int64_t since1970 = ticks - epochDifference;
    return since1970 >= 0 ? since1970 / 10000000 : -((-since1970 + 9999999) / 10000000);
}

// Expiry of one certificate as the clock stands: None when in date.
FailureKind dateVerdict(PCCERT_CONTEXT cert)
{
    const LONG verdict = CertVerifyTimeValidity(nullptr, cert->pCertInfo);
    if (verdict > 0)
        return FailureKind::CertExpired;
    if (verdict < 0)
        return FailureKind::CertNotYetValid;
    return FailureKind::None;
}

// Whether the certificate's subject alternative names hold this address.
// (The chain policy compares DNS names only, so addresses are matched here,
// as OpenSSL matches them: IP entries only, never the common name.)
bool holdsAddress(PCCERT_CONTEXT cert, const net::NetAddress &address)
{
    const CERT_INFO *info = cert->pCertInfo;
    const CERT_EXTENSION *extension =
        CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
    if (!extension)
        return false;
    CERT_ALT_NAME_INFO *names = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                             extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size))
        return false;
    const std::size_t length = address.isIpv6() ? 16 : 4;
    bool found = false;
    for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
        const CERT_ALT_NAME_ENTRY &entry = names->rgAltEntry[i];
        found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == length &&
                std::memcmp(entry.IPAddress.pbData, address.bytes.data(), length) == 0;
    }
    LocalFree(names);
    return found;
}

// The SSL chain policy's verdict on a built chain: serverName null checks
// no name; dates are judged apart.
HRESULT sslPolicyError(PCCERT_CHAIN_CONTEXT chain, const wchar_t *serverName)
{
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | (serverName ? 0 : SECURITY_FLAG_IGNORE_CERT_CN_INVALID);
    ssl.pwszServerName = const_cast<wchar_t *>(serverName);
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_NOT_TIME_VALID_FLAGS;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
        return E_FAIL;
    return static_cast<HRESULT>(status.dwError);
}

class SchannelSession final : public Session {
public:
    SchannelSession(const std::string &host, CredHandle credentials)
        : credentials_(credentials)
    {
        isAddress_ = net::parseNumericHost(host, address_);
        // The name goes out as SNI and is what the chain policy checks; an
        // address is neither sent nor given to the policy.
        if (!isAddress_)
            serverName_ = widen(host);
    }

    ~SchannelSession() override
    {
        if (haveContext_)
            DeleteSecurityContext(&context_);
        FreeCredentialsHandle(&credentials_);
    }

    SchannelSession(const SchannelSession &) = delete;
    SchannelSession &operator=(const SchannelSession &) = delete;

    void receive(const char *data, std::size_t size) override { incoming_.append(data, size); }
    std::string takeOutgoing() override { return std::exchange(outgoing_, std::string()); }

    Progress handshake() override
    {
        switch (state_) {
        case State::Handshaking:
            return negotiate();
        case State::Failed:
            return Progress::Failed;
        default:
            return Progress::Done;
        }
    }

    bool write(const std::string &plain) override
    {
        if (state_ != State::Open && state_ != State::Renegotiating)
            return false;
        if (plain.empty())
            return true;
        const std::size_t chunkLimit = sizes_.cbMaximumMessage ? sizes_.cbMaximumMessage : 16384;
        std::size_t offset = 0;
        do {
            const std::size_t chunk = std::min(chunkLimit, plain.size() - offset);
            std::string record(sizes_.cbHeader + chunk + sizes_.cbTrailer, '\0');
            std::memcpy(record.data() + sizes_.cbHeader, plain.data() + offset, chunk);
            SecBuffer buffers[4] = {
                {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                {static_cast<unsigned long>(chunk), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
                {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes_.cbHeader + chunk},
                {0, SECBUFFER_EMPTY, nullptr},
            };
            SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
            if (EncryptMessage(&context_, 0, &description, 0) != SEC_E_OK)
                return false;
            // The trailer may come out shorter than its room.
            outgoing_.append(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
            offset += chunk;
        } while (offset < plain.size());
        return true;
    }

    Progress read(std::string &plain) override
    {
        if (state_ == State::Closed)
            return Progress::Done;
        if (state_ != State::Open && state_ != State::Renegotiating)
            return Progress::Failed;
        bool got = false;
        // Every pass consumes a record or ends the loop.
        while (true) {
            if (state_ == State::Renegotiating) {
                const Progress progress = negotiate();
                if (progress == Progress::Failed)
                    return Progress::Failed;
                if (progress == Progress::Again)
                    break;
            }
            if (incoming_.empty())
                break;
            const std::size_t before = incoming_.size();
            const bool alertRecord = static_cast<unsigned char>(incoming_[0]) == alertContentType;
            SecBuffer buffers[4] = {
                {static_cast<unsigned long>(incoming_.size()), SECBUFFER_DATA, incoming_.data()},
                {0, SECBUFFER_EMPTY, nullptr},
                {0, SECBUFFER_EMPTY, nullptr},
                {0, SECBUFFER_EMPTY, nullptr},
            };
            SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
            const SECURITY_STATUS status = DecryptMessage(&context_, &description, 0, nullptr);
            if (status == SEC_E_INCOMPLETE_MESSAGE)
                break;
            if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED)
                return fail(FailureKind::TlsHandshakeFailed);
            std::size_t extra = 0;
            bool gotHere = false;
            for (const SecBuffer &buffer : buffers) {
                if (buffer.BufferType == SECBUFFER_DATA && buffer.cbBuffer > 0 && buffer.pvBuffer) {
                    plain.append(static_cast<const char *>(buffer.pvBuffer), buffer.cbBuffer);
                    got = gotHere = true;
                } else if (buffer.BufferType == SECBUFFER_EXTRA) {
                    extra = buffer.cbBuffer;
                }
            }
            // What was not part of this record stays at the end of the input.
            incoming_.erase(0, before - std::min(extra, before));
            // The server's close_notify. Schannel says so with
            // SEC_I_CONTEXT_EXPIRED; Wine's decrypts the alert record to no
            // text and says SEC_E_OK, which the record's type tells apart
            // (an empty record of text has the type of text).
            if (status == SEC_I_CONTEXT_EXPIRED || (status == SEC_E_OK && alertRecord && !gotHere)) {
                state_ = State::Closed;
                return Progress::Done;
            }
            if (status == SEC_I_RENEGOTIATE) {
                // The server wants the handshake layer again: a renegotiation,
                // or a TLS 1.3 message after the handshake (a session ticket,
                // a key update) that the extra bytes carry.
                state_ = State::Renegotiating;
                callOwed_ = true;
                continue;
            }
            if (incoming_.size() == before)
                break;
        }
        return got ? Progress::Done : Progress::Again;
    }

    bool peerClosed() const override { return state_ == State::Closed; }
    FailureReason failure() const override { return FailureReason::of(failure_); }
    Certificate certificate() const override { return certificate_; }

private:
    enum class State { Handshaking, Open, Renegotiating, Closed, Failed };

    Progress fail(FailureKind kind)
    {
        state_ = State::Failed;
        failure_ = kind;
        return Progress::Failed;
    }

    // Runs the handshake over what has been received, until Schannel needs
    // more bytes or is done.
    Progress negotiate()
    {
        for (int pass = 0; pass < maxNegotiatePasses; ++pass) {
            if (haveContext_ && incoming_.empty() && !callOwed_)
                return Progress::Again;
            callOwed_ = false;
            SecBuffer input[2] = {
                {static_cast<unsigned long>(incoming_.size()), SECBUFFER_TOKEN, incoming_.data()},
                {0, SECBUFFER_EMPTY, nullptr},
            };
            SecBufferDesc inputDescription{SECBUFFER_VERSION, 2, input};
            SecBuffer output[1] = {{0, SECBUFFER_TOKEN, nullptr}};
            SecBufferDesc outputDescription{SECBUFFER_VERSION, 1, output};
            unsigned long attributes = 0;
            const bool first = !haveContext_;
            const SECURITY_STATUS status = InitializeSecurityContextW(
                &credentials_, first ? nullptr : &context_,
                serverName_.empty() ? nullptr : const_cast<wchar_t *>(serverName_.c_str()), contextRequest, 0, 0,
                first ? nullptr : &inputDescription, 0, first ? &context_ : nullptr, &outputDescription, &attributes,
                nullptr);
            if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED))
                haveContext_ = true;
            // A failing handshake may still have an alert for the server.
            if (output[0].pvBuffer) {
                outgoing_.append(static_cast<const char *>(output[0].pvBuffer), output[0].cbBuffer);
                FreeContextBuffer(output[0].pvBuffer);
            }
            if (status == SEC_E_INCOMPLETE_MESSAGE)
                return Progress::Again;
            if (status == SEC_I_INCOMPLETE_CREDENTIALS)
                continue; // asked for a certificate of ours: go on without one
            if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED)
                return fail(FailureKind::TlsHandshakeFailed);
            if (!first) {
                const std::size_t extra = input[1].BufferType == SECBUFFER_EXTRA ? input[1].cbBuffer : 0;
                incoming_.erase(0, incoming_.size() - std::min<std::size_t>(extra, incoming_.size()));
            }
            if (status == SEC_E_OK)
                return established();
        }
        return fail(FailureKind::TlsHandshakeFailed);
    }

    // The handshake (or a renegotiation) has completed; what is left of the
    // input is application data.
    Progress established()
    {
        if (state_ == State::Renegotiating) {
            state_ = State::Open;
            return Progress::Done;
        }
        if (QueryContextAttributesW(&context_, SECPKG_ATTR_STREAM_SIZES, &sizes_) != SEC_E_OK)
            return fail(FailureKind::TlsHandshakeFailed);
        PCCERT_CONTEXT leaf = nullptr;
        if (QueryContextAttributesW(&context_, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &leaf) != SEC_E_OK || !leaf)
            return fail(FailureKind::CertUntrusted);
        certificate_.present = true;
        certificate_.notBefore = unixSeconds(leaf->pCertInfo->NotBefore);
        certificate_.notAfter = unixSeconds(leaf->pCertInfo->NotAfter);
        const FailureKind verdict = judge(leaf);
        CertFreeCertificateContext(leaf);
        if (verdict != FailureKind::None)
            return fail(verdict);
        state_ = State::Open;
        return Progress::Done;
    }

    // The certificate's verdict. Where several reasons apply, the one
    // named is the first of: not trusted (nothing else the certificate says
    // can be believed then), expired, not yet valid (the dates of any
    // certificate of the chain), name mismatch.
    FailureKind judge(PCCERT_CONTEXT leaf) const
    {
        CERT_CHAIN_PARA parameters{};
        parameters.cbSize = sizeof parameters;
        char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
        char *usages[] = {serverAuth};
        parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
        parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
        parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
        PCCERT_CHAIN_CONTEXT chain = nullptr;
        // The server's intermediates come in the leaf's own store. Nothing
        // is fetched from the network (the session never waits): what the
        // server sent and what this system holds decide.
        if (!CertGetCertificateChain(nullptr, leaf, nullptr, leaf->hCertStore, &parameters,
                                     CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL, nullptr, &chain))
            return FailureKind::CertUntrusted;
        // Trust: the chain's own faults, and the policy's. The policy does
        // not answer for every fault of the chain everywhere (Wine passes a
        // chain that ends short of a root), so both are asked.
        constexpr DWORD notOfTrust = CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_IS_NOT_TIME_NESTED |
                                     CERT_TRUST_CTL_IS_NOT_TIME_VALID | CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                                     CERT_TRUST_IS_OFFLINE_REVOCATION;
        FailureKind verdict = FailureKind::None;
        if ((chain->TrustStatus.dwErrorStatus & ~notOfTrust) != 0 || sslPolicyError(chain, nullptr) != S_OK)
            verdict = FailureKind::CertUntrusted;
        if (verdict == FailureKind::None && chain->cChain > 0) {
            const CERT_SIMPLE_CHAIN *simple = chain->rgpChain[0];
            for (DWORD i = 0; i < simple->cElement && verdict != FailureKind::CertExpired; ++i) {
                const FailureKind date = dateVerdict(simple->rgpElement[i]->pCertContext);
                if (date != FailureKind::None)
                    verdict = date;
            }
        }
        if (verdict == FailureKind::None) {
            if (isAddress_) {
                if (!holdsAddress(leaf, address_))
                    verdict = FailureKind::NameMismatch;
            } else {
                const HRESULT error = sslPolicyError(chain, serverName_.c_str());
                if (error == static_cast<HRESULT>(CERT_E_CN_NO_MATCH))
                    verdict = FailureKind::NameMismatch;
                else if (error != S_OK)
                    verdict = FailureKind::CertUntrusted;
            }
        }
        CertFreeCertificateChain(chain);
        return verdict;
    }

    CredHandle credentials_;
    CtxtHandle context_{};
    bool haveContext_ = false;
    // Schannel asked for the handshake layer: it is called once even when
    // no bytes wait, with an empty token, as a renegotiation that the
    // server asked for begins with our hello. (Wine's Schannel takes no
    // call without a whole record, so it cannot renegotiate; the check
    // then waits until its time is up.)
    bool callOwed_ = false;
    State state_ = State::Handshaking;
    FailureKind failure_ = FailureKind::None;
    Certificate certificate_;
    SecPkgContext_StreamSizes sizes_{};
    bool isAddress_ = false;
    net::NetAddress address_;
    std::wstring serverName_;
    std::string incoming_;
    std::string outgoing_;
};

// Client credentials that leave the certificate to us and offer no
// certificate of ours. The newer structure first (it lets the system offer
// TLS 1.3); systems that do not know it take the older one.
bool acquireCredentials(CredHandle &credentials, SECURITY_STATUS &status)
{
    constexpr DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    TimeStamp expiry;
    SCH_CREDENTIALS current{};
    current.dwVersion = SCH_CREDENTIALS_VERSION;
    current.dwFlags = flags;
    status = AcquireCredentialsHandleW(nullptr, const_cast<wchar_t *>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                       &current, nullptr, nullptr, &credentials, &expiry);
    if (status == SEC_E_OK)
        return true;
    SCHANNEL_CRED older{};
    older.dwVersion = SCHANNEL_CRED_VERSION;
    older.dwFlags = flags;
    status = AcquireCredentialsHandleW(nullptr, const_cast<wchar_t *>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                       &older, nullptr, nullptr, &credentials, &expiry);
    return status == SEC_E_OK;
}

} // namespace

bool trustReady(EventLoop &, std::function<void()>, std::uint64_t &ticket)
{
    // Schannel's chain engine holds the system's store itself.
    ticket = 0;
    return true;
}

void cancelTrustWait(std::uint64_t) {}

std::unique_ptr<Session> openSession(const std::string &host, std::string *error)
{
    CredHandle credentials{};
    SECURITY_STATUS status = SEC_E_OK;
    if (!acquireCredentials(credentials, status)) {
        if (error) {
            char text[80];
            std::snprintf(text, sizeof text, "Schannel credentials could not be had (0x%08lX)",
                          static_cast<unsigned long>(status));
            *error = text;
        }
        return nullptr;
    }
    return std::make_unique<SchannelSession>(host, credentials);
}

} // namespace vigilon::tls
