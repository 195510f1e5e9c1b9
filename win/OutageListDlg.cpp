// SPDX-License-Identifier: MIT
#include "win/OutageListDlg.h"

#include "app/dialogs/OutageListController.h"
#include "win/DialogIds.h"
#include "win/ModalDialog.h"
#include "win/WinText.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <vector>

namespace vigilon::win {

namespace {

class COutageListDlg final : public ModalBase, private OutageListController::Controls {
public:
    COutageListDlg(DialogFace &frame, Prompter &p, std::uint32_t entryId, const std::string &entryName,
                     void (*open)(HWND, void *), void *ctx)
        : ModalBase(p, open, ctx)
        , controller_(frame, p, *this, entryId, entryName)
    {
    }
    ~COutageListDlg() override { controller_.retire(); }

    void init() override
    {
        list_ = GetDlgItem(window, IDC_OUTAGE_LIST);
        SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
        const auto headers = OutageListController::headers();
        for (int c = 0; c < kOutageColumns; ++c) {
            std::wstring header = widen(headers[static_cast<std::size_t>(c)]);
            LVCOLUMNW column{};
            column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM;
            column.fmt = c == 2 ? LVCFMT_RIGHT : LVCFMT_LEFT;
            column.pszText = header.data();
            column.iSubItem = c;
            SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
        }
        controller_.init();
    }

    bool command(int id, int) override
    {
        switch (id) {
        case IDC_OUTAGE_EXPORT:
            controller_.onExport();
            return true;
        case IDOK:
        case IDCANCEL:
            EndDialog(window, IDCANCEL);
            return true;
        default:
            return false;
        }
    }

private:
    void setTitle(const std::string &text) override { SetWindowTextW(window, widen(text).c_str()); }
    void setRows(const std::vector<std::array<std::string, kOutageColumns>> &rows, const std::string &note) override
    {
        SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
        int index = 0;
        for (const auto &row : rows) {
            for (int c = 0; c < kOutageColumns; ++c) {
                std::wstring text = widen(row[static_cast<std::size_t>(c)]);
                LVITEMW item{};
                item.mask = LVIF_TEXT;
                item.iItem = index;
                item.iSubItem = c;
                item.pszText = text.data();
                SendMessageW(list_, c == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, c == 0 ? 0 : static_cast<WPARAM>(index),
                             reinterpret_cast<LPARAM>(&item));
            }
            ++index;
        }
        for (int c = 0; c < kOutageColumns; ++c)
            SendMessageW(list_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c),
                         rows.empty() ? LVSCW_AUTOSIZE_USEHEADER : LVSCW_AUTOSIZE);
        // A column narrower than its header shows the header whole.
        for (int c = 0; c < kOutageColumns && !rows.empty(); ++c) {
            const LRESULT cells = SendMessageW(list_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0);
            SendMessageW(list_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c), LVSCW_AUTOSIZE_USEHEADER);
            const LRESULT header = SendMessageW(list_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c), 0);
            if (c < kOutageColumns - 1)
                SendMessageW(list_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c), std::max(cells, header));
        }
        SetDlgItemTextW(window, IDC_OUTAGE_NOTE, widen(note).c_str());
    }
    void setExportEnabled(bool enabled) override { EnableWindow(GetDlgItem(window, IDC_OUTAGE_EXPORT), enabled); }

    OutageListController controller_;
    HWND list_ = nullptr;
};

} // namespace

void runOutageListDialog(HWND owner, DialogFace &frame, Prompter &prompter, std::uint32_t entryId,
                         const std::string &entryName, void (*onOpen)(HWND, void *), void *context)
{
    COutageListDlg dialog(frame, prompter, entryId, entryName, onOpen, context);
    runModal(owner, IDD_OUTAGES, dialog);
}

} // namespace vigilon::win
