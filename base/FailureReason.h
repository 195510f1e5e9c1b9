// SPDX-License-Identifier: MIT
#pragma once

#include <string>

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
};

struct FailureReason {
    FailureKind kind = FailureKind::None;
    // Unreachable only. type: the ICMP (icmp6: ICMPv6) type of the message
    // read, -1 when the system said so without one; code: its code, or for
    // a system error 0 (network) or 1 (host), -1 when unknown.
    int type = -1;
    int code = -1;
    bool icmp6 = false;

    bool failed() const { return kind != FailureKind::None; }
    bool operator==(const FailureReason &) const = default;

    static FailureReason of(FailureKind kind) { return FailureReason{kind}; }
    static FailureReason unreachable(int type, int code, bool icmp6 = false)
    {
        return FailureReason{FailureKind::Unreachable, type, code, icmp6};
    }
    // code -1: the reply is not HTTP.
    static FailureReason httpStatus(int code) { return FailureReason{FailureKind::HttpStatus, -1, code}; }
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
