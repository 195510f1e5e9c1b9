// SPDX-License-Identifier: MIT
#include "app/base/FailureReason.h"

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
    }
    return {};
}

std::string reasonTextJa(const FailureReason &reason)
{
    switch (reason.kind) {
    case FailureKind::None:
        return {};
    case FailureKind::TimedOut:
        return "応答なし (タイムアウト)";
    case FailureKind::Refused:
        return "接続を拒否されました";
    case FailureKind::Reset:
        return "接続がリセットされました";
    case FailureKind::Unreachable: {
        // The ICMP words stay as the system's own diagnostic text.
        const std::string words = unreachableWords(reason);
        return words.empty() ? "到達できません" : "到達できません: " + words;
    }
    case FailureKind::NameNotFound:
        return "ホスト名が見つかりません";
    case FailureKind::LookupTimedOut:
        return "名前解決がタイムアウトしました";
    case FailureKind::ClosedBeforeReply:
        return "応答前に切断されました";
    case FailureKind::LocalShortage:
        return "ローカルの資源不足";
    }
    return {};
}

} // namespace vigilon
