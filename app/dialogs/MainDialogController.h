// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "app/DialogFace.h"
#include "base/Prompter.h"
#include "base/WindowLayout.h"
#include "app/dialogs/DialogLayout.h"
#include "app/dialogs/EditField.h"
#include "app/dialogs/PortSettingsForm.h"
#include "app/dialogs/ChannelsForm.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vigilon {

class DialogFace;

// The port list's columns, by their index: the first six as they always
// were (their stored widths keep their meaning), the host and uptime
// columns added after them.
constexpr int kListColumns = 8;
constexpr int kHostColumn = 6;
constexpr int kUptimeColumn = 7;
// The order the columns are shown (and copied) in: the host right after the
// name, the uptime last.
constexpr std::array<int, kListColumns> kColumnOrder = {0, kHostColumn, 1, 2, 3, 4, 5, kUptimeColumn};

// What one row of the port list shows: the texts of its columns, the
// status image and the tick of the state image.
struct RowContent {
    std::array<std::string, kListColumns> texts;
    int image = 0;
    bool ticked = false;
    // The row's tool tip (see failureTip); empty for none.
    std::string tip;
};
RowContent rowContent(const EntryView &entry);

// The port list's default column widths: each column as wide as the
// template makes it, and wider where its header or its widest usual cell
// ("Generic TCP (65535)" after the images, a whole date and time) would not
// show whole. textWidth measures a text in the list's font; cellExtra is
// what a cell or header needs besides its text, firstExtra what the
// images take in the first column; all in the list's pixels, at dpi (the
// template's widths are scaled to it).
std::vector<int> defaultColumnWidths(const std::function<int(const std::string &)> &textWidth, int cellExtra,
                                     int firstExtra, int dpi = kBaseDpi);

// The rows as the clipboard gets them: one line per row, the cells in the
// order the list shows them separated by tabs, each line ended by the
// system's line break.
std::string copiedRowsText(const std::vector<RowContent> &rows);

// Keys of the port list, and the commands of its context menu.
enum class ListKey { Enter, F2, Delete, Space, Copy };
enum class ListCommand {
    None,
    Add,
    Edit,
    Delete,
    ToggleActive,
    OpenGraph,
    Copy,
    Outages,
    // The selected entries' quiet periods (QuietChoice).
    QuietHour,
    QuietEightHours,
    QuietUntilResumed,
    Resume,
};
ListCommand commandForKey(ListKey key);

// Where the list stands: its current row (-1 for none) and every selected
// row.
struct ListSelection {
    int current = -1;
    std::vector<int> selected;
};

struct ListMenuItem {
    ListCommand command = ListCommand::None;
    std::string text;
    bool enabled = false;
    // A line above the item.
    bool separatorBefore = false;
};

// The status text: stopped, or running since a time for so long, and how
// many entries the last round had to leave out.
std::string statusText(bool running, std::uint32_t startTime, std::uint32_t now, std::size_t unchecked = 0,
                       bool nothingChecked = false);

// The port test's answer: all fine, or which entries failed, where and why,
// a line each, the first kPortTestLines of them.
constexpr std::size_t kPortTestLines = 8;
std::string portTestText(TestResult result, const std::vector<TestFailure> &failures);

// Everything the main dialog decides that is not drawing: what its buttons,
// fields and list clicks do, what its texts say and which controls are
// enabled when. A front end's dialog keeps the widgets, lays them out and
// hands their events to this.
class MainDialogController {
public:
    // What the rules need of the dialog's widgets. Rows are the port list's.
    class Controls {
    public:
        virtual ~Controls() = default;
        virtual EditField &intervalField() = 0;
        virtual EditField &retryField() = 0;
        // Moves an up-down control, which keeps within its range (interval
        // 1-999, retry 1-5) and shows its position in its field.
        virtual void setIntervalSpinPos(int pos) = 0;
        virtual void setRetrySpinPos(int pos) = 0;
        // The settings that only a stopped monitor may change: port test,
        // interval and retry with their up-down controls, target host.
        virtual void setSettingsEnabled(bool enabled) = 0;
        virtual void setPortTestEnabled(bool enabled) = 0;
        virtual void setStartStopText(const std::string &text) = 0;
        virtual void setStatusText(const std::string &text) = 0;
        // The balloon hint over the list.
        virtual void setHintText(const std::string &text) = 0;
        virtual void setTitle(const std::string &text) = 0;
        virtual int rowCount() const = 0;
        // row == rowCount() appends a row.
        virtual void setRow(int row, const RowContent &content) = 0;
        virtual void setRowImage(int row, int image) = 0;
        virtual void setRowTicked(int row, bool ticked) = 0;
        virtual bool rowTicked(int row) const = 0;
        virtual void deleteRow(int row) = 0;
        virtual std::string rowName(int row) const = 0;
        // Puts text on the clipboard.
        virtual void setClipboardText(const std::string &text) = 0;
        // The check boxes of desktop notifications and of autostart.
        virtual void setNotifyTicked(bool ticked) = 0;
        virtual void setAutostartTicked(bool ticked) = 0;
        virtual void setAutostartEnabled(bool enabled) = 0;
        // The check box of the history switch.
        virtual void setHistoryTicked(bool ticked) = 0;
        // Opens the outage list of the entry of that id (see
        // OutageListController).
        virtual void showOutages(std::uint32_t entryId, const std::string &entryName) = 0;
        // Modal dialogs of the main dialog; true when accepted.
        virtual bool runPortSettings(PortSettingsForm &form) = 0;
        virtual bool runTargetHost(TargetHostForm &form) = 0;
        // The Channels dialog, modal; it drives form (init, its events,
        // onOk) and calls form.close() as it goes.
        virtual bool runChannels(ChannelsForm &form)
        {
            (void)form;
            return false;
        }
    };

