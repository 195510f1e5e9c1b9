// SPDX-License-Identifier: MIT
#pragma once

#include "app/MainFrame.h"
#include "app/dialogs/MainDialogController.h"
#include "app/dialogs/PortSettingsForm.h"
#include "app/dialogs/ChannelsForm.h"
#include "app/dialogs/ResponseMonitorForm.h"
#include "tests/support/FakePrompter.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace vigilon::test {

// An edit control: its text, and how often it got the focus with its text
// selected. Every use counts in *touches when given.
class FakeEditField final : public EditField {
public:
    explicit FakeEditField(int *touches = nullptr, std::string text = {})
        : value(std::move(text))
        , touches_(touches)
    {
    }
    std::string text() const override { touch(); return value; }
    void setText(const std::string &text) override { touch(); value = text; }
    void focusAndSelect() override { touch(); ++focused; }

    std::string value;
    int focused = 0;

private:
    void touch() const { if (touches_) ++*touches_; }
    int *touches_;
};

class FakePortSettingsControls final : public PortSettingsForm::Controls {
public:
    EditField &portField() override { return port; }
    EditField &thresholdField() override { return threshold; }
    EditField &commandField() override { return command; }
    EditField &hostField() override { return host; }
    void setHostHint(const std::string &text) override { hostHint = text; }
    int protocolIndex() const override { return protocol; }
    void setProtocolIndex(int index) override { protocol = index; }
    void setDeleteEnabled(bool enabled) override { deleteEnabled = enabled; }
    int httpStatusChoice() const override { return httpChoice; }
    void setHttpStatusChoice(int choice) override { httpChoice = choice; }
    EditField &httpCodesField() override { return httpCodes; }
    void setHttpStatusEnabled(bool choice, bool codes) override { httpEnabled = {choice, codes}; }
    EditField &certDaysField() override { return certDays; }
    void setCertDaysEnabled(bool enabled) override { certDaysEnabled = enabled; }
    int methodIndex() const override { return method; }
    void setMethodIndex(int index) override { method = index; }
    EditField &pathField() override { return path; }
    EditField &headersField() override { return headers; }
    EditField &bodyField() override { return body; }
    bool followRedirects() const override { return redirects; }
    void setFollowRedirects(bool on) override { redirects = on; }
    int contentRuleChoice() const override { return ruleChoice; }
    void setContentRuleChoice(int choice) override { ruleChoice = choice; }
    EditField &contentTextField() override { return ruleText; }
    void setRequestEnabled(bool request, bool body, bool text) override { requestEnabled = {request, body, text}; }
    EditField &userField() override { return user; }
    EditField &passwordField() override { return password; }
    void showPanel(PortSettingsForm::KindPanel shown) override { panel = shown; }
    EditField &nameField() override { return name; }
    EditField &intervalField() override { return interval; }
    EditField &retryField() override { return retry; }
    EditField &timeoutField() override { return timeout; }
    void setScheduleHelp(const std::string &text) override { scheduleHelp = text; }
    int udpModeIndex() const override { return udpMode; }
    void setUdpModeIndex(int index) override { udpMode = index; }
    void setUdpHelp(const std::string &text) override { udpHelp = text; }
    EditField &udpPayloadField() override { return udpPayload; }
    EditField &udpExpectField() override { return udpExpect; }
    void setUdpBytesEnabled(bool payload, bool expect) override { udpBytesEnabled = {payload, expect}; }
    FakeEditField name, interval, retry, timeout, udpPayload, udpExpect;
    std::string scheduleHelp;
    int udpMode = -1;
    std::string udpHelp;
    std::pair<bool, bool> udpBytesEnabled{true, true};
    void setPushToken(const std::string &token) override { pushToken = token; }
    void setPushCall(const std::string &line) override { pushCall = line; }
    void copyText(const std::string &text) override { copied = text; }
    void setStableId(const std::string &id) override { stableId = id; }

