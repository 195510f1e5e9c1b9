// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <utility>

namespace vigilon {

// Why a check failed, in a small fixed vocabulary.
enum class FailureKind : int {
    None = 0,
    TimedOut,
    Refused,
    Reset,
    // Unreachable: with the ICMP (ICMPv6) message that said so, where one
    // was read.
    Unreachable,
    NameNotFound,
    LookupTimedOut,
    // HTTP: the server ended the connection before any reply.
    ClosedBeforeReply,
    // This system ran short of a resource; such a check is not counted.
    LocalShortage,
    // TLS: the server's certificate and the handshake.
    CertExpired,
    CertNotYetValid,
    CertUntrusted,
    NameMismatch,
    TlsHandshakeFailed,
    // HTTP and HTTPS: the reply's status is not one that counts as alive
    // (its code in code), or the reply is not HTTP at all (code -1).
    HttpStatus,
    // This system does not let the program make the check (PING without
    // the right to ICMP); counted as a failure.
    NotPermitted,
    // UDP: a reply came without the bytes the entry expects.
    UnexpectedReply,
    // HTTP and HTTPS: the body of the reply did not meet the entry's
    // content rule (code: ContentNotFound, ContentFound, ContentNoMatch;
    // detail: the rule).
    ContentRule,
    // The part of the body that could decide the content rule lies past
    // the first MiB (detail: the rule).
    BodyTooLarge,
    // A redirect that is not followed (code: RedirectToHttp, TooManyRedirects,
    // BadLocation; detail: where it pointed).
    Redirect,
    // DNS: the server said the name does not exist (NXDOMAIN), could not
    // answer (SERVFAIL), or would not (REFUSED); it answered without a
    // record of the type asked for; or its answers were not the expected
    // ones (detail: what came).
    DnsNxDomain,
    DnsServFail,
    DnsRefused,
    DnsNoAnswer,
    DnsAnswerDiffers,
    // Push: no heartbeat came within the entry's interval times its retries
    // plus one.
    NoHeartbeat,
    // Push: the job said it failed (detail: its message, if any).
    ReportedDown,
};

struct FailureReason {
    FailureKind kind = FailureKind::None;
    // Unreachable only. type: the ICMP (icmp6: ICMPv6) type of the message
    // read, -1 when the system said so without one; code: its code, or for
    // a system error 0 (network) or 1 (host), -1 when unknown.
    int type = -1;
    int code = -1;
    bool icmp6 = false;
    // ContentRule, BodyTooLarge, Redirect: what the reason names.
    std::string detail;

    enum : int { ContentNotFound = 0, ContentFound = 1, ContentNoMatch = 2 };
    enum : int { RedirectToHttp = 0, TooManyRedirects = 1, BadLocation = 2 };

    bool failed() const { return kind != FailureKind::None; }
    bool operator==(const FailureReason &) const = default;

    static FailureReason of(FailureKind kind) { return FailureReason{kind, -1, -1, false, {}}; }
    static FailureReason unreachable(int type, int code, bool icmp6 = false)
    {
        return FailureReason{FailureKind::Unreachable, type, code, icmp6, {}};
    }
    // code -1: the reply is not HTTP.
    static FailureReason httpStatus(int code) { return FailureReason{FailureKind::HttpStatus, -1, code, false, {}}; }
    static FailureReason withDetail(FailureKind kind, int code, std::string detail)
    {
        return FailureReason{kind, -1, code, false, std::move(detail)};
    }
};

// The stable English text: standard error and the alert's environment,
// e.g. "refused", "unreachable: Host is unreachable. (ICMP destination
// unreachable, code 1)". Empty for None.
std::string reasonText(const FailureReason &reason);
// The text the user interface shows, in its current language.
std::string reasonTextShown(const FailureReason &reason);

// The diagnostic text of an ICMP destination-unreachable code, of ICMP and of
// ICMPv6; "unknown error" for a code without one.
const char *icmpUnreachableText(int code);
const char *icmp6UnreachableText(int code);

} // namespace vigilon
