// SPDX-License-Identifier: MIT
#pragma once

#include "base/HttpRequest.h"
#include "base/Language.h"
#include "base/Prompter.h"
#include "app/dialogs/EditField.h"
#include "store/ChannelSettings.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vigilon {

// The rules of the port settings dialog, which edits one watched port:
// number, check kind, alert command, threshold. The caller sets the fields,
// runs the dialog and reads them back: accepted with existingEntry 0, OK was
// pressed and the fields hold the new values, name the composed display
// name; accepted with existingEntry still 1, the user confirmed Delete; not
// accepted, nothing changes.
class PortSettingsForm {
public:
    static constexpr int PortLow = 1;
    static constexpr int PortHigh = 64554;
    static constexpr int ThresholdHigh = 999999;
    static constexpr int CertWarnDaysHigh = 9999;
    // The port an HTTPS entry watches unless the user says otherwise.
    static constexpr int HttpsPort = 443;
    // The kinds in the order of the dialog's list, in the interface's language.
    static std::vector<std::string> kindTexts();
    // The HTTP status row's choices, in the order of its list.
    enum HttpStatusChoice { AnyReply = 0, SuccessOrRedirect = 1, TheseCodes = 2 };
    static std::vector<std::string> httpStatusChoiceTexts();

    // The group of rows under the common ones that belongs to the chosen
    // kind. One shows at a time, all at the same place in the dialog.
    enum class KindPanel { None, Http, Udp, Dns, Push };
    static KindPanel panelOf(int protocol);
    // What the rules need of the dialog's controls.
    class Controls {
    public:
        virtual ~Controls() = default;
        virtual EditField &portField() = 0;
        virtual EditField &thresholdField() = 0;
        virtual EditField &commandField() = 0;
        // The entry's own host; empty for the target host.
        virtual EditField &hostField() = 0;
        // What the empty host field shows greyed (the target host).
        virtual void setHostHint(const std::string &text) { (void)text; }
        // The kind list's selection; -1 for none.
        virtual int protocolIndex() const = 0;
        virtual void setProtocolIndex(int index) = 0;
        virtual void setDeleteEnabled(bool enabled) = 0;
        // Shows the rows of one kind panel and hides the others'.
        virtual void showPanel(KindPanel panel) = 0;
        // The HTTP status row: the choice list, the codes' edit, and which
        // of the two can be used.
        virtual int httpStatusChoice() const = 0;
        virtual void setHttpStatusChoice(int choice) = 0;
        virtual EditField &httpCodesField() = 0;
        virtual void setHttpStatusEnabled(bool choice, bool codes) = 0;
        // The days of warning before a certificate expires (HTTPS, TLS).
        virtual EditField &certDaysField() = 0;
        virtual void setCertDaysEnabled(bool enabled) = 0;
        // The HTTP request rows: the method list (HEAD, GET, POST), the
        // path, the extra headers and the body (several lines each), the
        // redirects' check box, and the content rule's choice list
        // (ContentRuleChoice) with its text; and which of them can be used.
        virtual int methodIndex() const = 0;
        virtual void setMethodIndex(int index) = 0;
        virtual EditField &pathField() = 0;
        virtual EditField &headersField() = 0;
        virtual EditField &bodyField() = 0;
        virtual bool followRedirects() const = 0;
        virtual void setFollowRedirects(bool on) = 0;
        virtual int contentRuleChoice() const = 0;
        virtual void setContentRuleChoice(int choice) = 0;
        virtual EditField &contentTextField() = 0;
        virtual void setRequestEnabled(bool request, bool body, bool contentText) = 0;
        // Basic authentication: the user and the password (a password
        // edit, usable with the request rows). A stored password is never
        // shown back: the field shows kPasswordKept instead.
        virtual EditField &userField() = 0;
        virtual EditField &passwordField() = 0;

