// SPDX-License-Identifier: MIT
#include "win/PortListCtrl.h"

#include "base/StringTable.h"
#include "win/DialogIds.h"
#include "win/GraphResources.h"
#include "win/WinControls.h"
#include "win/WinDpi.h"
#include "win/WinText.h"

#include <algorithm>
#include <iterator>

namespace vigilon::win {

namespace {

struct ColumnInfo {
    unsigned header;
    int format;
    int width;
};
const ColumnInfo kColumns[] = {
    {sid::ColumnPortName, LVCFMT_CENTER, 100},     {sid::ColumnCommand, LVCFMT_LEFT, 200},
    {sid::ColumnErrorCount, LVCFMT_RIGHT, 40},     {sid::ColumnLastErrorTime, LVCFMT_LEFT, 120},
    {sid::ColumnResponseTime, LVCFMT_RIGHT, 60},   {sid::ColumnThreshold, LVCFMT_RIGHT, 60},
    {sid::ColumnHost, LVCFMT_LEFT, 100},           {sid::ColumnUptime, LVCFMT_RIGHT, 70},
};
static_assert(std::size(kColumns) == kListColumns);

constexpr UINT StateMask = LVIS_STATEIMAGEMASK;
constexpr UINT StateUnticked = 0x1000;
constexpr UINT StateTicked = 0x2000;

} // namespace

CPortListCtrl::~CPortListCtrl()
{
    if (images_)
        ImageList_Destroy(images_);
    if (stateImages_)
        ImageList_Destroy(stateImages_);
}

void CPortListCtrl::makeImageLists(int dpi)
{
    const HINSTANCE instance = resourceInstance();
    const int size = atDpi(ImageSize, dpi);
    // The pictures are composed over their mask colours, which the lists
    // take out again; stretched pixel for pixel, the mask colours stay.
    HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 0, 1);
    if (HBITMAP strip = loadBitmapAtDpi(instance, IDB_ROW_IMAGES, dpi)) {
        ImageList_AddMasked(images, strip, RGB(0, 0, 0));
        DeleteObject(strip);
    }
    ImageList_SetBkColor(images, CLR_NONE);
    HIMAGELIST stateImages = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 0, 1);
    if (HBITMAP boxes = loadBitmapAtDpi(instance, IDB_STATE_IMAGES, dpi)) {
        ImageList_AddMasked(stateImages, boxes, RGB(255, 0, 0));
        DeleteObject(boxes);
    }
    ListView_SetImageList(list_, images, LVSIL_SMALL);
    ListView_SetImageList(list_, stateImages, LVSIL_STATE);
    if (images_)
        ImageList_Destroy(images_);
    if (stateImages_)
        ImageList_Destroy(stateImages_);
    images_ = images;
    stateImages_ = stateImages;
}

std::function<int(const std::string &)> CPortListCtrl::textWidth() const
{
    return [list = list_](const std::string &text) {
        const std::wstring wide = widen(text);
        return static_cast<int>(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(wide.c_str())));
    };
}

std::vector<int> CPortListCtrl::columnWidths() const
{
    std::vector<int> widths;
    for (int c = 0; c < kListColumns; ++c)
        widths.push_back(ListView_GetColumnWidth(list_, c));
    return widths;
}

void CPortListCtrl::setUpColumns(const std::vector<int> &widths)
{
    // Info tips: a failed row tells why (LVN_GETINFOTIP).
    ListView_SetExtendedListViewStyle(list_, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB | LVS_EX_INFOTIP);
    int index = 0;
    for (const ColumnInfo &info : kColumns) {
        std::wstring header = loadWString(info.header);
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = info.format;
        column.cx = static_cast<std::size_t>(index) < widths.size() ? widths[static_cast<std::size_t>(index)] : info.width;
        column.pszText = header.data();
        column.iSubItem = index;
        SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
        ++index;
    }
    // Columns keep their index (and stored width); they are shown in the
    // list's order.
    int order[kListColumns];
    std::copy(kColumnOrder.begin(), kColumnOrder.end(), order);
    ListView_SetColumnOrderArray(list_, kListColumns, order);
}

int CPortListCtrl::rowCount() const
{
    return list_ ? static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)) : 0;
}

void CPortListCtrl::setRow(int row, const RowContent &content)
{
    std::wstring name = widen(content.texts[0]);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
    item.iItem = row;
    item.pszText = name.data();
    item.iImage = content.image;
    item.state = content.ticked ? StateTicked : StateUnticked;
    item.stateMask = StateMask;
    if (row >= rowCount()) {
        item.iItem = rowCount();
        row = static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (row < 0)
            return;
    } else {
        SendMessageW(list_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    for (int column = 1; column < kListColumns; ++column) {
        std::wstring text = widen(content.texts[static_cast<std::size_t>(column)]);
        LVITEMW cell{};
        cell.iSubItem = column;
        cell.pszText = text.data();
        SendMessageW(list_, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell));
    }
    if (rowTips_.size() <= static_cast<std::size_t>(row))
        rowTips_.resize(static_cast<std::size_t>(row) + 1);
    rowTips_[static_cast<std::size_t>(row)] = widen(content.tip);
}

void CPortListCtrl::setRowImage(int row, int image)
{
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iImage = image;
    SendMessageW(list_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void CPortListCtrl::setRowTicked(int row, bool ticked)
{
    LVITEMW item{};
    item.state = ticked ? StateTicked : StateUnticked;
    item.stateMask = StateMask;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

bool CPortListCtrl::rowTicked(int row) const
{
    return (SendMessageW(list_, LVM_GETITEMSTATE, static_cast<WPARAM>(row), StateMask) & StateMask) == StateTicked;
}

void CPortListCtrl::deleteRow(int row)
{
    SendMessageW(list_, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
    if (row >= 0 && static_cast<std::size_t>(row) < rowTips_.size())
        rowTips_.erase(rowTips_.begin() + row);
}

std::string CPortListCtrl::rowName(int row) const
{
    std::wstring text(260, L'\0');
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = text.data();
    item.cchTextMax = static_cast<int>(text.size());
    const auto length = SendMessageW(list_, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(0, length)));
    return narrow(text);
}

const std::wstring *CPortListCtrl::rowTip(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= rowTips_.size() || rowTips_[static_cast<std::size_t>(row)].empty())
        return nullptr;
    return &rowTips_[static_cast<std::size_t>(row)];
}

ListSelection CPortListCtrl::selection() const
{
    ListSelection selection;
    selection.current = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
    for (int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(list_, row, LVNI_SELECTED))
        selection.selected.push_back(row);
    return selection;
}

void CPortListCtrl::highlightOnly(int row)
{
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
    ListView_SetItemState(list_, row, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    ListView_EnsureVisible(list_, row, FALSE);
}

} // namespace vigilon::win
