// SPDX-License-Identifier: MIT
#pragma once

#include "app/ChannelStatus.h"
#include "app/dialogs/EditField.h"
#include "base/Prompter.h"
#include "store/ChannelSettings.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vigilon {

class DialogFace;

// The rules of the Channels dialog: the list of message channels with how
// each is doing, and the fields of the selected one (name, URL, extra
// headers, recovery messages, reminder minutes). Edits stay in the form
// until OK, which checks every channel and stores them all; Cancel forgets
// them. Secrets are never shown back: the URL and the headers show with
// their passwords and tokens as "****", and a field left so keeps what the
// store holds.
class ChannelsForm {
public:
    enum Column { NameColumn, KindColumn, UrlColumn, SuccessColumn, ErrorColumn, ColumnCount };
    static std::vector<std::string> columnTexts();
    // The longest reminder period, in minutes (a week).
    static constexpr std::int64_t ReminderHigh = 7 * 24 * 60;

    class Controls {
    public:
        virtual ~Controls() = default;
        // The list: one row of ColumnCount texts per channel.
        virtual void setRows(const std::vector<std::vector<std::string>> &rows) = 0;
        virtual void selectRow(int row) = 0;
        virtual EditField &nameField() = 0;
        virtual EditField &urlField() = 0;
        // Several lines, one "Name: value" header each.
        virtual EditField &headersField() = 0;
        virtual EditField &reminderField() = 0;
        virtual bool recovery() const = 0;
        virtual void setRecovery(bool on) = 0;
        // The fields, Delete and the test button: usable while a channel is
        // selected.
        virtual void setEditEnabled(bool enabled) = 0;
        // The selected channel's last success and last error, and the answer
        // to its test message.
        virtual void setStatusText(const std::string &text) = 0;
    };

    ChannelsForm(DialogFace &frame, Prompter &prompter);
    ~ChannelsForm();
    ChannelsForm(const ChannelsForm &) = delete;
    ChannelsForm &operator=(const ChannelsForm &) = delete;

    // The dialog opens: the channels as configured, the first selected. From
    // here until close() the statuses follow the channels' deliveries.
    void init(Controls &controls);
    // Another row was selected (-1: none): what was typed stays with the
    // row left.
    void onSelect(int row);
    void onAdd();
    void onDelete();
    // Sends a test message to the selected channel as its fields say, and
    // shows the server's answer when it comes.
    void onTest();
    // A channel's state changed: the list and the status text follow.
    void onStatusChanged();
    // OK: true when every channel was good and all were stored.
    bool onOk();
    // The dialog goes: no more statuses, no test answer reaches it.
    void close();

    // The channels as typed, by row (for the tests' and the front ends'
    // eyes: no secret in them but what was typed).
    int rowCount() const { return static_cast<int>(rows_.size()); }
    int selectedRow() const { return selected_; }

private:
    struct Row {
        // Its index in the store; -1 for one added here.
        int index = -1;
        ChannelSetting stored;
        std::string name, url, headers, reminder;
        bool recovery = false;
        // The test message's state, shown under the status.
        std::string testText;
    };
    // The fields to the selected row, and back.
    void keepFields();
    void showFields();
    void showRows();
    // The setting the row's fields make; false, with why, when they make
    // none that can be sent to.
    bool settingOf(const Row &row, ChannelSetting &out, std::string &why) const;
    std::string statusText(const Row &row) const;
    const ChannelStatus *statusOf(const Row &row) const;

    DialogFace &frame_;
    Prompter &prompter_;
    Controls *controls_ = nullptr;
    std::size_t storedCount_ = 0;
    std::vector<Row> rows_;
    std::vector<ChannelStatus> statuses_;
    int selected_ = -1;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The kind of channel a URL makes, in the interface's language.
std::string channelKindText(const std::string &url);

// Header lines as the dialog shows them: each value "****".
std::string maskedHeaderLines(const std::string &headers);

} // namespace vigilon