    MainDialogController(DialogFace &frame, Prompter &prompter, const MainDialogInit &init);
    ~MainDialogController();
    MainDialogController(const MainDialogController &) = delete;
    MainDialogController &operator=(const MainDialogController &) = delete;

    // The window's controls, before any of their events reaches the rules;
    // they must serve them until retire().
    void bind(Controls &controls) { controls_ = &controls; }
    // The dialog opens: fields to controls, the list, hint, status, title.
    void init();
    // The dialog goes: nothing reaches the frame from here on.
    void retire();
    bool retired() const { return !*alive_; }

    // The frame's side.
    void setMonitoring(bool running) { monitoring_ = running; }
    bool monitoring() const { return monitoring_; }
    void updateStateControls();
    void updateStatusText(bool running);
    void updateRow(int row, const EntryView &entry);
    void setRowImage(int row, int image);
    void fillList();
    // Every row shown afresh from the frame's entries (the list refilled
    // where their number differs), the rows and the selection kept.
    void refreshRows();

    // The user's side.
    void onStartStop();
    void onExitRequest();
    // The system closes the window (not the user's close box): the program
    // ends in order without a question.
    void onSystemClose();
    void onPortTest();
    void onTargetChange();
    // The Channels button and the tray's Channels command: the Channels
    // dialog, once at a time.
    void onChannels();
    // A click on a row (-1: none); onStateIcon: on the tick of the first
    // column.
    void onListClick(int row, bool onStateIcon);
    // A double click; inFirstColumn: within the first column's width.
    void onListDoubleClick(int row, bool inFirstColumn);
    // The up-down controls' fields changed.
    void onRetryChanged();
    void onIntervalChanged();
    void toggleActive(int row);
    // A key on the list, and a command of its context menu; the list keeps
    // these keys whatever they do.
    void onListKey(ListKey key, const ListSelection &selection);
    void onListCommand(ListCommand command, const ListSelection &selection);
    // The context menu's items, in order, for the list as it stands.
    std::vector<ListMenuItem> listMenu(const ListSelection &selection) const;
    // The selected rows as the clipboard gets them; the placeholder is left
    // out.
    std::string copyText(const std::vector<int> &rows) const;

    // The layout. Stored sizes are pixels at 96 DPI; a window at another
    // resolution passes its dpi and works in its own pixels. The column
    // widths to open with: the stored ones, else the defaults (see
    // defaultColumnWidths).
    std::vector<int> columnWidths(const std::function<int(const std::string &)> &textWidth, int cellExtra,
                                  int firstExtra, int dpi = kBaseDpi) const;
    // Where the window opens: nowhere in particular without a stored place,
    // else the stored one placed as placeStoredWindow() does. Its place is
    // in screen pixels as stored, its size scaled to dpi.
    bool restoredWindow(LayoutSize least, const std::vector<LayoutRect> &workAreas, LayoutRect &placed,
                        LayoutSize frame = {}, int dpi = kBaseDpi) const;
    // The window as it is, for the next start.
    void saveLayout(const LayoutRect &window, const std::vector<int> &columnWidths, int dpi = kBaseDpi);
    // The check boxes were ticked or unticked by the user.
    void onNotifyToggled(bool ticked);
    void onAutostartToggled(bool ticked);
    void onHistoryToggled(bool ticked);
    // Shows the autostart box as the system reports it now.
    void showAutostart();

    // Reads interval and retry with their checks; false at the first that
    // fails.
    bool readFields();
    // The hint's text for the list as it stands.
    std::string hintText() const;
    const std::string &targetHost() const;
    std::uint32_t intervalSeconds() const { return intervalSeconds_; }
    std::uint32_t retryLimit() const { return retryLimit_; }

private:
    bool channelsOpen_ = false;
    void addEntry(int row);
    void editEntry(int row);
    void deleteEntry(int row);
    void afterChange();
    // A row as the list shows it: without an uptime while no history is
    // there to tell one.
    RowContent shownRow(const EntryView &entry) const;
    // The frame's row of the list's row, found by its name as shown.
    int frameRow(int row) const;

    DialogFace &frame_;
    Prompter &prompter_;
    Controls *controls_ = nullptr;
    bool monitoring_ = false;
    bool autostartBusy_ = false;
    std::uint32_t intervalSeconds_ = 5;
    std::uint32_t retryLimit_ = 1;
    WindowLayout storedLayout_;
    // Message boxes and modal dialogs nest the event loop, and the program
    // may end from there (the tray's exit): whatever follows such a call
    // first asks whether the dialog is still there.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace vigilon