        // The rows every kind has: the entry's name, its own interval,
        // retry limit and timeout (empty for none), and the text under them
        // that says what empty ones stand for.
        virtual EditField &nameField() = 0;
        virtual EditField &intervalField() = 0;
        virtual EditField &retryField() = 0;
        virtual EditField &timeoutField() = 0;
        virtual void setScheduleHelp(const std::string &text) = 0;
        // The UDP panel: the mode list (UdpMode), what the chosen mode can
        // and cannot detect, the payload and the expected bytes, and which
        // of the two can be used.
        virtual int udpModeIndex() const = 0;
        virtual void setUdpModeIndex(int index) = 0;
        virtual void setUdpHelp(const std::string &text) = 0;
        virtual EditField &udpPayloadField() = 0;
        virtual EditField &udpExpectField() = 0;
        virtual void setUdpBytesEnabled(bool payload, bool expect) = 0;
        // The DNS panel: the name asked for, the record type's list (in the
        // order of dns::recordTypes()), the expectation's list
        // (DnsExpectChoice) and the answers' edit, usable unless any answer
        // is expected.
        virtual EditField &dnsNameField() = 0;
        virtual int dnsTypeIndex() const = 0;
        virtual void setDnsTypeIndex(int index) = 0;
        virtual int dnsExpectChoice() const = 0;
        virtual void setDnsExpectChoice(int choice) = 0;
        virtual EditField &dnsAnswersField() = 0;
        virtual void setDnsAnswersEnabled(bool enabled) = 0;
        // The Push panel: the token and the ready call line (read-only, to
        // be copied), and the clipboard.
        virtual void setPushToken(const std::string &token) { (void)token; }
        virtual void setPushCall(const std::string &line) { (void)line; }
        virtual void copyText(const std::string &text) { (void)text; }
        // The entry's stable id (empty for an entry not made yet).
        virtual void setStableId(const std::string &id) { (void)id; }
        // The weekly quiet windows, in their text form (parseQuietWindows).
        virtual EditField &quietWindowsField() = 0;
        // The channels' list: one row a channel, each with its check box,
        // and whether the list can be used.
        virtual void setChannelRows(const std::vector<std::string> &rows, const std::vector<bool> &ticked,
                                    bool enabled) = 0;
        // The rows' check boxes, in the order they were given.
        virtual std::vector<bool> channelTicks() const = 0;
    };
    // The DNS panel's expectation choices, in the order of its list.
    enum DnsExpectChoice { DnsAnyAnswer = 0, DnsContains = 1, DnsExactly = 2 };
    static std::vector<std::string> dnsExpectChoiceTexts();
    // The port a DNS entry asks unless the user says otherwise.
    static constexpr int DnsPort = 53;
    // The content rule row's choices, in the order of its list.
    enum ContentRuleChoice { NoContentRule = 0, ContainsText = 1, LacksText = 2, MatchesRegex = 3 };
    static std::vector<std::string> contentRuleChoiceTexts();
    static std::vector<std::string> methodTexts();

    std::int64_t port = 0;
    std::int64_t threshold = 0;
    int existingEntry = 0;
    std::string name;
    std::string command;
    int protocol = 0;
    // The replies that count as alive, as HttpStatusRule writes them. Only
    // the HTTP kinds use it; under other kinds it stays as it came.
    std::string httpStatus = "any";
    // The entry's own host, empty for the target host, which targetHost
    // names (shown only). Checked as the target host dialog checks the
    // target, without blanks around it.
    std::string host;
    std::string targetHost;
    std::int64_t certWarnDays = 14;
    // UDP: the mode (UdpMode), payload and expected bytes, carried as they
    // came.
    std::uint32_t udpMode = 0;
    std::string udpPayload;
    std::string udpExpect;
    // What the password field shows for a stored password. Left so, OK
    // keeps the stored one; typed over, the new one is stored; emptied, the
    // stored one is removed.
    static constexpr const char *kPasswordKept = "********";
    // HTTP and HTTPS: the request and the content rule. Under other kinds it
    // stays as it came.
    HttpRequest request;
    // The entry's own interval (seconds), retry limit and timeout (ms); 0
    // for none. The global interval and retry limit, which an empty field
    // stands for, are shown only.
    std::uint32_t intervalSeconds = 0;
    std::uint32_t retryLimit = 0;
    std::uint32_t timeoutMs = 0;
    std::uint32_t globalInterval = 5;
    std::uint32_t globalRetry = 1;
    // The longest name, UDP payload and expected bytes typed.
    static constexpr std::size_t MaxNameChars = 64;
    static constexpr std::size_t MaxUdpBytesChars = 256;
    // The UDP mode list's texts, in the order of UdpMode.
    static std::vector<std::string> udpModeTexts();
    // DNS: the name asked for, the record type's word and the expected
    // answers as stored (dns::Expectation). Under other kinds they stay as
    // they came.
    std::string dnsName;
    std::string dnsType;
    std::string dnsExpect;
    // Push: the secret of the entry's heartbeat URL, made when the kind is
    // chosen without one; where the program's server listens ("ADDR:PORT",
    // empty while it serves nothing); the entry's stable id, shown only.
    mutable std::string pushToken;
    std::string serverAddress;
    std::string stableId;
    // The command line a job runs to call in (curl), with a placeholder
    // for the address while the server is off.
    std::string pushCallLine() const;
    // Copy: the token to the clipboard. Regenerate: a new token once the
    // user agrees; the old one is refused once the dialog's OK has stored
    // the new one.
    void onPushCopy(Controls &controls) const;
    void onPushRegenerate(Controls &controls, Prompter &prompter);
    // The weekly quiet windows in their text form; on OK written as
    // quietWindowsText writes them.
    std::string quietWindows;
    // The configured message channels as the channels' list shows them,
    // by their index in the store (channelChoices makes it); none where
    // no channel is configured.
    struct ChannelChoice {
        std::uint32_t index = 0;
        std::string text;
    };
    std::vector<ChannelChoice> channelList;
    // A row of the list for each channel that sends: its name, or its kind
    // and its URL with passwords and tokens masked when it has no name.
    static std::vector<ChannelChoice> channelChoices(const std::vector<ChannelSetting> &channels);
    // The channels the entry uses, by index ("Channels #i"); none for
    // every channel, those added later included. On OK: as it came unless a
    // box was changed; then none when every listed channel is ticked, else
    // the ticked ones.
    std::optional<std::vector<std::uint32_t>> channels;

