// SPDX-License-Identifier: MIT
#include "app/dialogs/PortSettingsForm.h"
#include "base/QuietTime.h"

#include "base/MonitorPort.h"
#include "base/SecureRandom.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "app/dialogs/ChannelsForm.h"
#include "app/dialogs/DataExchange.h"
#include "channels/ChannelAddress.h"
#include "base/UdpBytes.h"
#include "probes/DnsAnswer.h"

#include <algorithm>

namespace vigilon {

std::vector<std::string> PortSettingsForm::kindTexts()
{
    return {loadString(sid::KindGenericTcp), loadString(sid::KindGenericUdp), "PING (ICMP)", "HTTP (80)", "HTTPS (443)",
            "TLS", "Push", "DNS"};
}

PortSettingsForm::KindPanel PortSettingsForm::panelOf(int protocol)
{
    switch (protocol) {
    case Http:
    case Https:
        return KindPanel::Http;
    case GenericUdp:
        return KindPanel::Udp;
    case Dns:
        return KindPanel::Dns;
    case Push:
        return KindPanel::Push;
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

std::vector<std::string> PortSettingsForm::dnsExpectChoiceTexts()
{
    return {loadString(sid::DnsExpectAny), loadString(sid::DnsExpectContains), loadString(sid::DnsExpectExactly)};
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
    // A DNS entry's composed name goes on with its query.
    const std::string dns = protocol == Dns ? composeName(protocol, port, Language::English) + " " : std::string();
    return name == composeName(protocol, port, Language::English) ||
           name == composeName(protocol, port, Language::Japanese) ||
           (!dns.empty() && name.compare(0, dns.size(), dns) == 0);
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
    case Dns:
        return "DNS (" + std::to_string(port) + ")";
    case Push:
        return "Push (" + std::to_string(port) + ")";
    default:
        return loadString(sid::KindGenericTcp, language) + " (" + std::to_string(port) + ")";
    }
}

void PortSettingsForm::init(Controls &controls) const
{
    DataExchange::writeNumber(controls.portField(), port);
    DataExchange::writeNumber(controls.thresholdField(), threshold);
    controls.setDeleteEnabled(existingEntry != 0);
    controls.setProtocolIndex(protocol >= 0 && protocol <= static_cast<int>(Dns) ? protocol : -1);
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
    controls.userField().setText(request.user);
    controls.passwordField().setText(request.password.empty() ? std::string() : std::string(kPasswordKept));
    onRequestChanged(controls);
    controls.dnsNameField().setText(dnsName);
    const auto &types = dns::recordTypes();
    const auto type = std::find(types.begin(), types.end(), dns::typeWord(dnsType));
    controls.setDnsTypeIndex(type != types.end() ? static_cast<int>(type - types.begin()) : 0);
    const dns::Match match = dns::Expectation::fromText(dnsExpect).match;
    controls.setDnsExpectChoice(match == dns::Match::Exactly    ? DnsExactly
                                : match == dns::Match::Contains ? DnsContains
                                                                : DnsAnyAnswer);
    controls.dnsAnswersField().setText(dns::Expectation::listText(dnsExpect));
    onDnsExpectChanged(controls);
    controls.hostField().setText(host);
    controls.setHostHint(targetHostShown(targetHost));
    // A name that is not this kind's and port's composed one, in either
    // language and letter case, was typed.
    composedShown_ = composeName(protocol, port);
    const bool typed = !name.empty() && !sameWord(name, composeName(protocol, port, Language::English)) &&
                       !sameWord(name, composeName(protocol, port, Language::Japanese));
    controls.nameField().setText(typed ? name : composedShown_);
    for (auto [field, value] : {std::pair{&controls.intervalField(), intervalSeconds},
                                std::pair{&controls.retryField(), retryLimit},
                                std::pair{&controls.timeoutField(), timeoutMs}})
        field->setText(value != 0 ? std::to_string(value) : std::string());
    controls.setScheduleHelp(formatText(loadString(sid::EntryScheduleHelp),
                                        {std::to_string(globalInterval), std::to_string(globalRetry),
                                         std::to_string(DefaultTimeoutMs)}));
    controls.setUdpModeIndex(udpMode <= UdpExpectReply ? static_cast<int>(udpMode) : 0);
    controls.udpPayloadField().setText(udpPayload);
    controls.udpExpectField().setText(udpExpect);
    onUdpModeChanged(controls);
    controls.setStableId(stableId);
    showPush(controls);
    controls.quietWindowsField().setText(quietWindows);
    if (channelList.empty()) {
        controls.setChannelRows({loadString(sid::PortChannelsNone)}, {false}, false);
    } else {
        std::vector<std::string> rows;
        for (const ChannelChoice &choice : channelList)
            rows.push_back(choice.text);
        controls.setChannelRows(rows, channelTicksShown(), true);
    }
    controls.portField().focusAndSelect();
}

std::vector<PortSettingsForm::ChannelChoice> PortSettingsForm::channelChoices(const std::vector<ChannelSetting> &channels)
{
    std::vector<ChannelChoice> out;
    for (std::size_t c = 0; c < channels.size() && c < kMaxChannels; ++c) {
        // A removed channel keeps its index and sends nothing.
        if (channels[c].url.empty())
            continue;
        ChannelChoice choice;
        choice.index = static_cast<std::uint32_t>(c);
        choice.text = !channels[c].name.empty()
                          ? channels[c].name
                          : formatText(loadString(sid::PortChannelUnnamed),
                                       {channelKindText(channels[c].url), channels::maskedChannelUrl(channels[c].url)});
        out.push_back(std::move(choice));
    }
    return out;
}

std::vector<bool> PortSettingsForm::channelTicksShown() const
{
    std::vector<bool> ticked;
    for (const ChannelChoice &choice : channelList)
        ticked.push_back(usesChannel(channels, choice.index));
    return ticked;
}

void PortSettingsForm::readChannels(const Controls &controls)
{
    if (channelList.empty())
        return;
    const std::vector<bool> ticked = controls.channelTicks();
    // Boxes left as they opened keep the stored value as it is, whatever
    // it names.
    if (ticked.size() != channelList.size() || ticked == channelTicksShown())
        return;
    if (std::all_of(ticked.begin(), ticked.end(), [](bool on) { return on; })) {
        channels.reset();
        return;
    }
    std::vector<std::uint32_t> chosen;
    for (std::size_t row = 0; row < ticked.size(); ++row)
        if (ticked[row])
            chosen.push_back(channelList[row].index);
    channels = std::move(chosen);
}

std::vector<std::string> PortSettingsForm::udpModeTexts()
{
    return {loadString(sid::UdpModeSendOnly), loadString(sid::UdpModeClosedFails), loadString(sid::UdpModeExpectReply)};
}

void PortSettingsForm::followName(Controls &controls)
{
    EditField &field = controls.nameField();
    const std::string shown = field.text();
    if (!shown.empty() && shown != composedShown_)
        return;
    std::int64_t typedPort = 0;
    if (!DataExchange::parse(controls.portField().text(), false, typedPort))
        typedPort = 0;
    composedShown_ = composeName(protocol, protocol == Ping ? 7 : typedPort);
    field.setText(composedShown_);
}

void PortSettingsForm::onPortEdited(Controls &controls)
{
    followName(controls);
}

void PortSettingsForm::onUdpModeChanged(Controls &controls) const
{
    const int mode = controls.udpModeIndex();
    static constexpr unsigned help[] = {sid::UdpHelpSendOnly, sid::UdpHelpClosedFails, sid::UdpHelpExpectReply};
    controls.setUdpHelp(mode >= 0 && mode <= static_cast<int>(UdpExpectReply) ? loadString(help[mode]) : std::string());
    controls.setUdpBytesEnabled(true, mode == static_cast<int>(UdpExpectReply));
}

bool PortSettingsForm::readName(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive)
{
    DataExchange dx(prompter, alive);
    std::string typed;
    if (!dx.readText(controls.nameField(), typed, MaxNameChars))
        return false;
    typed = std::string(trimmed(typed));
    // Left as filled in, emptied, or typed as this kind's composed name in
    // either language: the composed name, in the interface's language.
    if (typed.empty() || typed == composedShown_ || isComposedName(typed, protocol, port))
        name = composeName(protocol, port);
    else
        name = std::move(typed);
    return true;
}

bool PortSettingsForm::readSchedule(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive)
{
    const struct {
        EditField &field;
        std::uint32_t &value;
        std::uint32_t low, high;
    } rows[] = {{controls.intervalField(), intervalSeconds, 1, EntryIntervalMax},
                {controls.retryField(), retryLimit, EntryRetryMin, EntryRetryMax},
                {controls.timeoutField(), timeoutMs, EntryTimeoutMinMs, EntryTimeoutMaxMs}};
    std::uint32_t read[3] = {};
    for (std::size_t i = 0; i < 3; ++i) {
        if (trimmed(rows[i].field.text()).empty())
            continue;
        DataExchange dx(prompter, alive);
        if (dx.readUnsigned(rows[i].field, read[i], rows[i].low, rows[i].high) != DataExchange::Outcome::Ok)
            return false;
        if (alive && !*alive)
            return false;
    }
    for (std::size_t i = 0; i < 3; ++i)
        rows[i].value = read[i];
    return true;
}

bool PortSettingsForm::readUdp(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive)
{
    if (protocol != GenericUdp)
        return true;
    DataExchange dx(prompter, alive);
    std::string payload, expect;
    if (!dx.readText(controls.udpPayloadField(), payload, MaxUdpBytesChars) ||
        !dx.readText(controls.udpExpectField(), expect, MaxUdpBytesChars))
        return false;
    for (auto [text, field] : {std::pair{&payload, &controls.udpPayloadField()},
                               std::pair{&expect, &controls.udpExpectField()}}) {
        if (decodeUdpBytes(*text))
            continue;
        prompter.messageBox(loadString(sid::UdpBytesInvalid), "", mb::Ok | mb::IconExclamation);
        if (!alive || *alive)
            field->focusAndSelect();
        return false;
    }
    const int mode = controls.udpModeIndex();
    udpMode = mode >= 0 && mode <= static_cast<int>(UdpExpectReply) ? static_cast<std::uint32_t>(mode) : UdpSendOnly;
    udpPayload = std::move(payload);
    udpExpect = std::move(expect);
    return true;
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

void PortSettingsForm::onDnsExpectChanged(Controls &controls) const
{
    controls.setDnsAnswersEnabled(controls.dnsExpectChoice() != DnsAnyAnswer);
}

void PortSettingsForm::onProtocolChanged(Controls &controls, int index)
{
    const int previous = protocol;
    protocol = index;
    onHttpStatusChoiceChanged(controls);
    onRequestChanged(controls);
    controls.setCertDaysEnabled(certDaysApply(protocol));
    controls.showPanel(panelOf(protocol));
    showPush(controls);
    EditField &portField = controls.portField();
    if (protocol == Ping) {
        if (previous != Ping) {
            typedBeforePing_ = portField.text();
            portBeforePing_ = port;
        }
        port = 7;
        DataExchange::writeNumber(portField, port);
        followName(controls);
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
    if (protocol == Dns && previous != Dns && (portField.text().empty() || portField.text() == "0")) {
        port = DnsPort;
        DataExchange::writeNumber(portField, port);
    }
    followName(controls);
}

std::string PortSettingsForm::pushCallLine() const
{
    return "curl -fsS http://" + (serverAddress.empty() ? loadString(sid::PushServerOff) : serverAddress) +
           "/push/" + pushToken;
}

void PortSettingsForm::showPush(Controls &controls) const
{
    // The token is made as the kind is chosen, so that it can be copied
    // before OK.
    if (protocol == Push && pushToken.empty())
        pushToken = makePushToken();
    controls.setPushToken(pushToken);
    controls.setPushCall(pushToken.empty() ? std::string() : pushCallLine());
}

void PortSettingsForm::onPushCopy(Controls &controls) const
{
    if (!pushToken.empty())
        controls.copyText(pushToken);
}

void PortSettingsForm::onPushRegenerate(Controls &controls, Prompter &prompter)
{
    if (prompter.messageBox(loadString(sid::PushRegenerateAsk), "", mb::YesNo | mb::IconQuestion) != mb::IdYes)
        return;
    const std::string fresh = makePushToken();
    if (fresh.empty())
        return;
    pushToken = fresh;
    showPush(controls);
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
        !dx.readText(controls.contentTextField(), ruleText, kMaxRequestText) ||
        !dx.readText(controls.userField(), read.user, kMaxCredentialChars))
        return false;
    // The stored password stays unless another was typed over the mark.
    const std::string password = controls.passwordField().text();
    if (!request.password.empty() && password == kPasswordKept)
        read.password = request.password;
    else if (!dx.readText(controls.passwordField(), read.password, kMaxCredentialChars))
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
        if (sameWord(trimmed(line.substr(0, line.find(':'))), "Authorization"))
            return refuse(formatText(loadString(sid::RequestAuthorizationWithUser), {line}), &controls.headersField());
        return refuse(formatText(loadString(sid::RequestHeaderReserved), {line}), &controls.headersField());
    case RequestProblem::BadUser:
        return refuse(loadString(sid::RequestUserInvalid), &controls.userField());
    case RequestProblem::PasswordWithoutUser:
        return refuse(loadString(sid::RequestPasswordWithoutUser), &controls.userField());
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

bool PortSettingsForm::readDns(Controls &controls, Prompter &prompter, const std::shared_ptr<bool> &alive)
{
    if (protocol != Dns)
        return true;
    const auto refuse = [&](const std::string &message, EditField &field) {
        prompter.messageBox(message, "", mb::Ok | mb::IconExclamation);
        if (!alive || *alive)
            field.focusAndSelect();
        return false;
    };
    const std::string name(trimmed(controls.dnsNameField().text()));
    if (name.empty())
        return refuse(loadString(sid::DnsNameEmpty), controls.dnsNameField());
    if (!dns::validName(name))
        return refuse(formatText(loadString(sid::DnsNameInvalid), {name}), controls.dnsNameField());
    const auto &types = dns::recordTypes();
    const int index = controls.dnsTypeIndex();
    const std::string type = index >= 0 && index < static_cast<int>(types.size()) ? types[index] : types.front();
    const int choice = controls.dnsExpectChoice();
    const dns::Match match = choice == DnsExactly    ? dns::Match::Exactly
                             : choice == DnsContains ? dns::Match::Contains
                                                     : dns::Match::Any;
    // The stored form's '=' is the choice's business, not the list's.
    const std::string list = dns::Expectation::listText(controls.dnsAnswersField().text());
    std::string expect;
    if (match != dns::Match::Any) {
        if (list.empty())
            return refuse(loadString(sid::DnsAnswersEmpty), controls.dnsAnswersField());
        expect = dns::Expectation::toText(match, list);
        for (const std::string &answer : dns::Expectation::fromText(expect).answers)
            if (!dns::canonicalAnswer(dns::typeCode(type), answer))
                return refuse(formatText(loadString(sid::DnsAnswerInvalid), {type, answer}),
                              controls.dnsAnswersField());
    }
    dnsName = name;
    dnsType = type;
    dnsExpect = expect;
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
    if (alive && !*alive)
        return false;
    if (!readDns(controls, prompter, alive))
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
    if (!readUdp(controls, prompter, alive) || (alive && !*alive))
        return false;
    if (!readSchedule(controls, prompter, alive) || (alive && !*alive))
        return false;
    if (!readName(controls, prompter, alive) || (alive && !*alive))
        return false;
    // Entries asking one server for different names are different entries:
    // a composed name tells the query too.
    if (protocol == Dns && name == composeName(protocol, port))
        name += " " + dnsName + " " + dnsType;
    command = controls.commandField().text();
    if (duplicates && duplicates(*this)) {
        prompter.messageBox(loadString(sid::DuplicatePort), "", mb::Ok);
        return false;
    }
    readChannels(controls);
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
