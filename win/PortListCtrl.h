// SPDX-License-Identifier: MIT
#pragma once

#include "app/dialogs/MainDialogController.h"

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace vigilon::win {

// The port list of the main dialog: the system's list view with one row per
// entry. Column 0 carries the row's check box (state image 1 empty, 2
// ticked) and its status image before the name; a failed row keeps a tip
// that the list's info tip shows. The list view is the dialog's control;
// this holds its columns, image lists, rows and the rows' tips.
class CPortListCtrl {
public:
    // The images' size in pixels at 96 DPI.
    static constexpr int ImageSize = 16;

    CPortListCtrl() = default;
    ~CPortListCtrl();
    CPortListCtrl(const CPortListCtrl &) = delete;
    CPortListCtrl &operator=(const CPortListCtrl &) = delete;

    void attach(HWND list) { list_ = list; }
    HWND handle() const { return list_; }

    // The list's styles and its columns: headers, widths (where widths
    // has none, the column's own default) and the order they show in.
    void setUpColumns(const std::vector<int> &widths);
    // The row and state images at a resolution.
    void makeImageLists(int dpi);
    // Wide enough for a whole name and date, measured in the list's font;
    // the images take the first column's left.
    std::function<int(const std::string &)> textWidth() const;
    // Every column's width, by index.
    std::vector<int> columnWidths() const;

    int rowCount() const;
    // Writes a row, or adds one at the end when row is past the last.
    void setRow(int row, const RowContent &content);
    void setRowImage(int row, int image);
    void setRowTicked(int row, bool ticked);
    bool rowTicked(int row) const;
    void deleteRow(int row);
    std::string rowName(int row) const;
    // The tip of a row (see failureTip); null when it has none.
    const std::wstring *rowTip(int row) const;

    ListSelection selection() const;
    // The row alone highlighted, focused and in view.
    void highlightOnly(int row);

private:
    HWND list_ = nullptr;
    HIMAGELIST images_ = nullptr;
    HIMAGELIST stateImages_ = nullptr;
    std::vector<std::wstring> rowTips_;
};

} // namespace vigilon::win
