// SPDX-License-Identifier: MIT
#pragma once

#include "base/HttpRequest.h"
#include "base/Language.h"
#include "base/Prompter.h"
#include "app/dialogs/EditField.h"

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
        // The weekly quiet windows, in their text form (parseQuietWindows).
        virtual EditField &quietWindowsField() = 0;
    };
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
    // HTTP and HTTPS: the request and the content rule. Under other kinds it
    // stays as it came.
    HttpRequest request;
    // The weekly quiet windows in their text form; on OK written as
    // quietWindowsText writes them.
    std::string quietWindows;
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
    // showing 0). The HTTP status row is usable for the HTTP kinds only; the
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
    // OK: true when the dialog may close as accepted.
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
