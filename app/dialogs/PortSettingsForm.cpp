// SPDX-License-Identifier: MIT
#include "app/dialogs/PortSettingsForm.h"

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

bool PortSettingsForm::certDaysApply(int protocol)
{
    return protocol >= 0 && usesTls(static_cast<std::uint32_t>(protocol));
}

std::vector<std::string> PortSettingsForm::httpStatusChoiceTexts()
{
    return {loadString(sid::HttpStatusAny), loadString(sid::HttpStatusSuccessOrRedirect),
            loadString(sid::HttpStatusCodes)};
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
    controls.hostField().setText(host);
    controls.setHostHint(targetHostShown(targetHost));
    controls.portField().focusAndSelect();
}

void PortSettingsForm::onHttpStatusChoiceChanged(Controls &controls) const
{
    const bool used = judgesHttpStatus(static_cast<std::uint32_t>(protocol));
    controls.setHttpStatusEnabled(used, used && controls.httpStatusChoice() == TheseCodes);
}

void PortSettingsForm::onProtocolChanged(Controls &controls, int index)
{
    const int previous = protocol;
    protocol = index;
    onHttpStatusChoiceChanged(controls);
    controls.setCertDaysEnabled(certDaysApply(protocol));
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
