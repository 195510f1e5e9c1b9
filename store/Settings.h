// SPDX-License-Identifier: MIT
#pragma once

#include "base/MonitorPort.h"
#include "base/WindowLayout.h"
#include "store/Registry.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vigilon {

constexpr const char *kProgramKey = "Software\\Ardentis\\Vigilon";
constexpr const char *kMonitorKey = "Software\\Ardentis\\Vigilon\\Monitor";
constexpr const char *kLogonValue = "Logon";
constexpr const char *kKeepHistoryValue = "Keep History";
// The longest string value that is read.
constexpr std::size_t kMaxStringBytes = 1023;
// The range a stored interval in seconds is brought into when it is loaded.
constexpr std::uint32_t kMinInterval = 1;
constexpr std::uint32_t kMaxInterval = 99999;
// The same for a stored retry limit.
constexpr std::uint32_t kMinRetry = 1;
constexpr std::uint32_t kMaxRetry = 5;

struct LoadedSettings {
    std::uint32_t intervalSeconds = 5;
    std::uint32_t retryLimit = 1;
    PortList ports; // without the placeholder
    // "Notify": desktop notifications; on when the value is missing.
    bool notifications = true;
    // "Keep History": the history of the checks is kept; on when the value
    // is missing.
    bool historyKept = true;
    // Heartbeat entries stored without a token were given one: saving
    // stores it, so that the store's editor shows what the job must call.
    bool tokensMade = false;
};

// The configuration's values as the store holds them, so far as the program
// has read or written them: a save given these writes only the values that
// differ. A value is known only when the store holds exactly what writing it
// gives (its type and bytes).
struct StoredValues {
    struct Entry {
        bool known = false;
        std::uint32_t port = 0, threshold = 0, protocol = 0, action = 0, active = 0;
        std::string name, command;
        // "HttpStatus #i", optional: known once read or written; then
        // httpStatus holds its text exactly as stored (REG_SZ), or nothing
        // when the store has no such value.
        bool httpStatusKnown = false;
        std::optional<std::string> httpStatus;
        // "Host #i": absent when none is stored (the target host).
        std::optional<std::string> host;
        // Absent when the store has no exact "CertWarnDays #i".
        std::optional<std::uint32_t> certWarnDays;
        // "UDP Mode #i", "UDP Payload #i", "UDP Expect #i", optional: known
        // when each is absent (nothing) or exactly as written.
        bool udpKnown = false;
        std::optional<std::uint32_t> udpMode;
        std::optional<std::string> udpPayload, udpExpect;
        // The request's values ("Path #i", "Method #i", "Body #i",
        // "Headers #i", "Redirects #i", "Content Rule #i"): known once read
        // or written; then each holds what the store has (nothing where it
        // has no such value, or one that reads otherwise than it was
        // written).
        bool requestKnown = false;
        std::optional<std::string> path, body, headers, contentRule;
        // "User #i" and "Password #i" (a secret, kept as store/Secret.h
        // says; password holds its clear text), known with the request.
        std::optional<std::string> user, password;
        std::optional<std::uint32_t> method, redirects;
        // "Channels #i": known once read or written; then channels holds
        // its text as stored (REG_SZ), or nothing when there is none.
        bool channelsKnown = false;
        std::optional<std::string> channels;
        // "Interval #i", "Retry #i", "Timeout #i", optional: known once read
        // or written; then each holds what the store has (nothing where it
        // has no such value).
        bool scheduleKnown = false;
        std::optional<std::uint32_t> interval, retry, timeout;
        // "DNS Name #i", "DNS Type #i", "DNS Expect #i": known once read or
        // written; then each holds its text as stored (REG_SZ), or nothing
        // when there is none.
        bool dnsKnown = false;
        std::optional<std::string> dnsName, dnsType, dnsExpect;
        // "Push Token #i": known once read or written; then pushToken holds
        // it as stored (REG_SZ), or nothing when there is none.
        bool pushTokenKnown = false;
        std::optional<std::string> pushToken;
        // "Id #i", likewise.
        bool stableIdKnown = false;
        std::optional<std::string> stableId;
        // "Quiet Until #i" and "Quiet Windows #i": known once read or
        // written; then quietUntil holds the stored number (nothing when
        // absent) and quietWindows the windows the stored text gave, in
        // their text form (empty when absent or not read).
        bool quietKnown = false;
        std::optional<std::uint32_t> quietUntil;
        std::string quietWindows;
    };
    std::optional<std::uint32_t> count, interval, retry;
    std::optional<std::string> target;
    // By stored index.
    std::vector<Entry> entries;
};