    // The Push panel's texts, the clipboard and the id as last set.
    std::string pushToken, pushCall, copied, stableId;
    EditField &quietWindowsField() override { return quietWindows; }

    FakeEditField quietWindows;
    void setChannelRows(const std::vector<std::string> &rows, const std::vector<bool> &ticked, bool enabled) override
    {
        channelRows = rows;
        channelTicked = ticked;
        channelsEnabled = enabled;
    }
    std::vector<bool> channelTicks() const override { return channelTicked; }
    // The channels' list as last set, its boxes as the user leaves them.
    std::vector<std::string> channelRows;
    std::vector<bool> channelTicked;
    bool channelsEnabled = true;
    FakeEditField port, threshold, command, httpCodes, host, certDays, path, headers, body, ruleText, user, password;
    int method = 0;
    bool redirects = false;
    int ruleChoice = 0;
    // The request rows', the body's and the rule text's.
    std::tuple<bool, bool, bool> requestEnabled{true, true, true};
    // The kind panel shown last, if one was.
    std::optional<PortSettingsForm::KindPanel> panel;
    std::string hostHint;
    int protocol = -1;
    bool deleteEnabled = false;
    int httpChoice = -1;
    // The choice list's and the codes' edit's.
    std::pair<bool, bool> httpEnabled{true, true};
    bool certDaysEnabled = true;

    // The DNS panel.
    EditField &dnsNameField() override { return dnsName; }
    int dnsTypeIndex() const override { return dnsType; }
    void setDnsTypeIndex(int index) override { dnsType = index; }
    int dnsExpectChoice() const override { return dnsChoice; }
    void setDnsExpectChoice(int choice) override { dnsChoice = choice; }
    EditField &dnsAnswersField() override { return dnsAnswers; }
    void setDnsAnswersEnabled(bool enabled) override { dnsAnswersEnabled = enabled; }
    FakeEditField dnsName, dnsAnswers;
    int dnsType = -1;
    int dnsChoice = -1;
    bool dnsAnswersEnabled = true;
};

// The response monitor dialog's controls; the up-down control and the
// trackbar keep within their ranges as the real ones do.
class FakeResponseMonitorControls final : public ResponseMonitorForm::Controls {
public:
    using F = ResponseMonitorForm;
    void setPortText(const std::string &text) override { portText = text; }
    EditField &historyField() override { return history; }
    void setHistorySpinPos(int pos) override
    {
        history.value = std::to_string(std::clamp(pos, F::HistoryLow, F::HistoryHigh));
    }
    int alphaPos() const override { return alpha; }
    void setAlphaPos(int pos) override { alpha = std::clamp(pos, F::AlphaLow, F::AlphaHigh); }
    bool recordChecked() const override { return record; }
    EditField &fileField() override { return file; }
    void setFileControlsEnabled(bool enabled) override { fileEnabled = enabled; }

    std::string portText;
    FakeEditField history, file;
    int alpha = -1;
    bool record = false, fileEnabled = false;
};

// Answers the port settings dialog as a user does: the form opens on fake
// controls, the given fields are typed, the kind chosen, a button pressed.
// An OK or Delete the form refuses leaves the dialog open; it is then
// cancelled.
struct PortSettingsAnswer {
    Prompter *prompter = nullptr;
    std::optional<std::string> port{};
    int protocol = -1;
    std::optional<std::string> command{}, threshold{};
    enum Press { Ok, Cancel, Delete } press = Ok;
    // The HTTP status row's choice and codes, where given.
    int httpChoice = -1;
    std::optional<std::string> httpCodes{};

    // The controls as the dialog opened, how often it opened, and whether
    // its last OK was taken (a refused one leaves the real dialog open).
    FakePortSettingsControls opened{};
    int runs = 0;
    std::optional<bool> okTaken{};
    // Typed into the host field when set.
    std::optional<std::string> host{};
    // Typed into the name and schedule rows when set.
    std::optional<std::string> name{}, interval{}, retry{}, timeout{};
    // Typed into the quiet windows' field when set.
    std::optional<std::string> quietWindows{};
    // The channels' boxes as the user leaves them, when set.
    std::optional<std::vector<bool>> channelTicks{};