    // Whether the entry as read would repeat another: OK then says so and
    // the dialog stays open with what was typed. None takes every entry.
    std::function<bool(const PortSettingsForm &)> duplicates;

    // Whether the row of the days of warning applies to a kind (the list's
    // index): HTTPS and TLS only. Other kinds show it disabled.
    static bool certDaysApply(int protocol);

    // The display name of an entry of this kind and port, in the interface's
    // language or the one given.
    static std::string composeName(int protocol, std::int64_t port);
    static std::string composeName(int protocol, std::int64_t port, Language language);
    // Whether name is the one composed for this kind and port in either
    // language: such entries are one, whichever language made them.
    static bool isComposedName(const std::string &name, int protocol, std::int64_t port);

    // The dialog opens: fields to controls, Delete for an existing entry.
    void init(Controls &controls) const;
    // Another kind was chosen (also by stepping through the list with the
    // arrow keys). PING always watches port 7 and shows it at once; leaving
    // PING again puts back the port that was typed before, unless 7 was
    // typed over meanwhile. HTTPS puts 443 in an empty port box (or one
    // showing 0), DNS 53. The HTTP status row is usable for the HTTP kinds only; the
    // row of the days of warning and the kind panel follow the kind. Nothing
    // else the user typed changes.
    void onProtocolChanged(Controls &controls, int index);
    // Another choice in the HTTP status row: the codes' edit is usable for
    // "these codes" only.
    void onHttpStatusChoiceChanged(Controls &controls) const;
    // Another method or content rule choice: the body is usable for POST
    // only, the rule's text with a rule only; all request rows for the HTTP
    // kinds only.
    void onRequestChanged(Controls &controls) const;
    // The port box changed: a name the user has not typed follows the port.
    void onPortEdited(Controls &controls);
    // Another UDP mode: its help, and the expected bytes only for a reply.
    void onUdpModeChanged(Controls &controls) const;
    // OK: true when the dialog may close as accepted. name is what the
    // user typed, or (left as filled in, or empty) the composed name.
    // Another expectation in the DNS panel: the answers' edit is usable
    // unless any answer will do.
    void onDnsExpectChanged(Controls &controls) const;
    bool onOk(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive = nullptr);
    // Delete: true when the dialog may close as accepted (existingEntry
    // stays 1).
    bool onDelete(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive = nullptr);

private:
    bool readNumbers(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive);
    // The HTTP status row to httpStatus, for an HTTP kind; false, after a
    // message, when the codes are not a rule.
    bool readHttpStatus(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive);
    bool readHost(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive);
    // The request rows to request, for an HTTP kind; false, after a
    // message, when they cannot be sent (a HEAD request with a content rule
    // among them).
    bool readRequest(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive);
    // The DNS panel to the DNS values, for the DNS kind; false, after a
    // message, when the name is missing or not a DNS name, or an expected
    // answer cannot be one of the chosen type.
    bool readDns(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive);

    // The name row to name: the composed one unless the user typed another.
    bool readName(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive);
    // The interval, retry and timeout rows (empty: 0).
    bool readSchedule(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive);
    // The UDP rows, for the UDP kind; false, after a message, when bytes
    // given as hex do not decode.
    bool readUdp(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive);
    // What the channels' list shows ticked for the entry's channels.
    std::vector<bool> channelTicksShown() const;
    // The list's ticks to channels (see there).
    void readChannels(const Controls &controls);
    // Puts the composed name of the kind and the port box's number in the
    // name row, unless it holds a name the user typed.
    void followName(Controls &controls);

    // The composed name the name row was last given: while it shows that
    // (or nothing), the user has typed no name of his own.
    mutable std::string composedShown_;
    // Shows the Push panel's token and call line (a token made first for a
    // Push entry without one).
    void showPush(Controls &controls) const;

    // The port box's text and the port as they were when PING was chosen.
    std::optional<std::string> typedBeforePing_;
    std::int64_t portBeforePing_ = 0;
};

// How the list and the dialogs show the target host where an entry has no
// host of its own: in parentheses.
std::string targetHostShown(const std::string &targetHost);

// The rules of the target host dialog.
class TargetHostForm {
public:
    static constexpr std::size_t MaxHostChars = 64;
    std::string host;

    void init(EditField &hostField) const;
    // OK: true when the dialog may close as accepted.
    bool onOk(EditField &hostField, Prompter &prompter) ;
};

} // namespace vigilon
