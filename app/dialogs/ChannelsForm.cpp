// SPDX-License-Identifier: MIT
#include "app/dialogs/ChannelsForm.h"

#include "app/DialogFace.h"
#include "app/dialogs/DataExchange.h"
#include "app/text/TimeText.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "channels/ChannelAddress.h"
#include "channels/Delivery.h"

namespace vigilon {

namespace {

constexpr const char *kMask = "****";


std::string timeText(std::int64_t seconds)
{
    return seconds > 0 ? formatLocalTime(loadString(sid::DateTimeFormat), static_cast<std::uint32_t>(seconds))
                       : loadString(sid::ChannelNever);
}

std::string trimmed(const std::string &text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// What an edit of several lines gives back, with "\n" between the lines.
std::string joinedLines(const std::string &text)
{
    std::string out;
    std::size_t at = 0;
    while (at <= text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = trimmed(text.substr(at, end - at));
        if (!line.empty())
            out += (out.empty() ? "" : "\n") + line;
        at = end + 1;
    }
    return out;
}

// An edit of several lines shows "\r\n" between them.
std::string shownLines(const std::string &lines)
{
    std::string out;
    for (const char c : lines)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

} // namespace

std::string channelKindText(const std::string &url)
{
    switch (channels::parseChannelAddress(url).kind) {
    case channels::ChannelKind::Json: return loadString(sid::ChannelKindJson);
    case channels::ChannelKind::Ntfy: return loadString(sid::ChannelKindNtfy);
    case channels::ChannelKind::Slack: return loadString(sid::ChannelKindSlack);
    case channels::ChannelKind::Email: return loadString(sid::ChannelKindEmail);
    case channels::ChannelKind::Invalid: break;
    }
    return loadString(sid::ChannelKindInvalid);
}

std::string maskedHeaderLines(const std::string &headers)
{
    std::string out;
    for (std::size_t at = 0; at < headers.size();) {
        std::size_t end = headers.find('\n', at);
        if (end == std::string::npos)
            end = headers.size();
        const std::string line = trimmed(headers.substr(at, end - at));
        if (!line.empty()) {
            const std::size_t colon = line.find(':');
            out += (out.empty() ? "" : "\n") +
                   (colon == std::string::npos ? std::string(kMask) : line.substr(0, colon) + ": " + kMask);
        }
        at = end + 1;
    }
    return out;
}

std::vector<std::string> ChannelsForm::columnTexts()
{
    return {loadString(sid::ChannelColumnName), loadString(sid::ChannelColumnKind), loadString(sid::ChannelColumnUrl),
            loadString(sid::ChannelColumnSuccess), loadString(sid::ChannelColumnError)};
}

ChannelsForm::ChannelsForm(DialogFace &frame, Prompter &prompter) : frame_(frame), prompter_(prompter) {}

ChannelsForm::~ChannelsForm()
{
    close();
}

void ChannelsForm::close()
{
    if (!*alive_)
        return;
    *alive_ = false;
    frame_.setChannelsListener({});
}

void ChannelsForm::init(Controls &controls)
{
    controls_ = &controls;
    const std::vector<ChannelSetting> settings = frame_.channelSettings();
    storedCount_ = settings.size();
    for (std::size_t c = 0; c < settings.size(); ++c) {
        // A removed channel keeps its index and shows nowhere.
        if (settings[c].url.empty())
            continue;
        Row row;
        row.index = static_cast<int>(c);
        row.stored = settings[c];
        row.name = settings[c].name;
        row.url = channels::maskedChannelUrl(settings[c].url);
        row.headers = maskedHeaderLines(settings[c].headers);
        row.reminder = std::to_string(settings[c].reminderMinutes);
        row.recovery = settings[c].recovery;
        rows_.push_back(std::move(row));
    }
    statuses_ = frame_.channelStatuses();
    frame_.setChannelsListener([this, alive = alive_] {
        if (*alive)
            onStatusChanged();
    });
    selected_ = rows_.empty() ? -1 : 0;
    showRows();
    controls_->selectRow(selected_);
    showFields();
}

void ChannelsForm::keepFields()
{
    if (selected_ < 0 || selected_ >= rowCount())
        return;
    Row &row = rows_[static_cast<std::size_t>(selected_)];
    row.name = trimmed(controls_->nameField().text());
    row.url = trimmed(controls_->urlField().text());
    row.headers = joinedLines(controls_->headersField().text());
    row.reminder = trimmed(controls_->reminderField().text());
    row.recovery = controls_->recovery();
}

void ChannelsForm::showFields()
{
    const bool any = selected_ >= 0 && selected_ < rowCount();
    const Row empty;
    const Row &row = any ? rows_[static_cast<std::size_t>(selected_)] : empty;
    controls_->nameField().setText(row.name);
    controls_->urlField().setText(row.url);
    controls_->headersField().setText(shownLines(row.headers));
    controls_->reminderField().setText(any ? row.reminder : std::string());
    controls_->setRecovery(row.recovery);
    controls_->setEditEnabled(any);
    controls_->setStatusText(any ? statusText(row) : std::string());
}

const ChannelStatus *ChannelsForm::statusOf(const Row &row) const
{
    // A channel given another URL here is not the one whose deliveries the
    // status tells of.
    if (row.index < 0 || static_cast<std::size_t>(row.index) >= statuses_.size() ||
        row.url != channels::maskedChannelUrl(row.stored.url))
        return nullptr;
    return &statuses_[static_cast<std::size_t>(row.index)];
}

std::string ChannelsForm::statusText(const Row &row) const
{
    std::string text;
    if (const ChannelStatus *status = statusOf(row)) {
        const std::string error =
            status->lastFailure > 0
                ? formatText(loadString(sid::ChannelErrorAt), {timeText(status->lastFailure), status->error})
                : loadString(sid::ChannelNever);
        text = formatText(loadString(sid::ChannelStatusText), {timeText(status->lastSuccess), error});
        if (status->waiting > 0)
            text += "\r\n" + formatText(loadString(sid::ChannelWaiting), {std::to_string(status->waiting)});
    }
    if (!row.testText.empty())
        text += (text.empty() ? "" : "\r\n") + row.testText;
    return text;
}

void ChannelsForm::showRows()
{
    std::vector<std::vector<std::string>> shown;
    for (const Row &row : rows_) {
        std::vector<std::string> cells(ColumnCount);
        const bool typed = row.url.find(kMask) == std::string::npos;
        cells[NameColumn] = row.name;
        // A channel just added shows nothing until a URL is typed.
        if (!row.url.empty()) {
            cells[KindColumn] = channelKindText(typed ? row.url : row.stored.url);
            cells[UrlColumn] = typed ? channels::maskedChannelUrl(row.url) : row.url;
        }
        if (const ChannelStatus *status = statusOf(row)) {
            cells[SuccessColumn] = status->lastSuccess > 0 ? timeText(status->lastSuccess) : std::string();
            cells[ErrorColumn] =
                status->lastFailure > 0 && status->failing ? timeText(status->lastFailure) + "  " + status->error
                                                           : std::string();
        }
        shown.push_back(std::move(cells));
    }
    controls_->setRows(shown);
}

void ChannelsForm::onSelect(int row)
{
    if (row == selected_)
        return;
    keepFields();
    showRows();
    selected_ = row >= 0 && row < rowCount() ? row : -1;
    showFields();
}

void ChannelsForm::onAdd()
{
    keepFields();
    Row row;
    row.name = loadString(sid::ChannelNewName);
    row.reminder = "0";
    rows_.push_back(std::move(row));
    selected_ = rowCount() - 1;
    showRows();
    controls_->selectRow(selected_);
    showFields();
    controls_->urlField().focusAndSelect();
}

void ChannelsForm::onDelete()
{
    if (selected_ < 0 || selected_ >= rowCount())
        return;
    rows_.erase(rows_.begin() + selected_);
    selected_ = std::min(selected_, rowCount() - 1);
    showRows();
    controls_->selectRow(selected_);
    showFields();
}

bool ChannelsForm::settingOf(const Row &row, ChannelSetting &out, std::string &why) const
{
    out = row.stored;
    out.name = row.name;
    out.recovery = row.recovery;
    // The URL and the headers as shown keep the stored ones; anything else
    // typed replaces them.
    if (row.index < 0 || row.url != channels::maskedChannelUrl(row.stored.url)) {
        if (row.url.empty()) {
            why = loadString(sid::ChannelUrlEmpty);
            return false;
        }
        if (row.url.find(kMask) != std::string::npos) {
            why = loadString(sid::ChannelUrlStillMasked);
            return false;
        }
        out.url = row.url;
    }
    if (row.index < 0 || row.headers != maskedHeaderLines(row.stored.headers)) {
        if (row.headers.find(kMask) != std::string::npos) {
            why = loadString(sid::ChannelUrlStillMasked);
            return false;
        }
        out.headers = row.headers;
    }
    std::int64_t minutes = 0;
    if (!DataExchange::parse(row.reminder, false, minutes) || minutes < 0 || minutes > ReminderHigh) {
        why = loadString(sid::ParseIntegerRange);
        why.replace(why.find("%1"), 2, "0");
        why.replace(why.find("%2"), 2, std::to_string(ReminderHigh));
        return false;
    }
    out.reminderMinutes = static_cast<std::uint32_t>(minutes);
    channels::ChannelAddress address = channels::parseChannelAddress(out.url);
    channels::addChannelHeaders(address, out.headers);
    if (address.kind == channels::ChannelKind::Invalid) {
        why = formatText(loadString(sid::ChannelReasonInvalid), {address.error});
        return false;
    }
    return true;
}

void ChannelsForm::onTest()
{
    keepFields();
    if (selected_ < 0 || selected_ >= rowCount())
        return;
    Row &row = rows_[static_cast<std::size_t>(selected_)];
    ChannelSetting setting;
    std::string why;
    if (!settingOf(row, setting, why)) {
        row.testText = formatText(loadString(sid::ChannelTestFailed), {why});
        showRows();
        controls_->setStatusText(statusText(row));
        return;
    }
    // The answer finds its row by its place, unless rows came or went
    // meanwhile (then it is not shown).
    row.testText = loadString(sid::ChannelTesting);
    const bool sent =
        frame_.sendChannelTest(setting, [this, alive = alive_, rowAt = selected_, rows = rowCount()](
                                            const channels::DeliveryFailure &failure, const std::string &answer) {
            if (!*alive || rows != rowCount())
                return;
            Row &tested = rows_[static_cast<std::size_t>(rowAt)];
            const std::string shortAnswer = cutText(answer, {160, TextUnit::Characters});
            if (failure.kind == channels::DeliveryFailure::None) {
                tested.testText = formatText(loadString(sid::ChannelTestDelivered), {shortAnswer});
            } else {
                std::string reason = channels::failureText(failure, currentLanguage());
                // The reason says the status already: the body follows it.
                const std::string status = std::to_string(failure.status);
                std::string body = shortAnswer.starts_with(status) ? shortAnswer.substr(status.size()) : shortAnswer;
                body = trimmed(body);
                if (!body.empty() && failure.kind == channels::DeliveryFailure::Status)
                    reason = formatText(loadString(sid::ChannelTestAnswer), {reason, body});
                tested.testText = formatText(loadString(sid::ChannelTestFailed), {reason});
            }
            if (rowAt == selected_)
                controls_->setStatusText(statusText(tested));
        });
    if (!sent)
        row.testText = formatText(loadString(sid::ChannelTestFailed), {loadString(sid::ChannelsUnavailable)});
    controls_->setStatusText(statusText(row));
}

void ChannelsForm::onStatusChanged()
{
    statuses_ = frame_.channelStatuses();
    keepFields();
    showRows();
    if (selected_ >= 0 && selected_ < rowCount())
        controls_->setStatusText(statusText(rows_[static_cast<std::size_t>(selected_)]));
}

bool ChannelsForm::onOk()
{
    keepFields();
    // Removed channels and the stored ones not shown keep their indexes as
    // empty places: the entries name channels by index.
    std::vector<ChannelSetting> settings(storedCount_);
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        ChannelSetting setting;
        std::string why;
        if (!settingOf(rows_[r], setting, why)) {
            const auto alive = alive_;
            if (selected_ != static_cast<int>(r)) {
                selected_ = static_cast<int>(r);
                controls_->selectRow(selected_);
                showFields();
            }
            const std::string name = rows_[r].name.empty() ? std::to_string(r + 1) : rows_[r].name;
            prompter_.messageBox(formatText(loadString(sid::ChannelUrlRefused), {name, why}), "",
                                 mb::Ok | mb::IconExclamation);
            if (*alive)
                controls_->urlField().focusAndSelect();
            return false;
        }
        if (rows_[r].index >= 0)
            settings[static_cast<std::size_t>(rows_[r].index)] = std::move(setting);
        else
            settings.push_back(std::move(setting));
    }
    while (!settings.empty() && settings.back().url.empty())
        settings.pop_back();
    if (!frame_.saveChannelSettings(settings)) {
        prompter_.messageBox(loadString(sid::ChannelSaveFailed), "", mb::Ok | mb::IconExclamation);
        return false;
    }
    close();
    return true;
}

} // namespace vigilon
