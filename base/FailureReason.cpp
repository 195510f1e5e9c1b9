// SPDX-License-Identifier: MIT
#include "base/FailureReason.h"

#include "base/HttpStatusRule.h"
#include "base/Language.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"

#include <iterator>

namespace vigilon {

namespace {
// Time exceeded; every other type read is destination unreachable.
constexpr int Icmp4TimeExceeded = 11, Icmp6TimeExceeded = 3;

const char *timeExceededText(int code, bool icmp6)
{
    if (code == 1)
        return "Fragment reassembly time exceeded.";
    return icmp6 ? "Hop limit exceeded in transit." : "Time to live exceeded in transit.";
}

// The words of an unreachable reason after "unreachable: "; empty when
// nothing more is known.
std::string unreachableWords(const FailureReason &reason)
{
    const bool exceeded = reason.type == (reason.icmp6 ? Icmp6TimeExceeded : Icmp4TimeExceeded);
    if (reason.type < 0)
        return reason.code < 0 ? std::string() : icmpUnreachableText(reason.code);
    std::string words = exceeded       ? timeExceededText(reason.code, reason.icmp6)
                        : reason.icmp6 ? icmp6UnreachableText(reason.code)
                                       : icmpUnreachableText(reason.code);
    words += reason.icmp6 ? " (ICMPv6 " : " (ICMP ";
    words += exceeded ? "time exceeded" : "destination unreachable";
    return words + ", code " + std::to_string(reason.code) + ")";
}

// The words of a reason about an HTTP request's body or redirects.
const std::string &requestReasonWords(const FailureReason &reason, Language language)
{
    unsigned id = sid::ReasonBodyTooLarge;
    if (reason.kind == FailureKind::ContentRule)
        id = reason.code == FailureReason::ContentFound     ? sid::ReasonTextFound
             : reason.code == FailureReason::ContentNoMatch ? sid::ReasonNoMatch
                                                            : sid::ReasonTextNotFound;
    else if (reason.kind == FailureKind::Redirect)
        id = reason.code == FailureReason::RedirectToHttp     ? sid::ReasonRedirectToHttp
             : reason.code == FailureReason::TooManyRedirects ? sid::ReasonTooManyRedirects
                                                              : sid::ReasonBadLocation;
    return loadString(id, language);
}

// The words of a DNS check's reason.
const std::string &dnsReasonWords(FailureKind kind, Language language)
{
    const unsigned id = kind == FailureKind::DnsNxDomain    ? sid::ReasonDnsNxDomain
                        : kind == FailureKind::DnsServFail  ? sid::ReasonDnsServFail
                        : kind == FailureKind::DnsRefused   ? sid::ReasonDnsRefused
                        : kind == FailureKind::DnsNoAnswer  ? sid::ReasonDnsNoAnswer
                                                            : sid::ReasonDnsAnswerDiffers;
    return loadString(id, language);
}

// The words, then what they are about (the rule, the location) in
// parentheses where it is known.
std::string withDetail(const std::string &words, const std::string &detail)
{
    return detail.empty() ? words : words + " (" + detail + ")";
}
} // namespace

const char *icmpUnreachableText(int code)
{
    static const char *const texts[] = {
        "Network is unreachable.",
        "Host is unreachable.",
        "Requested protocol is not supported at the destination.",
        "Port is unreachable.",
        "Fragmentation is needed.",
        "Source route has failed.",
        "Destination network is unknown.",
        "Destination host is unknown.",
        "Source host is isolated.",
        "Communication with destination net is administratively forbidden.",
        "Communication with destination host is administratively forbidden.",
        "Network is unreachable for specified Type of Service.",
        "Host is unreachable for specified Type of Service.",
    };
    return code >= 0 && code < int(std::size(texts)) ? texts[code] : "unknown error";
}

const char *icmp6UnreachableText(int code)
{
    static const char *const texts[] = {
        "No route to destination.",
        "Communication with destination is administratively prohibited.",
        "Beyond scope of source address.",
        "Address is unreachable.",
        "Port is unreachable.",
        "Source address failed ingress/egress policy.",
        "Reject route to destination.",
        "Error in source routing header.",
    };
    return code >= 0 && code < int(std::size(texts)) ? texts[code] : "unknown error";
}

std::string reasonText(const FailureReason &reason)
{
    switch (reason.kind) {
    case FailureKind::None:
        return {};
    case FailureKind::TimedOut:
        return "timed out";
    case FailureKind::Refused:
        return "refused";
    case FailureKind::Reset:
        return "reset";
    case FailureKind::Unreachable: {
        const std::string words = unreachableWords(reason);
        return words.empty() ? "unreachable" : "unreachable: " + words;
    }
    case FailureKind::NameNotFound:
        return "name not found";
    case FailureKind::LookupTimedOut:
        return "name lookup timed out";
    case FailureKind::ClosedBeforeReply:
        return "closed before a reply";
    case FailureKind::LocalShortage:
        return "local shortage";
    case FailureKind::CertExpired:
        return "certificate expired";
    case FailureKind::CertNotYetValid:
        return "certificate not yet valid";
    case FailureKind::CertUntrusted:
        return "certificate not trusted";
    case FailureKind::NameMismatch:
        return "name does not match";
    case FailureKind::TlsHandshakeFailed:
        return "TLS handshake failed";
    case FailureKind::HttpStatus:
        return reason.code < 0 ? "not an HTTP reply" : "HTTP " + httpStatusWords(reason.code);
    case FailureKind::NotPermitted:
        return "not permitted";
    case FailureKind::UnexpectedReply:
        return "unexpected reply";
    case FailureKind::ContentRule:
    case FailureKind::BodyTooLarge:
    case FailureKind::Redirect:
        return withDetail(requestReasonWords(reason, Language::English), reason.detail);
    case FailureKind::DnsNxDomain:
    case FailureKind::DnsServFail:
    case FailureKind::DnsRefused:
    case FailureKind::DnsNoAnswer:
    case FailureKind::DnsAnswerDiffers:
        return withDetail(dnsReasonWords(reason.kind, Language::English), reason.detail);
    case FailureKind::NoHeartbeat:
        return "no heartbeat";
    case FailureKind::ReportedDown:
        return reason.detail.empty() ? "reported down" : reason.detail;
    }
    return {};
}

std::string reasonTextShown(const FailureReason &reason)
{
    switch (reason.kind) {
    case FailureKind::None:
        return {};
    case FailureKind::TimedOut:
        return loadString(sid::ReasonTimedOut);
    case FailureKind::Refused:
        return loadString(sid::ReasonRefused);
    case FailureKind::Reset:
        return loadString(sid::ReasonReset);
    case FailureKind::Unreachable: {
        // The ICMP words stay as the system's own diagnostic text.
        const std::string words = unreachableWords(reason);
        return words.empty() ? loadString(sid::ReasonUnreachable)
                             : formatText(loadString(sid::ReasonUnreachableWhy), {words});
    }
    case FailureKind::NameNotFound:
        return loadString(sid::ReasonNameNotFound);
    case FailureKind::LookupTimedOut:
        return loadString(sid::ReasonLookupTimedOut);
    case FailureKind::ClosedBeforeReply:
        return loadString(sid::ReasonClosedBeforeReply);
    case FailureKind::LocalShortage:
        return loadString(sid::ReasonLocalShortage);
    case FailureKind::CertExpired:
        return loadString(sid::ReasonCertExpired);
    case FailureKind::CertNotYetValid:
        return loadString(sid::ReasonCertNotYetValid);
    case FailureKind::CertUntrusted:
        return loadString(sid::ReasonCertUntrusted);
    case FailureKind::NameMismatch:
        return loadString(sid::ReasonNameMismatch);
    case FailureKind::TlsHandshakeFailed:
        return loadString(sid::ReasonTlsHandshakeFailed);
    case FailureKind::HttpStatus:
        // The code's phrase is the protocol's own, in English in every language.
        return reason.code < 0 ? loadString(sid::ReasonNotHttp)
                               : formatText(loadString(sid::ReasonHttpStatus), {httpStatusWords(reason.code)});
    case FailureKind::NotPermitted:
        return loadString(sid::ReasonNotPermitted);
    case FailureKind::UnexpectedReply:
        return loadString(sid::ReasonUnexpectedReply);
    case FailureKind::ContentRule:
    case FailureKind::BodyTooLarge:
    case FailureKind::Redirect:
        return withDetail(requestReasonWords(reason, currentLanguage()), reason.detail);
    case FailureKind::DnsNxDomain:
    case FailureKind::DnsServFail:
    case FailureKind::DnsRefused:
    case FailureKind::DnsNoAnswer:
    case FailureKind::DnsAnswerDiffers:
        return withDetail(dnsReasonWords(reason.kind, currentLanguage()), reason.detail);
    case FailureKind::NoHeartbeat:
        return loadString(sid::ReasonNoHeartbeat);
    case FailureKind::ReportedDown:
        // The job's own words, as it sent them.
        return reason.detail.empty() ? loadString(sid::ReasonReportedDown) : reason.detail;
    }
    return {};
}

} // namespace vigilon
