// SPDX-License-Identifier: MIT
#pragma once

#include "base/FailureReason.h"
#include "base/HttpRequest.h"
#include "base/HttpStatusRule.h"
#include "base/QuietTime.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vigilon {

// The check kind of an entry; also the row of the kind list in the port
// settings dialog. Any other stored number is checked as GenericTcp.
enum ProbeProtocol : std::uint32_t {
    GenericTcp = 0,
    GenericUdp = 1,
    Ping = 2,
    Http = 3,
    Https = 4,
    Tls = 5,
    // A push entry: the monitored system reports to us.
    Push = 6,
    // A DNS server asked for a name and record type (dnsName, dnsType,
    // dnsExpect).
    Dns = 7,
};

// Whether a kind makes a TLS handshake (and so has a certificate).
inline bool usesTls(std::uint32_t protocol)
{
    return protocol == Https || protocol == Tls;
}

// The days of warning before a certificate expires when the store says
// nothing.
constexpr std::uint32_t DefaultCertWarnDays = 14;

// What a UDP entry's check waits for after its datagram.
enum UdpMode : std::uint32_t {
    // Nothing: the check succeeds once the datagram could be sent.
    UdpSendOnly = 0,
    // A refusal: the port's ICMP port-unreachable fails the check; silence
    // or a reply within UdpRefusalWindowMs passes.
    UdpClosedFails = 1,
    // A reply (holding the expected bytes, where some are given) within the
    // check's timeout.
    UdpExpectReply = 2,
};
// How long a check in UdpClosedFails mode waits for a refusal (or a reply)
// before it takes silence for an open port; at most the check's timeout.
constexpr std::uint32_t UdpRefusalWindowMs = 1000;

enum PortStatus : std::uint32_t {
    Ok = 0,
    Warning = 1,
    Failed = 2,
    Idle = 4,
};

// Images of the port list rows. Image 3 is never a status: it marks a check
// in progress.
enum ListImage : int {
    ImageOk = 0,
    ImageWarning = 1,
    ImageError = 2,
    ImageChecking = 3,
    ImageIdle = 4,
};

// One watched port. Its row in the port list is its place in the list of
// entries.
struct MonitorPort {
    // Names the entry while the program runs, whatever its row.
    std::uint32_t id = 0;
    std::int32_t active = 0;
    std::uint32_t port = 0;
    std::string name;
    std::uint32_t errorCount = 0;
    PortStatus status = Idle;
    std::uint32_t protocol = GenericTcp;
    std::uint32_t lastErrorTime = 0;
    std::uint32_t retryCount = 0;
    std::string command;
    std::uint32_t action = 1;
    std::uint32_t threshold = 0;
    // HTTP and HTTPS kinds: the replies that count as alive. An entry whose
    // rule is not valid is not checked.
    HttpStatusRule httpStatus;
    // The host this entry checks; empty for the target host.
    std::string host;
    // HTTPS and TLS: an entry whose certificate has this many days left or
    // fewer is Warning; 0 never warns.
    std::uint32_t certWarnDays = DefaultCertWarnDays;
    std::uint32_t responseTime = 0;
    // UDP: what the check waits for (UdpMode); the datagram it sends and
    // the bytes a reply must hold, as stored (see decodeUdpBytes): empty
    // sends one zero byte, and accepts any reply.
    std::uint32_t udpMode = UdpSendOnly;
    std::string udpPayload;
    std::string udpExpect;
    // HTTPS and TLS: the whole days the server's certificate had left at the
    // last handshake that showed one (negative once expired).
    bool certDaysKnown = false;
    std::int32_t certDaysLeft = 0;
    // And when it expires, in seconds since 1970 UTC (with certDaysKnown).
    std::int64_t certExpiresAt = 0;
    // The exact response time of the last check, in microseconds.
    std::uint64_t responseMicros = 0;
    // When the newest check whose outcome the entry took was started
    // (monotonic). An older check that reports later is out of date.
    std::uint64_t newestCheckMicros = 0;
    // Why the last failed check failed, and when (seconds since 1970).
    FailureReason lastReason;
    std::uint32_t lastReasonTime = 0;
    // The share of its checks that answered over the last 24 hours, as the
    // history last said; negative when unknown.
    double uptimeDay = -1;
    // Its row as last seen: a hint that rowOf() checks before it trusts it.
    mutable std::size_t rowHint = 0;
    // HTTP and HTTPS kinds: the request sent and what the reply's body must
    // show. An entry whose request cannot be sent (checkRequest()) is not
    // checked.
    HttpRequest request;
    // The message channels this entry uses, by index ("Channels #i");
    // absent: every channel.
    std::optional<std::vector<std::uint32_t>> channels;
    // DNS: the name asked for, the record type's word ("A", "MX"...) and the
    // answers expected as stored (see DnsExpectation): empty takes any.
    std::string dnsName;
    std::string dnsType;
    std::string dnsExpect;