// Reads the configuration. targetHost is replaced by the stored "Target"
// only when readTarget is set (service mode without a "-t" host).
// A store that cannot be read yields the defaults; status tells why:
// NotFound for a first start without the Monitor key, anything but Ok and
// NotFound for trouble with the store, in which case nothing was loaded and
// the caller had better not save over the stored configuration. Busy
// means another process holds the store: try again later. An interval or a
// retry limit outside its range is brought into it, one longer than a DWORD
// takes its default, and an entry with a value that does not fit is
// skipped, each said on standard error. An HTTP or HTTPS entry whose
// "HttpStatus #i" is neither absent, "any", "2xx-3xx" nor a list of codes
// keeps that text in a rule that is not valid (the entry is then not
// checked), also said on standard error. stored, when given, is set to what
// the load found.
LoadedSettings loadSettings(reg::Registry &registry, bool readTarget, std::string &targetHost,
                            reg::Status *status = nullptr, StoredValues *stored = nullptr);

// Writes the configuration in one transaction. ports ends with the
// placeholder entry, which is not stored. Without stored every value is
// written; with it only those that differ from it, and once the save has
// landed it is brought up to date.
reg::Status saveSettings(reg::Registry &registry, const std::string &targetHost, std::uint32_t intervalSeconds,
                         std::uint32_t retryLimit, const PortList &ports, StoredValues *stored = nullptr);

// The main window's stored place and size and the list's column widths,
// kept beside the configuration. Missing, unreadable or senseless values
// leave the window (all four values) or the columns (all of them) out.
WindowLayout loadWindowLayout(reg::Registry &registry);
reg::Status saveWindowLayout(reg::Registry &registry, const WindowLayout &layout);
// Writes "Notify" (1 on, 0 off) beside the configuration.
reg::Status saveNotifications(reg::Registry &registry, bool on);
// Writes "Keep History" (1 on, 0 off) beside the configuration.
reg::Status saveHistoryKept(reg::Registry &registry, bool on);
// Reads "Keep History" alone, before the configuration is loaded: on when
// it is missing or cannot be read.
bool loadHistoryKept(reg::Registry &registry);

// Writes "Logon"; never creates its key.
reg::Status setLogonFlag(reg::Registry &registry, std::uint32_t value);

// Reads "Logon" and clears it in one step (missing or unreadable: 0).
reg::Status takeLogonFlag(reg::Registry &registry, std::uint32_t &previous);

// Where the store's file lies off Windows: $VIGILON_REGISTRY when set, else
// $XDG_CONFIG_HOME/vigilon/registry.sqlite, else
// ~/.config/vigilon/registry.sqlite.
std::string defaultRegistryPath();

// The store the program uses: the registry on Windows, elsewhere the SQLite
// file at defaultRegistryPath(). Never null: a store that cannot be opened
// is said on standard error and replaced by one that holds nothing and
// refuses every write with the reason, so that the program starts with the
// defaults and never overwrites the configuration it could not read. A
// store that is busy is handed out all the same: loadSettings() reports
// Busy until it can be read. A damaged file is moved aside and a fresh store started.
std::unique_ptr<reg::Registry> openDefaultRegistry();

// A store that holds nothing and refuses every write with reason.
std::unique_ptr<reg::Registry> unavailableRegistry(reg::Status reason);

} // namespace vigilon
