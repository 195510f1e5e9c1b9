// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "base/Prompter.h"
#include "app/dialogs/DialogLayout.h"
#include "app/dialogs/MainDialogController.h"
#include "win/BalloonWnd.h"
#include "win/PortListCtrl.h"
#include "win/WinControls.h"

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vigilon::win {

// The main dialog (template 102): monitoring status, start and stop,
// interval and retry count, target host, port test, exit, and the port list.
// The window, its controls, their places and wiring are here; what they do
// is MainDialogController's.
class CMonitorDlg final : public MainDialogWindow, private MainDialogController::Controls {
public:
    static constexpr int MinTrackWidth = 400;
    static constexpr int MinTrackHeight = 160;

    CMonitorDlg(DialogFace &frame, std::shared_ptr<MainDialogController> controller, Prompter &prompter);
    ~CMonitorDlg() override;
    CMonitorDlg(const CMonitorDlg &) = delete;
    CMonitorDlg &operator=(const CMonitorDlg &) = delete;

    // Creates the window, hidden; false when it cannot be made.
    bool create();
    // MainDialogWindow: letting go ends a modal dialog of ours, and the
    // window and this object go at once when none of their calls is on the
    // stack, else hidden now and gone once the loop has them again.
    void showWindow() override { ShowWindow(window_, SW_SHOW); }
    void hideWindow() override { ShowWindow(window_, SW_HIDE); }
    void release() override;

    HWND handle() const { return window_; }
    // The resolution the dialog is laid out for.
    int dpi() const { return dpi_; }

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK listProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data);
    static void trackModal(HWND modal, void *self);
    // Counts a call of ours on the stack (see release()).
    class Busy;
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void finish();

    void initDialog();
    void setUpList();
    // The icons, the logo and own fonts at the dialog's resolution.
    void loadIcons();
    void loadLogo();
    void makeFonts();
    std::vector<int> defaultWidths() const;
    // The dialog moved to a screen of another resolution (WM_DPICHANGED):
    // everything placed or sized in pixels is scaled, the window takes the
    // suggested rectangle.
    void onDpiChanged(int dpi, const RECT &suggested);
    void rememberLayout();
    // A window that opens at its template's size grows until the list shows
    // every column without scrolling sideways.
    void showAllColumns();
    void applyLayout();
    void minTrackSize(MINMAXINFO &info) const;
    void paint();
    void onCommand(int id, int code);
    // What the list's notification returns.
    LRESULT onListNotify(const NMHDR &header);
    // The list's own keys; true when the key was one.
    bool onListKey(UINT message, WPARAM key);
    // The context menu at a point of the list's client area.
    void listContextMenu(POINT at);
    void restoreLayout();
    void saveLayout();

    // MainDialogController::Controls
    EditField &intervalField() override { return intervalField_; }
    EditField &retryField() override { return retryField_; }
    void setIntervalSpinPos(int pos) override;
    void setRetrySpinPos(int pos) override;
    void setSettingsEnabled(bool enabled) override;
    void setPortTestEnabled(bool enabled) override;
    void setStartStopText(const std::string &text) override;
    void setStatusText(const std::string &text) override;
    void setHintText(const std::string &text) override;
    void setTitle(const std::string &text) override;
    int rowCount() const override;
    void setRow(int row, const RowContent &content) override;
    void setRowImage(int row, int image) override;
    void setRowTicked(int row, bool ticked) override;
    bool rowTicked(int row) const override;
    void deleteRow(int row) override;
    std::string rowName(int row) const override;
    void setNotifyTicked(bool ticked) override;
    void setAutostartTicked(bool ticked) override;
    void setAutostartEnabled(bool enabled) override;
    void setHistoryTicked(bool ticked) override;
    void showOutages(std::uint32_t entryId, const std::string &entryName) override;
    bool runPortSettings(PortSettingsForm &form) override;
    bool runTargetHost(TargetHostForm &form) override;
    bool runChannels(ChannelsForm &form) override;
    void setClipboardText(const std::string &text) override;

    void setSpinPos(int spin, int pos);
    HWND item(int id) const { return GetDlgItem(window_, id); }

    DialogFace &frame_;
    Prompter &prompter_;
    std::shared_ptr<MainDialogController> controller_;
    HwndEditField intervalField_;
    HwndEditField retryField_;
    std::unique_ptr<CBalloonWnd> hint_;
    HWND window_ = nullptr;
    HWND list_ = nullptr;
    CPortListCtrl portList_;
    HWND modal_ = nullptr;
    HICON bigIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    HBITMAP logo_ = nullptr;
    HFONT captionFont_ = nullptr;
    // The dialog's font when the dialog made it for a new resolution.
    HFONT dialogFont_ = nullptr;
    int dpi_ = kBaseDpi;
    std::wstring captionText_;
    // The controls that follow the window's size, and all others, as
    // placed at initialisation; what the smallest size is made from.
    std::vector<std::pair<int, Follow>> followers_;
    std::vector<LaidControl> laid_;
    // Field changes are checked once the up-down controls are set up.
    bool ready_ = false;
    // Only a window that has been seen has a layout to keep.
    bool shownOnce_ = false;
    int depth_ = 0;
    bool doomed_ = false;
    bool finishing_ = false;
};

} // namespace vigilon::win