    bool operator()(PortSettingsForm &form)
    {
        FakePortSettingsControls c;
        form.init(c);
        opened = c;
        ++runs;
        if (port)
            c.port.value = *port;
        if (protocol >= 0) {
            c.setProtocolIndex(protocol);
            form.onProtocolChanged(c, protocol);
        }
        if (command)
            c.command.value = *command;
        if (threshold)
            c.threshold.value = *threshold;
        if (httpChoice >= 0) {
            c.setHttpStatusChoice(httpChoice);
            form.onHttpStatusChoiceChanged(c);
        }
        if (httpCodes)
            c.httpCodes.value = *httpCodes;
        if (host)
            c.host.value = *host;
        for (auto [typed, field] : {std::pair{&name, &c.name}, std::pair{&interval, &c.interval},
                                    std::pair{&retry, &c.retry}, std::pair{&timeout, &c.timeout}})
            if (*typed)
                field->value = **typed;
        if (quietWindows)
            c.quietWindows.value = *quietWindows;
        if (channelTicks)
            c.channelTicked = *channelTicks;
        if (press == Cancel)
            return false;
        if (press == Ok)
            return *(okTaken = form.onOk(c, *prompter));
        return form.onDelete(c, *prompter);
    }
};

// The main dialog's widgets as its rules drive them. Its modal dialogs are
// answered by portSettings and targetHost (unset: cancelled). touches counts
// every call of the rules on the widgets, so that a test can tell that
// nothing touched them after the dialog went.
class FakeDialogControls : public MainDialogController::Controls {
public:
    EditField &intervalField() override { ++touches; return interval; }
    EditField &retryField() override { ++touches; return retry; }
    // An up-down control keeps its position within its range (from 1 to
    // the ends below, as the dialog sets them) and shows it in its field.
    void setIntervalSpinPos(int pos) override { spin(interval, intervalSpinPos, pos, 999); }
    void setRetrySpinPos(int pos) override { spin(retry, retrySpinPos, pos, 5); }
    // The port test button is one of the settings.
    void setSettingsEnabled(bool enabled) override { ++touches; settingsEnabled = portTestEnabled = enabled; }
    void setPortTestEnabled(bool enabled) override { ++touches; portTestEnabled = enabled; }
    void setStartStopText(const std::string &text) override { ++touches; startStopText = text; }
    void setStatusText(const std::string &text) override { ++touches; statusText = text; }
    void setHintText(const std::string &text) override { ++touches; hintText = text; }
    void setTitle(const std::string &text) override { ++touches; title = text; }
    int rowCount() const override { ++touches; return static_cast<int>(rows.size()); }
    void setRow(int row, const RowContent &content) override
    {
        ++rowWrites;
        if (row == rowCount())
            rows.push_back(content);
        else
            at(row) = content;
    }
    void setRowImage(int row, int image) override { ++rowWrites; at(row).image = image; }
    void setRowTicked(int row, bool ticked) override { at(row).ticked = ticked; }
    bool rowTicked(int row) const override { return at(row).ticked; }
    void deleteRow(int row) override { at(row); rows.erase(rows.begin() + row); }
    std::string rowName(int row) const override { return at(row).texts[0]; }
    void setNotifyTicked(bool ticked) override { ++touches; notifyTicked = ticked; }
    void setAutostartTicked(bool ticked) override { ++touches; autostartTicked = ticked; }
    void setAutostartEnabled(bool enabled) override { ++touches; autostartEnabled = enabled; }
    void setHistoryTicked(bool ticked) override { ++touches; historyTicked = ticked; }
    void showOutages(std::uint32_t entryId, const std::string &) override { ++touches; outagesShown.push_back(entryId); }
    bool runPortSettings(PortSettingsForm &form) override { ++touches; return portSettings && portSettings(form); }
    bool runTargetHost(TargetHostForm &form) override { ++touches; return targetHost && targetHost(form); }
    bool runChannels(ChannelsForm &form) override
    {
        ++touches;
        ++channelsRuns;
        return channels && channels(form);
    }
    void setClipboardText(const std::string &text) override { ++touches; clipboard = text; }

