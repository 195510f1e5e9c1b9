// SPDX-License-Identifier: MIT
#include "app/dialogs/MainDialogController.h"
#include "app/QuietCommands.h"

#include "app/DialogFace.h"
#include "base/StringTable.h"
#include "base/System.h"
#include "base/TextFormat.h"
#include "app/dialogs/DataExchange.h"
#include "app/text/FailureText.h"
#include "app/text/HistoryText.h"
#include "app/text/TimeText.h"

#include <algorithm>

namespace vigilon {

RowContent rowContent(const EntryView &entry)
{
    RowContent row;
    row.image = entry.active ? static_cast<int>(entry.status) : static_cast<int>(ImageIdle);
    row.ticked = entry.active;
    row.texts[0] = entry.quiet && !entry.placeholder ? quietName(entry.name) : entry.name;
    row.texts[1] = entry.command;
    row.texts[2] = std::to_string(entry.errorCount);
    row.texts[3] = entry.lastErrorTime == 0 ? std::string()
                                            : formatLocalTime(loadString(sid::DateTimeFormat), entry.lastErrorTime);
    // A failed entry has no answer to time: a dash, never the 0 of a fast
    // answer or the time of one from before the failure.
    row.texts[4] = entry.status == Failed && !entry.placeholder ? std::string("\u2013")
                                                                 : std::to_string(entry.responseTime);
    row.texts[5] = std::to_string(entry.threshold);
    // An entry without a host of its own checks the target: shown so.
    if (!entry.placeholder)
        row.texts[kHostColumn] = entry.host.empty() ? targetHostShown(entry.checkedHost) : entry.host;
    if (!entry.placeholder)
        row.texts[kUptimeColumn] = uptimeText(entry.uptimeDay);
    row.tip = failureTip(entry);
    return row;
}

std::vector<int> defaultColumnWidths(const std::function<int(const std::string &)> &textWidth, int cellExtra,
                                     int firstExtra, int dpi)
{
    // The template's widths, and the headers.
    static constexpr int kTemplate[kListColumns] = {100, 200, 40, 120, 60, 60, 100, 70};
    static constexpr unsigned kHeaders[kListColumns] = {sid::ColumnPortName,     sid::ColumnCommand,
                                                        sid::ColumnErrorCount,   sid::ColumnLastErrorTime,
                                                        sid::ColumnResponseTime, sid::ColumnThreshold,
                                                        sid::ColumnHost,         sid::ColumnUptime};
    std::vector<int> widths;
    for (int c = 0; c < kListColumns; ++c)
        widths.push_back(std::max(atDpi(kTemplate[c], dpi), textWidth(loadString(kHeaders[c])) + cellExtra));
    // The longest name a port gets, in either language (a stored name keeps
    // the one it was made in), and a date with two-digit fields everywhere
    // (the 28th of December 2036, 23:58:58 UTC).
    const int name = std::max(textWidth(PortSettingsForm::composeName(GenericTcp, 65535, Language::English)),
                              textWidth(PortSettingsForm::composeName(GenericTcp, 65535, Language::Japanese)));
    widths[0] = std::max(widths[0], name + cellExtra + firstExtra);
    const std::string date = formatLocalTime(loadString(sid::DateTimeFormat), 2113919938u);
    widths[3] = std::max(widths[3], textWidth(date) + cellExtra);
    widths[kUptimeColumn] = std::max(widths[kUptimeColumn], textWidth(uptimeText(0.9999)) + cellExtra);
    return widths;
}

std::string copiedRowsText(const std::vector<RowContent> &rows)
{
    constexpr const char *lineBreak = kWindowsBuild ? "\r\n" : "\n";
    std::string text;
    for (const RowContent &row : rows) {
        for (std::size_t n = 0; n < kColumnOrder.size(); ++n) {
            if (n > 0)
                text += '\t';
            // A cell's own tabs and line breaks would split it.
            for (char ch : row.texts[static_cast<std::size_t>(kColumnOrder[n])])
                text += ch == '\t' || ch == '\r' || ch == '\n' ? ' ' : ch;
        }
        text += lineBreak;
    }
    return text;
}

ListCommand commandForKey(ListKey key)
{
    switch (key) {
    case ListKey::Enter:
    case ListKey::F2:
        return ListCommand::Edit;
    case ListKey::Delete:
        return ListCommand::Delete;
    case ListKey::Space:
        return ListCommand::ToggleActive;
    case ListKey::Copy:
        return ListCommand::Copy;
    }
    return ListCommand::None;
}

std::string statusText(bool running, std::uint32_t startTime, std::uint32_t now, std::size_t unchecked,
                       bool nothingChecked)
{
    if (!running)
        return loadString(sid::StatusStopped);
    const std::string started = formatLocalTime(loadString(sid::DateTimeFormat), startTime);
    const std::string elapsed = formatElapsed(loadString(sid::ElapsedTimeFormat), now - startTime);
    std::string text = formatText(loadString(sid::StatusMonitoring), {started, elapsed});
    if (unchecked > 0 && nothingChecked)
        text += "\r\n" + loadString(sid::StatusNothingChecked);
    else if (unchecked > 0)
        text += "\r\n" + formatText(loadString(sid::StatusShortage), {std::to_string(unchecked)});
    return text;
}

std::string portTestText(TestResult result, const std::vector<TestFailure> &failures)
{
    if (result != TestResult::Failed)
        return loadString(sid::PortTestAllOk);
    std::string text = failures.size() > 1 ? formatText(loadString(sid::PortTestProblems), {std::to_string(failures.size())})
                                           : loadString(sid::PortTestProblem);
    for (std::size_t i = 0; i < failures.size() && i < kPortTestLines; ++i)
        text += "\r\n" + formatText(loadString(sid::PortTestFailedLine),
                                     {failures[i].name, failures[i].host, reasonTextShown(failures[i].reason)});
    if (failures.size() > kPortTestLines)
        text += "\r\n" + formatText(loadString(sid::NotifyMoreLines), {std::to_string(failures.size() - kPortTestLines)});
    return text;
}

namespace {
EntrySettings settingsFrom(const PortSettingsForm &form)
{
    EntrySettings settings;
    settings.port = static_cast<std::uint32_t>(form.port);
    settings.protocol = static_cast<std::uint32_t>(form.protocol);
    settings.command = form.command;
    settings.threshold = static_cast<std::uint32_t>(form.threshold);
    settings.certWarnDays = static_cast<std::uint32_t>(form.certWarnDays);
    settings.name = form.name;
    settings.httpStatus = form.httpStatus;
    settings.host = form.host;
    settings.udpMode = form.udpMode;
    settings.udpPayload = form.udpPayload;
    settings.udpExpect = form.udpExpect;
    settings.request = form.request;
    settings.intervalSeconds = form.intervalSeconds;
    settings.retryLimit = form.retryLimit;
    settings.timeoutMs = form.timeoutMs;
    settings.dnsName = form.dnsName;
    settings.dnsType = form.dnsType;
    settings.dnsExpect = form.dnsExpect;
    settings.pushToken = form.pushToken;
    settings.quietWindows = form.quietWindows;
    settings.channels = form.channels;
    return settings;
}

// An edited entry of the same kind and port keeps a name composed in either
// language: its kept history and metrics go by it. A name the user typed
// is his.
EntrySettings editedSettings(const PortSettingsForm &form, const EntryView &entry)
{
    EntrySettings settings = settingsFrom(form);
    if (static_cast<std::uint32_t>(form.protocol) == entry.protocol && form.port == entry.port &&
        PortSettingsForm::isComposedName(form.name, form.protocol, form.port) &&
        PortSettingsForm::isComposedName(entry.name, form.protocol, form.port))
        settings.name = entry.name;
    return settings;
}
} // namespace

MainDialogController::MainDialogController(DialogFace &frame, Prompter &prompter, const MainDialogInit &init)
    : frame_(frame)
    , prompter_(prompter)
    , intervalSeconds_(init.intervalSeconds)
    , retryLimit_(init.retryLimit)
    , storedLayout_(init.layout)
{
}

MainDialogController::~MainDialogController()
{
    *alive_ = false;
}

void MainDialogController::retire()
{
    *alive_ = false;
}

const std::string &MainDialogController::targetHost() const
{
    return frame_.targetHost();
}

void MainDialogController::init()
{
    DataExchange::writeNumber(controls_->intervalField(), intervalSeconds_);
    DataExchange::writeNumber(controls_->retryField(), retryLimit_);
    // The up-down controls start on the stored values; one beyond a
    // control's range shows, and is then read, as the range's end.
    controls_->setIntervalSpinPos(static_cast<int>(std::min<std::uint32_t>(intervalSeconds_, 1000000u)));
    controls_->setRetrySpinPos(static_cast<int>(std::min<std::uint32_t>(retryLimit_, 1000000u)));
    fillList();
    controls_->setHintText(hintText());
    controls_->setNotifyTicked(frame_.notificationsEnabled());
    controls_->setHistoryTicked(frame_.historyKept());
    showAutostart();
    updateStatusText(false);
    controls_->setTitle(formatText(loadString(sid::MainDialogTitle), {frame_.targetHost()}));
}

void MainDialogController::updateStatusText(bool running)
{
    controls_->setStatusText(
        statusText(running, frame_.startTime(), frame_.clock().nowSeconds(), running ? frame_.uncheckedEntries() : 0,
                   running && frame_.nothingChecked()));
}

void MainDialogController::updateStateControls()
{
    controls_->setSettingsEnabled(!monitoring_);
    controls_->setStartStopText(loadString(monitoring_ ? sid::StopButton : sid::StartButton));
    updateStatusText(monitoring_);
    controls_->setHintText(hintText());
    showAutostart();
}

void MainDialogController::showAutostart()
{
    if (autostartBusy_)
        return;
    controls_->setAutostartTicked(frame_.autostartInstalled());
    controls_->setAutostartEnabled(frame_.autostartAvailable());
}

void MainDialogController::onNotifyToggled(bool ticked)
{
    frame_.setNotificationsEnabled(ticked);
}

void MainDialogController::onHistoryToggled(bool ticked)
{
    frame_.setHistoryKept(ticked);
    controls_->setHistoryTicked(frame_.historyKept());
    // The uptimes show, or go, with the history.
    for (int row = 0; row < controls_->rowCount() && static_cast<std::size_t>(row) < frame_.entryCount(); ++row)
        controls_->setRow(row, shownRow(frame_.entryView(static_cast<std::size_t>(row))));
}

void MainDialogController::onAutostartToggled(bool ticked)
{
    if (autostartBusy_)
        return;
    // The box waits for the outcome, and then shows what the system says.
    autostartBusy_ = true;
    controls_->setAutostartEnabled(false);
    const auto alive = alive_;
    const bool begun = frame_.setAutostart(ticked, [this, alive](bool installed, const std::string &failure) {
        if (!*alive)
            return;
        autostartBusy_ = false;
        controls_->setAutostartTicked(installed);
        controls_->setAutostartEnabled(true);
        if (!failure.empty())
            prompter_.messageBox(failure, "", mb::Ok | mb::IconExclamation);
    });
    if (!begun && *alive) {
        autostartBusy_ = false;
        showAutostart();
    }
}

std::string MainDialogController::hintText() const
{
    if (monitoring_)
        return loadString(sid::ListHintMonitoring);
    return loadString(frame_.entryCount() >= 2 ? sid::ListHintEntries : sid::ListHintEmpty);
}

void MainDialogController::updateRow(int row, const EntryView &entry)
{
    if (row < 0 || row > controls_->rowCount())
        return;
    controls_->setRow(row, shownRow(entry));
}

RowContent MainDialogController::shownRow(const EntryView &entry) const
{
    if (frame_.historyAvailable())
        return rowContent(entry);
    EntryView without = entry;
    without.uptimeDay = -1;
    return rowContent(without);
}

void MainDialogController::setRowImage(int row, int image)
{
    if (row >= 0 && row < controls_->rowCount())
        controls_->setRowImage(row, image);
}

void MainDialogController::fillList()
{
    while (controls_->rowCount() > 0)
        controls_->deleteRow(controls_->rowCount() - 1);
    for (std::size_t i = 0; i < frame_.entryCount(); ++i)
        controls_->setRow(static_cast<int>(i), shownRow(frame_.entryView(i)));
}

void MainDialogController::refreshRows()
{
    if (static_cast<std::size_t>(controls_->rowCount()) != frame_.entryCount()) {
        fillList();
        return;
    }
    for (std::size_t i = 0; i < frame_.entryCount(); ++i)
        controls_->setRow(static_cast<int>(i), shownRow(frame_.entryView(i)));
}

int MainDialogController::frameRow(int row) const
{
    if (row < 0 || row >= controls_->rowCount())
        return -1;
    // The rows follow the frame's entries, and entries on several hosts may
    // share a name: the row's own entry is the one while the names agree.
    const std::string name = controls_->rowName(row);
    if (static_cast<std::size_t>(row) < frame_.entryCount() &&
        rowContent(frame_.entryView(static_cast<std::size_t>(row))).texts[0] == name)
        return row;
    // A quiet entry's row shows its name with a mark.
    const int found = frame_.findEntry(name);
    const std::string plain = withoutQuietMark(name);
    return found >= 0 || plain == name ? found : frame_.findEntry(plain);
}

void MainDialogController::afterChange()
{
    controls_->setHintText(hintText());
}

void MainDialogController::toggleActive(int row)
{
    const bool ticked = controls_->rowTicked(row);
    const std::string &question = loadString(ticked ? sid::ConfirmDeactivatePort : sid::ConfirmActivatePort);
    const auto alive = alive_;
    if (prompter_.messageBox(question, "", mb::YesNo) == mb::IdNo || !*alive)
        return;
    const int index = frameRow(row);
    if (index < 0)
        return;
    if (frame_.setEntryActive(static_cast<std::size_t>(index), !ticked) == DialogFace::Change::Done)
        controls_->setRowTicked(row, !ticked);
    afterChange();
}

void MainDialogController::onListClick(int row, bool onStateIcon)
{
    if (row < 0)
        return;
    if (row == controls_->rowCount() - 1) {
        if (monitoring_)
            prompter_.messageBox(loadString(sid::StopToChangeSettings), "", mb::Ok);
        else
            addEntry(row);
        return;
    }
    if (monitoring_) {
        const int index = frameRow(row);
        if (index >= 0)
            frame_.openResponseMonitor(static_cast<std::size_t>(index));
        return;
    }
    if (onStateIcon)
        toggleActive(row);
}

void MainDialogController::onListDoubleClick(int row, bool inFirstColumn)
{
    if (row < 0)
        return;
    if (monitoring_) {
        prompter_.messageBox(loadString(sid::StopToChangeSettings), "", mb::Ok);
        return;
    }
    if (row == controls_->rowCount() - 1) {
        addEntry(row);
        return;
    }
    if (inFirstColumn) {
        toggleActive(row);
        return;
    }
    editEntry(row);
}

void MainDialogController::addEntry(int row)
{
    PortSettingsForm form;
    form.targetHost = frame_.targetHost();
    form.globalInterval = frame_.intervalSeconds();
    form.globalRetry = frame_.retryLimit();
    form.serverAddress = frame_.serverAddress();
    form.channelList = PortSettingsForm::channelChoices(frame_.channelSettings());
    DialogFace &frame = frame_;
    // Asked from inside the dialog: the frame may have gone meanwhile.
    form.duplicates = [&frame, alive = alive_](const PortSettingsForm &read) {
        return *alive && frame.duplicates(settingsFrom(read), 0);
    };
    const auto alive = alive_;
    if (!controls_->runPortSettings(form) || !*alive || row >= controls_->rowCount())
        return;
    if (frame_.findEntry(controls_->rowName(row)) < 0)
        return;
    const EntrySettings settings = settingsFrom(form);
    if (frame_.addEntry(settings) == DialogFace::Change::Duplicate)
        prompter_.messageBox(loadString(sid::DuplicatePort), "", mb::Ok);
    if (*alive)
        afterChange();
}

void MainDialogController::editEntry(int row)
{
    const int index = frameRow(row);
    if (index < 0)
        return;
    const EntryView entry = frame_.entryView(static_cast<std::size_t>(index));
    PortSettingsForm form;
    form.port = entry.port;
    form.protocol = static_cast<int>(entry.protocol);
    form.command = entry.command;
    form.threshold = entry.threshold;
    form.httpStatus = entry.httpStatus;
    form.host = entry.host;
    form.targetHost = frame_.targetHost();
    form.certWarnDays = entry.certWarnDays;
    form.udpMode = entry.udpMode;
    form.udpPayload = entry.udpPayload;
    form.udpExpect = entry.udpExpect;
    form.request = entry.request;
    form.name = entry.name;
    form.intervalSeconds = entry.intervalSeconds;
    form.retryLimit = entry.retryLimit;
    form.timeoutMs = entry.timeoutMs;
    form.globalInterval = frame_.intervalSeconds();
    form.globalRetry = frame_.retryLimit();
    form.dnsName = entry.dnsName;
    form.dnsType = entry.dnsType;
    form.dnsExpect = entry.dnsExpect;
    form.pushToken = entry.pushToken;
    form.stableId = entry.stableId;
    form.serverAddress = frame_.serverAddress();
    form.quietWindows = entry.quietWindows;
    form.channels = entry.channels;
    form.channelList = PortSettingsForm::channelChoices(frame_.channelSettings());
    form.existingEntry = 1;
    DialogFace &frame = frame_;
    form.duplicates = [&frame, alive = alive_, entry](const PortSettingsForm &read) {
        return *alive && frame.duplicates(editedSettings(read, entry), entry.id);
    };
    const auto alive = alive_;
    if (!controls_->runPortSettings(form) || !*alive)
        return;
    // The dialog nested the loop: look for the entry again.
    int now = -1;
    for (std::size_t i = 0; i < frame_.entryCount(); ++i) {
        if (frame_.entryView(i).id == entry.id)
            now = static_cast<int>(i);
    }
    if (now < 0)
        return;
    if (form.existingEntry == 1) {
        if (frame_.deleteEntry(static_cast<std::size_t>(now)) == DialogFace::Change::Done &&
            now < controls_->rowCount())
            controls_->deleteRow(now);
        afterChange();
        return;
    }
    const EntrySettings settings = editedSettings(form, entry);
    if (frame_.editEntry(static_cast<std::size_t>(now), settings) == DialogFace::Change::Duplicate)
        prompter_.messageBox(loadString(sid::DuplicatePort), "", mb::Ok);
    if (*alive)
        afterChange();
}

void MainDialogController::deleteEntry(int row)
{
    const int index = frameRow(row);
    if (index < 0)
        return;
    const EntryView entry = frame_.entryView(static_cast<std::size_t>(index));
    if (entry.placeholder)
        return;
    // The question of the port settings dialog's Delete button.
    const std::string question = formatText(loadString(sid::ConfirmDeletePort), {std::to_string(entry.port)});
    const auto alive = alive_;
    if (prompter_.messageBox(question, "", mb::YesNo) == mb::IdNo || !*alive)
        return;
    // The question nested the loop: look for the entry again.
    for (std::size_t i = 0; i < frame_.entryCount(); ++i) {
        if (frame_.entryView(i).id != entry.id)
            continue;
        if (frame_.deleteEntry(i) == DialogFace::Change::Done && static_cast<int>(i) < controls_->rowCount())
            controls_->deleteRow(static_cast<int>(i));
        break;
    }
    afterChange();
}

void MainDialogController::onListKey(ListKey key, const ListSelection &selection)
{
    onListCommand(commandForKey(key), selection);
}

void MainDialogController::onListCommand(ListCommand command, const ListSelection &selection)
{
    const int row = selection.current;
    const int last = controls_->rowCount() - 1;
    const bool onEntry = row >= 0 && row < last;
    switch (command) {
    case ListCommand::None:
        return;
    case ListCommand::Add:
        // As a click on the placeholder.
        onListClick(last, false);
        return;
    case ListCommand::Edit:
        // As a double click away from the check box: on the placeholder it
        // adds.
        if (row == last)
            onListClick(row, false);
        else if (onEntry && monitoring_)
            prompter_.messageBox(loadString(sid::StopToChangeSettings), "", mb::Ok);
        else if (onEntry)
            editEntry(row);
        return;
    case ListCommand::Delete:
        if (onEntry && monitoring_)
            prompter_.messageBox(loadString(sid::StopToChangeSettings), "", mb::Ok);
        else if (onEntry)
            deleteEntry(row);
        return;
    case ListCommand::ToggleActive:
        // As a click on the row's check box.
        onListClick(row, true);
        return;
    case ListCommand::OpenGraph:
        if (onEntry && monitoring_) {
            const int index = frameRow(row);
            if (index >= 0)
                frame_.openResponseMonitor(static_cast<std::size_t>(index));
        }
        return;
    case ListCommand::Outages:
        if (onEntry && frame_.historyAvailable()) {
            const int index = frameRow(row);
            if (index >= 0) {
                const EntryView entry = frame_.entryView(static_cast<std::size_t>(index));
                controls_->showOutages(entry.id, entry.name);
            }
        }
        return;
    case ListCommand::QuietHour:
    case ListCommand::QuietEightHours:
    case ListCommand::QuietUntilResumed:
    case ListCommand::Resume: {
        const QuietChoice choice = command == ListCommand::QuietHour           ? QuietChoice::Hour
                                   : command == ListCommand::QuietEightHours   ? QuietChoice::EightHours
                                   : command == ListCommand::QuietUntilResumed ? QuietChoice::UntilResumed
                                                                               : QuietChoice::Resume;
        std::vector<std::size_t> rows;
        for (const int r : selection.selected) {
            const int index = r >= 0 && r < last ? frameRow(r) : -1;
            if (index >= 0)
                rows.push_back(static_cast<std::size_t>(index));
        }
        frame_.setQuiet(rows, choice);
        return;
    }
    case ListCommand::Copy: {
        const std::string text = copyText(selection.selected);
        if (!text.empty())
            controls_->setClipboardText(text);
        return;
    }
    }
}

std::vector<ListMenuItem> MainDialogController::listMenu(const ListSelection &selection) const
{
    const int row = selection.current;
    const int index = row >= 0 && row < controls_->rowCount() - 1 ? frameRow(row) : -1;
    const bool onEntry = index >= 0;
    const bool active = onEntry && frame_.entryView(static_cast<std::size_t>(index)).active;
    const bool ticked = onEntry && controls_->rowTicked(row);
    const bool anyEntry = std::any_of(selection.selected.begin(), selection.selected.end(),
                                      [this](int r) { return r >= 0 && r < controls_->rowCount() - 1; });
    const bool stopped = !monitoring_;
    return {
        {ListCommand::Add, loadString(sid::ListMenuAdd), stopped, false},
        {ListCommand::Edit, loadString(sid::ListMenuEdit), stopped && onEntry, false},
        {ListCommand::Delete, loadString(sid::ListMenuDelete), stopped && onEntry, false},
        {ListCommand::ToggleActive, loadString(ticked ? sid::ListMenuDeactivate : sid::ListMenuActivate),
         stopped && onEntry, true},
        {ListCommand::OpenGraph, loadString(sid::ListMenuGraph), monitoring_ && active, false},
        {ListCommand::Outages, loadString(sid::ListMenuOutages), onEntry && frame_.historyAvailable(), false},
        {ListCommand::Copy, loadString(sid::ListMenuCopy), anyEntry, true},
        // The selected entries' quiet periods; Resume where one has a
        // period set by hand.
        {ListCommand::QuietHour, loadString(sid::ListMenuQuietHour), anyEntry, true},
        {ListCommand::QuietEightHours, loadString(sid::ListMenuQuietEightHours), anyEntry, false},
        {ListCommand::QuietUntilResumed, loadString(sid::ListMenuQuietUntilResumed), anyEntry, false},
        {ListCommand::Resume, loadString(sid::ListMenuResume),
         std::any_of(selection.selected.begin(), selection.selected.end(),
                     [this](int r) {
                         const int index = r >= 0 && r < controls_->rowCount() - 1 ? frameRow(r) : -1;
                         return index >= 0 && frame_.entryView(static_cast<std::size_t>(index)).quietUntil != 0;
                     }),
         false},
    };
}

std::string MainDialogController::copyText(const std::vector<int> &rows) const
{
    std::vector<int> ordered = rows;
    std::sort(ordered.begin(), ordered.end());
    ordered.erase(std::unique(ordered.begin(), ordered.end()), ordered.end());
    std::vector<RowContent> contents;
    for (int row : ordered) {
        if (row >= controls_->rowCount() - 1)
            continue;
        const int index = frameRow(row);
        if (index >= 0)
            contents.push_back(rowContent(frame_.entryView(static_cast<std::size_t>(index))));
    }
    return copiedRowsText(contents);
}

std::vector<int> MainDialogController::columnWidths(const std::function<int(const std::string &)> &textWidth,
                                                    int cellExtra, int firstExtra, int dpi) const
{
    std::vector<int> stored = storedLayout_.columnWidths;
    for (int &width : stored)
        width = atDpi(width, dpi);
    return restoredColumnWidths(stored, defaultColumnWidths(textWidth, cellExtra, firstExtra, dpi));
}

bool MainDialogController::restoredWindow(LayoutSize least, const std::vector<LayoutRect> &workAreas,
                                          LayoutRect &placed, LayoutSize frame, int dpi) const
{
    if (!storedLayout_.hasWindow())
        return false;
    const LayoutRect stored{storedLayout_.x, storedLayout_.y, storedLayout_.x + atDpi(storedLayout_.width, dpi),
                            storedLayout_.y + atDpi(storedLayout_.height, dpi)};
    placed = placeStoredWindow(stored, least, workAreas, frame);
    return true;
}

void MainDialogController::saveLayout(const LayoutRect &window, const std::vector<int> &columnWidths, int dpi)
{
    if (!*alive_)
        return;
    WindowLayout layout;
    layout.x = window.left;
    layout.y = window.top;
    layout.width = fromDpi(window.width(), dpi);
    layout.height = fromDpi(window.height(), dpi);
    for (int width : columnWidths)
        layout.columnWidths.push_back(fromDpi(width, dpi));
    storedLayout_ = layout;
    frame_.saveWindowLayout(layout);
}

bool MainDialogController::readFields()
{
    // A failed check's message may outlive this dialog: then it reads false.
    DataExchange dx(prompter_, alive_);
    if (dx.readUnsigned(controls_->intervalField(), intervalSeconds_, 1, 99999) != DataExchange::Outcome::Ok)
        return false;
    frame_.setIntervalSeconds(intervalSeconds_);
    if (!*alive_)
        return false;
    if (dx.readUnsigned(controls_->retryField(), retryLimit_, 1, 5) != DataExchange::Outcome::Ok)
        return false;
    frame_.setRetryLimit(retryLimit_);
    return *alive_;
}

void MainDialogController::onStartStop()
{
    if (!readFields())
        return;
    frame_.saveSettings();
    const auto alive = alive_;
    const bool running = frame_.toggleMonitoring(false);
    if (!*alive)
        return;
    monitoring_ = running;
    updateStateControls();
}

void MainDialogController::onExitRequest()
{
    const auto alive = alive_;
    readFields();
    if (!*alive)
        return;
    DialogFace *frame = &frame_;
    frame_.eventLoop().post([frame, alive] {
        if (*alive)
            frame->requestExit();
    });
}

void MainDialogController::onSystemClose()
{
    const auto alive = alive_;
    DialogFace *frame = &frame_;
    frame_.eventLoop().post([frame, alive] {
        if (*alive)
            frame->exitNow();
    });
}

void MainDialogController::onPortTest()
{
    if (frame_.activeEntryCount() == 0) {
        prompter_.messageBox(loadString(sid::NoActivePortOnTest), "", mb::Ok);
        return;
    }
    // The checks run on the loop like a polling round's; the answer comes
    // when the last one has reported, and the button waits for it.
    const auto alive = alive_;
    const bool started = frame_.startTestRound([this, alive](TestResult result) {
        if (!*alive)
            return;
        prompter_.messageBox(portTestText(result, frame_.testFailures()), "", mb::Ok);
        if (*alive)
            controls_->setPortTestEnabled(!monitoring_);
    });
    if (started)
        controls_->setPortTestEnabled(false);
}

void MainDialogController::onTargetChange()
{
    TargetHostForm form;
    form.host = frame_.targetHost();
    const auto alive = alive_;
    if (!controls_->runTargetHost(form) || !*alive)
        return;
    frame_.setTargetHost(form.host);
    controls_->setTitle(formatText(loadString(sid::MainDialogTitle), {form.host}));
    // The rows of entries that check the target show the new one.
    for (std::size_t i = 0; i < frame_.entryCount() && static_cast<int>(i) < controls_->rowCount(); ++i) {
        const EntryView entry = frame_.entryView(i);
        if (entry.host.empty())
            controls_->setRow(static_cast<int>(i), rowContent(entry));
    }
    frame_.saveSettings();
    afterChange();
}

void MainDialogController::onChannels()
{
    if (channelsOpen_ || !controls_)
        return;
    channelsOpen_ = true;
    const auto alive = alive_;
    ChannelsForm form(frame_, prompter_);
    controls_->runChannels(form);
    form.close();
    if (*alive)
        channelsOpen_ = false;
}

void MainDialogController::onRetryChanged()
{
    std::int64_t value = 0;
    if (!DataExchange::parse(controls_->retryField().text(), false, value) || value < 1 || value > 5) {
        const auto alive = alive_;
        prompter_.messageBox(loadString(sid::RetryLimitRange), "", mb::Ok);
        if (*alive)
            controls_->setRetrySpinPos(5);
    }
}

void MainDialogController::onIntervalChanged()
{
    std::int64_t value = 0;
    if (!DataExchange::parse(controls_->intervalField().text(), false, value) || value == 0) {
        const auto alive = alive_;
        prompter_.messageBox(loadString(sid::IntervalRange), "", mb::Ok);
        if (*alive)
            controls_->setIntervalSpinPos(1);
    }
}

} // namespace vigilon
