// SPDX-License-Identifier: MIT
#include "app/dialogs/PortSettingsForm.h"
#include "base/QuietTime.h"

#include "base/MonitorPort.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "app/dialogs/DataExchange.h"

namespace vigilon {

std::vector<std::string> PortSettingsForm::kindTexts()
{
    return {loadString(sid::KindGenericTcp), loadString(sid::KindGenericUdp), "PING (ICMP)", "HTTP (80)", "HTTPS (443)",
            "TLS"};
}

PortSettingsForm::KindPanel PortSettingsForm::panelOf(int protocol)
{
    switch (protocol) {
    case Http:
    case Https:
        return KindPanel::Http;
    case GenericUdp:
        return KindPanel::Udp;
    default:
        return KindPanel::None;
    }
}

bool PortSettingsForm::certDaysApply(int protocol)
{
    return protocol >= 0 && usesTls(static_cast<std::uint32_t>(protocol));
}

std::vector<std::string> PortSettingsForm::httpStatusChoiceTexts()
{
    return {loadString(sid::HttpStatusAny), loadString(sid::HttpStatusSuccessOrRedirect),
            loadString(sid::HttpStatusCodes)};
}

std::vector<std::string> PortSettingsForm::contentRuleChoiceTexts()
{
    return {loadString(sid::ContentRuleNone), loadString(sid::ContentRuleContains), loadString(sid::ContentRuleLacks),
            loadString(sid::ContentRuleRegex)};
}

std::vector<std::string> PortSettingsForm::methodTexts()
{
    return {methodWord(MethodHead), methodWord(MethodGet), methodWord(MethodPost)};
}

std::string PortSettingsForm::composeName(int protocol, std::int64_t port)
{
    return composeName(protocol, port, currentLanguage());
}

bool PortSettingsForm::isComposedName(const std::string &name, int protocol, std::int64_t port)
{
    return name == composeName(protocol, port, Language::English) ||
           name == composeName(protocol, port, Language::Japanese);
}

std::string PortSettingsForm::composeName(int protocol, std::int64_t port, Language language)
{
    // Named as the kinds are listed in that language; a stored name stays as
    // it was made.
    switch (protocol) {
    case GenericUdp:
        return loadString(sid::KindGenericUdp, language) + " (" + std::to_string(port) + ")";
    case Ping:
        return "PING";
    case Http:
        return "HTTP (" + std::to_string(port) + ")";
    case Https:
        return "HTTPS (" + std::to_string(port) + ")";
    case Tls:
        return "TLS (" + std::to_string(port) + ")";
    default:
        return loadString(sid::KindGenericTcp, language) + " (" + std::to_string(port) + ")";
    }
}

void PortSettingsForm::init(Controls &controls) const
{
    DataExchange::writeNumber(controls.portField(), port);
    DataExchange::writeNumber(controls.thresholdField(), threshold);
    controls.setDeleteEnabled(existingEntry != 0);
    controls.setProtocolIndex(protocol >= 0 && protocol <= static_cast<int>(Tls) ? protocol : -1);
    controls.showPanel(panelOf(protocol));
    DataExchange::writeNumber(controls.certDaysField(), certWarnDays);
    controls.setCertDaysEnabled(certDaysApply(protocol));
    controls.commandField().setText(command);
    const HttpStatusRule rule = HttpStatusRule::fromText(httpStatus);
    const int choice = rule.anyReply()                                  ? AnyReply
                       : rule == HttpStatusRule::successOrRedirect() ? SuccessOrRedirect
                                                                     : TheseCodes;
    controls.setHttpStatusChoice(choice);
    controls.httpCodesField().setText(choice == TheseCodes ? rule.text() : std::string());
    onHttpStatusChoiceChanged(controls);
    controls.setMethodIndex(request.method <= MethodPost ? static_cast<int>(request.method) : 0);
    controls.pathField().setText(request.path);
    controls.headersField().setText(request.headers);
    controls.bodyField().setText(request.body);
    controls.setFollowRedirects(request.followRedirects);
    const ContentRule::Kind kind = request.contentRule.kind();
    controls.setContentRuleChoice(kind == ContentRule::Contains ? ContainsText
                                  : kind == ContentRule::Lacks  ? LacksText
                                  : kind == ContentRule::Regex  ? MatchesRegex
                                                                : NoContentRule);
    controls.contentTextField().setText(request.contentRule.operand());
    onRequestChanged(controls);
    controls.hostField().setText(host);
    controls.setHostHint(targetHostShown(targetHost));
    controls.quietWindowsField().setText(quietWindows);
    controls.portField().focusAndSelect();
}

void PortSettingsForm::onHttpStatusChoiceChanged(Controls &controls) const
{
    const bool used = judgesHttpStatus(static_cast<std::uint32_t>(protocol));
    controls.setHttpStatusEnabled(used, used && controls.httpStatusChoice() == TheseCodes);
}

void PortSettingsForm::onRequestChanged(Controls &controls) const
{
    const bool used = judgesHttpStatus(static_cast<std::uint32_t>(protocol));
    controls.setRequestEnabled(used, used && controls.methodIndex() == MethodPost,
                               used && controls.contentRuleChoice() != NoContentRule);
}

void PortSettingsForm::onProtocolChanged(Controls &controls, int index)
{
    const int previous = protocol;
    protocol = index;
    onHttpStatusChoiceChanged(controls);
    onRequestChanged(controls);
    controls.setCertDaysEnabled(certDaysApply(protocol));
    controls.showPanel(panelOf(protocol));
    EditField &portField = controls.portField();
    if (protocol == Ping) {
        if (previous != Ping) {
            typedBeforePing_ = portField.text();
            portBeforePing_ = port;
        }
        port = 7;
        DataExchange::writeNumber(portField, port);
        return;
    }
    if (typedBeforePing_ && portField.text() == std::to_string(7)) {
        portField.setText(*typedBeforePing_);
        port = portBeforePing_;
    }
    typedBeforePing_.reset();
    if (protocol == Https && previous != Https && (portField.text().empty() || portField.text() == "0")) {
        port = HttpsPort;
        DataExchange::writeNumber(portField, port);
    }
}

bool PortSettingsForm::readNumbers(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive)
{
    DataExchange dx(prompter, alive);
    if (dx.readInt(controls.portField(), port, PortLow, PortHigh, true) != DataExchange::Outcome::Ok)
        return false;
    if (alive && !*alive)
        return false;
    if (dx.readInt(controls.thresholdField(), threshold, 0, ThresholdHigh, true) != DataExchange::Outcome::Ok)
        return false;
    // A row the kind does not use keeps its value unread.
    if (!certDaysApply(controls.protocolIndex()))
        return true;
    if (alive && !*alive)
        return false;
    return dx.readInt(controls.certDaysField(), certWarnDays, 0, CertWarnDaysHigh, true) == DataExchange::Outcome::Ok;
}

bool PortSettingsForm::readHttpStatus(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive)
{
    if (!judgesHttpStatus(static_cast<std::uint32_t>(protocol)))
        return true;
    switch (controls.httpStatusChoice()) {
    case AnyReply:
        httpStatus = HttpStatusRule().text();
        return true;
    case SuccessOrRedirect:
        httpStatus = HttpStatusRule::successOrRedirect().text();
        return true;
    default:
        break;
    }
    const HttpStatusRule rule = HttpStatusRule::fromText(controls.httpCodesField().text());
    if (rule.valid()) {
        httpStatus = rule.text();
        return true;
    }
    prompter.messageBox(loadString(sid::HttpStatusInvalid), "", mb::Ok | mb::IconExclamation);
    if (!alive || *alive)
        controls.httpCodesField().focusAndSelect();
    return false;
}

bool PortSettingsForm::readRequest(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive)
{
    if (!judgesHttpStatus(static_cast<std::uint32_t>(protocol)))
        return true;
    HttpRequest read;
    DataExchange dx(prompter, alive);
    std::string ruleText;
    if (!dx.readText(controls.pathField(), read.path, kMaxRequestText) ||
        !dx.readText(controls.headersField(), read.headers, kMaxRequestText) ||
        !dx.readText(controls.bodyField(), read.body, kMaxRequestText) ||
        !dx.readText(controls.contentTextField(), ruleText, kMaxRequestText))
        return false;
    // Lines end with LF whatever the system's edit gives.
    for (std::string *text : {&read.headers, &read.body}) {
        std::string::size_type at = 0;
        while ((at = text->find("\r\n", at)) != std::string::npos)
            text->erase(at, 1);
    }
    // A path typed without its leading slash is meant from the root.
    if (read.path.empty() || read.path[0] != '/')
        read.path.insert(0, "/");
    const int method = controls.methodIndex();
    read.method = method >= 0 && method <= static_cast<int>(MethodPost) ? static_cast<std::uint32_t>(method) : MethodHead;
    read.followRedirects = controls.followRedirects();
    const int choice = controls.contentRuleChoice();
    const auto refuse = [&](const std::string &message, EditField *field) {
        prompter.messageBox(message, "", mb::Ok | mb::IconExclamation);
        if (field && (!alive || *alive))
            field->focusAndSelect();
        return false;
    };
    if (choice != NoContentRule) {
        if (ruleText.empty())
            return refuse(loadString(sid::ContentRuleEmpty), &controls.contentTextField());
        const char *word = choice == ContainsText ? "contains:" : choice == LacksText ? "lacks:" : "regex:";
        read.contentRule = ContentRule::fromText(word + ruleText);
    }
    std::string line;
    switch (checkRequest(read, &line)) {
    case RequestProblem::None:
        break;
    case RequestProblem::BadPath:
        return refuse(loadString(sid::RequestPathInvalid), &controls.pathField());
    case RequestProblem::BadHeader:
        return refuse(formatText(loadString(sid::RequestHeaderInvalid), {line}), &controls.headersField());
    case RequestProblem::ReservedHeader:
        return refuse(formatText(loadString(sid::RequestHeaderReserved), {line}), &controls.headersField());
    case RequestProblem::BadContentRule:
        return refuse(formatText(loadString(sid::ContentRulePatternInvalid), {read.contentRule.error()}),
                      &controls.contentTextField());
    case RequestProblem::HeadWithContentRule:
    case RequestProblem::BadMethod:
        return refuse(loadString(sid::RequestHeadWithRule), nullptr);
    }
    request = std::move(read);
    return true;
}

bool PortSettingsForm::readHost(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive)
{
    DataExchange dx(prompter, alive);
    return dx.readHost(controls.hostField(), host, TargetHostForm::MaxHostChars);
}

bool PortSettingsForm::onOk(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive)
{
    if (!readHost(controls, prompter, alive) || (alive && !*alive))
        return false;
    const bool read = readNumbers(controls, prompter, alive);
    if (alive && !*alive)
        return false;
    if (port == 0) {
        prompter.messageBox(loadString(sid::InvalidPortNumber), "", mb::Ok);
        return false;
    }
    if (!read)
        return false;
    protocol = controls.protocolIndex();
    if (!readHttpStatus(controls, prompter, alive))
        return false;
    if (alive && !*alive)
        return false;
    if (!readRequest(controls, prompter, alive))
        return false;
    // The quiet windows: one that does not read is said, and the dialog
    // stays open with what was typed.
    std::vector<QuietWindow> windows;
    std::string why;
    if (!parseQuietWindows(controls.quietWindowsField().text(), windows, why)) {
        prompter.messageBox(formatText(loadString(sid::QuietWindowsInvalid), {"\"" + why + "\""}), "",
                            mb::Ok | mb::IconExclamation);
        if (!alive || *alive)
            controls.quietWindowsField().focusAndSelect();
        return false;
    }
    quietWindows = quietWindowsText(windows);
    if (protocol == Ping)
        port = 7;
    name = composeName(protocol, port);
    command = controls.commandField().text();
    if (duplicates && duplicates(*this)) {
        prompter.messageBox(loadString(sid::DuplicatePort), "", mb::Ok);
        return false;
    }
    existingEntry = 0;
    return true;
}

bool PortSettingsForm::onDelete(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive)
{
    const std::string question = formatText(loadString(sid::ConfirmDeletePort), {std::to_string(port)});
    if (prompter.messageBox(question, "", mb::YesNo) == mb::IdNo)
        return false;
    if (alive && !*alive)
        return false;
    return readNumbers(controls, prompter, alive);
}

std::string targetHostShown(const std::string &targetHost)
{
    return "(" + targetHost + ")";
}

void TargetHostForm::init(EditField &hostField) const
{
    hostField.setText(host);
    hostField.focusAndSelect();
}

bool TargetHostForm::onOk(EditField &hostField, Prompter &prompter)
{
    DataExchange dx(prompter);
    return dx.readHost(hostField, host, MaxHostChars);
}

} // namespace vigilon