    // The names in the list's first column.
    std::vector<std::string> names() const
    {
        std::vector<std::string> out;
        for (const auto &row : rows)
            out.push_back(row.texts[0]);
        return out;
    }

    bool historyTicked = false;
    std::vector<std::uint32_t> outagesShown;
    mutable int touches = 0;
    // Rows written and row images set.
    int rowWrites = 0;
    FakeEditField interval{&touches}, retry{&touches};
    int intervalSpinPos = -1, retrySpinPos = -1; // -1: never set
    bool settingsEnabled = true, portTestEnabled = true;
    bool notifyTicked = false, autostartTicked = false, autostartEnabled = false;
    std::string startStopText, statusText, hintText, title, clipboard;
    std::vector<RowContent> rows;
    std::function<bool(PortSettingsForm &)> portSettings;
    std::function<bool(TargetHostForm &)> targetHost;
    std::function<bool(ChannelsForm &)> channels;
    int channelsRuns = 0;
    // The rules of the dialog on these controls while it lives.
    MainDialogController *rules = nullptr;

private:
    // A row that is not there fails the test.
    const RowContent &at(int row) const { ++touches; return rows.at(static_cast<std::size_t>(row)); }
    RowContent &at(int row) { ++touches; return rows.at(static_cast<std::size_t>(row)); }
    void spin(FakeEditField &buddy, int &position, int pos, int high)
    {
        ++touches;
        position = std::clamp(pos, 1, high);
        buddy.value = std::to_string(position);
    }
};

// The frame's main dialog on the dialog rules and the fake controls, wired
// as a front end wires its own: filled when made, its state controls
// refreshed whenever it is shown.
class DialogOnRules final : public MainDialogWindow {
public:
    DialogOnRules(std::shared_ptr<MainDialogController> rules, FakeDialogControls &controls)
        : rules_(std::move(rules))
        , controls_(controls)
    {
        controls.rules = rules_.get();
        rules_->bind(controls);
        rules_->init();
    }
    void showWindow() override { rules_->updateStateControls(); }
    void hideWindow() override {}
    void release() override
    {
        rules_->retire();
        controls_.rules = nullptr;
    }

private:
    std::shared_ptr<MainDialogController> rules_;
    FakeDialogControls &controls_;
};

// The Channels dialog's controls: what the form last showed.
class FakeChannelsControls final : public ChannelsForm::Controls {
public:
    void setRows(const std::vector<std::vector<std::string>> &shown) override { rows = shown; }
    void selectRow(int row) override { selected = row; }
    EditField &nameField() override { return name; }
    EditField &urlField() override { return url; }
    EditField &headersField() override { return headers; }
    EditField &reminderField() override { return reminder; }
    bool recovery() const override { return recoveryTicked; }
    void setRecovery(bool on) override { recoveryTicked = on; }
    void setEditEnabled(bool enabled) override { editEnabled = enabled; }
    void setStatusText(const std::string &text) override { status = text; }

    // Every text the controls show, for a secret that must not be there.
    std::string everything() const
    {
        std::string all = name.value + "|" + url.value + "|" + headers.value + "|" + status;
        for (const auto &row : rows)
            for (const auto &cell : row)
                all += "|" + cell;
        return all;
    }

    std::vector<std::vector<std::string>> rows;
    int selected = -2;
    FakeEditField name, url, headers, reminder;
    bool recoveryTicked = false;
    bool editEnabled = false;
    std::string status;
};

} // namespace vigilon::test