    // The entry's own schedule ("Interval #i", "Retry #i", "Timeout #i"):
    // seconds between its checks, failures tolerated before one is declared,
    // and how long a check may take. 0 where it has none: the global
    // interval and retry limit, and DefaultTimeoutMs.
    std::uint32_t intervalSeconds = 0;
    std::uint32_t retryLimit = 0;
    std::uint32_t timeoutMs = 0;
    // When its next check is due (monotonic), where entries have intervals
    // of their own: the engine keeps it.
    std::uint64_t nextDueMicros = 0;

    // Push: the secret in the entry's heartbeat URL ("Push Token #i"), and
    // when silence next counts as a failed check (monotonic; 0 while none is
    // due: monitoring stopped, or the entry inactive).
    std::string pushToken;
    std::uint64_t pushDueMicros = 0;
    // The last call that came while monitoring was stopped (before the
    // first start, say): taken as monitoring starts, so that no call the
    // job was told went through is lost.
    struct HeldCall {
        bool up = true;
        std::string message;
    };
    std::optional<HeldCall> heldCall;
    // The id the API and the badges know the entry by ("Id #i"), which
    // stays through restarts, reordering and changes of its settings;
    // given once when the store has none (see isStableId()).
    std::string stableId;

    // Quiet periods. quietUntil: the one set by hand ("Quiet Until #i"),
    // seconds since 1970 UTC, kQuietUntilResumed until resumed, 0 none.
    // quietWindows: the weekly ones ("Quiet Windows #i").
    std::int64_t quietUntil = 0;
    std::vector<QuietWindow> quietWindows;
    // Whether the entry is quiet now, as the engine last found it.
    bool quiet = false;

    MonitorPort();
    ~MonitorPort();
    MonitorPort(const MonitorPort &) = delete;
    MonitorPort &operator=(const MonitorPort &) = delete;
};

// A response time in whole milliseconds as the entry keeps it: the exact
// value rounded to the nearest millisecond, halves up (1499 us is 1 ms,
// 1500 us is 2 ms).
inline std::uint32_t roundedMillis(std::uint64_t micros)
{
    const std::uint64_t millis = micros / 1000u + (micros % 1000u >= 500u ? 1u : 0u);
    return millis > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(millis);
}

// Whether entries of a kind are judged by their HTTP status rule.
inline bool judgesHttpStatus(std::uint32_t protocol)
{
    return protocol == Http || protocol == Https;
}

// The host an entry's checks go to: its own, or else the target host.
inline const std::string &checkedHost(const MonitorPort &entry, const std::string &targetHost)
{
    return entry.host.empty() ? targetHost : entry.host;
}

// The limits of an entry's own schedule, and the timeout of an entry without
// one of its own.
constexpr std::uint32_t EntryIntervalMax = 99999;
constexpr std::uint32_t EntryRetryMin = 1;
constexpr std::uint32_t EntryRetryMax = 5;
constexpr std::uint32_t EntryTimeoutMinMs = 100;
constexpr std::uint32_t EntryTimeoutMaxMs = 60000;
constexpr std::uint32_t DefaultTimeoutMs = 3000;

// The seconds between an entry's checks: its own interval, else the global
// one.
inline std::uint32_t entryIntervalSeconds(const MonitorPort &entry, std::uint32_t globalSeconds)
{
    return entry.intervalSeconds != 0 ? entry.intervalSeconds : globalSeconds;
}

// The failed checks an entry tolerates before a failure is declared: its
// own limit, else the global one.
inline std::uint32_t entryRetryLimit(const MonitorPort &entry, std::uint32_t globalLimit)
{
    return entry.retryLimit != 0 ? entry.retryLimit : globalLimit;
}

// How long one check of the entry may take, in milliseconds.
inline std::uint32_t entryTimeoutMs(const MonitorPort &entry)
{
    return entry.timeoutMs != 0 ? entry.timeoutMs : DefaultTimeoutMs;
}
// Whether text can be an entry's stable id: 1 to 64 of a-z 0-9 - _, not
// digits alone (those name a row).
bool isStableId(const std::string &text);

// The text of the placeholder row that ends every port list.
const std::string &placeholderName();

// The list of entries; the last element is always the placeholder entry.
using PortList = std::vector<std::unique_ptr<MonitorPort>>;

// Appends a fresh placeholder entry.
void appendPlaceholder(PortList &ports);
// Number of real entries (the placeholder not counted).
std::size_t realEntryCount(const PortList &ports);
// The row of an entry; -1 when it is not in the list. At once while the
// entry's row is as last seen.
int rowOf(const PortList &ports, const MonitorPort &entry);

// The configuration as it is stored.
struct MonitorSettings {
    std::string targetHost = "127.0.0.1";
    std::string localHostName = "127.0.0.1";
    std::uint32_t intervalSeconds = 5;
    std::uint32_t retryLimit = 1;
    PortList ports;
};

} // namespace vigilon
