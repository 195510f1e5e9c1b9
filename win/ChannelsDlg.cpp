// SPDX-License-Identifier: MIT
#include "win/ChannelsDlg.h"

#include "win/DialogIds.h"
#include "win/ModalDialog.h"
#include "win/WinControls.h"
#include "win/WinText.h"

#include <commctrl.h>

namespace vigilon::win {

namespace {

// The list's columns, in dialog units.
constexpr int kColumnWidths[ChannelsForm::ColumnCount] = {60, 50, 110, 70, 120};

class CChannelsDlg final : public ModalBase, private ChannelsForm::Controls {
public:
    CChannelsDlg(ChannelsForm &form, Prompter &p, void (*open)(HWND, void *), void *ctx)
        : ModalBase(p, open, ctx)
        , form_(form)
    {
    }
    ~CChannelsDlg() override { form_.close(); }

    void init() override
    {
        list_ = GetDlgItem(window, IDC_CHANNEL_LIST);
        SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP,
                     LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
        const auto headers = ChannelsForm::columnTexts();
        for (int c = 0; c < ChannelsForm::ColumnCount; ++c) {
            std::wstring header = widen(headers[static_cast<std::size_t>(c)]);
            RECT width{0, 0, kColumnWidths[c], 1};
            MapDialogRect(window, &width);
            LVCOLUMNW column{};
            column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM | LVCF_WIDTH;
            column.fmt = LVCFMT_LEFT;
            column.cx = width.right;
            column.pszText = header.data();
            column.iSubItem = c;
            SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
        }
        name_.attach(GetDlgItem(window, IDC_CHANNEL_NAME));
        url_.attach(GetDlgItem(window, IDC_CHANNEL_URL));
        headers_.attach(GetDlgItem(window, IDC_CHANNEL_HEADERS));
        reminder_.attach(GetDlgItem(window, IDC_CHANNEL_REMINDER));
        SendMessageW(GetDlgItem(window, IDC_CHANNEL_NAME), EM_LIMITTEXT, 255, 0);
        SendMessageW(GetDlgItem(window, IDC_CHANNEL_REMINDER), EM_LIMITTEXT, 6, 0);
        form_.init(*this);
    }

    bool command(int id, int) override
    {
        switch (id) {
        case IDC_CHANNEL_ADD:
            form_.onAdd();
            return true;
        case IDC_CHANNEL_DELETE:
            form_.onDelete();
            return true;
        case IDC_CHANNEL_TEST:
            form_.onTest();
            return true;
        case IDOK:
            if (form_.onOk() && *alive)
                EndDialog(window, IDOK);
            return true;
        case IDCANCEL:
            form_.close();
            EndDialog(window, IDCANCEL);
            return true;
        default:
            return false;
        }
    }

    bool notify(const NMHDR &header) override
    {
        if (header.idFrom != IDC_CHANNEL_LIST || header.code != LVN_ITEMCHANGED || filling_)
            return false;
        const auto &change = reinterpret_cast<const NMLISTVIEW &>(header);
        if ((change.uChanged & LVIF_STATE) && (change.uNewState & LVIS_SELECTED) &&
            !(change.uOldState & LVIS_SELECTED))
            form_.onSelect(change.iItem);
        return true;
    }

private:
    void setRows(const std::vector<std::vector<std::string>> &rows) override
    {
        filling_ = true;
        const int count = static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0));
        for (int r = count - 1; r >= static_cast<int>(rows.size()); --r)
            SendMessageW(list_, LVM_DELETEITEM, static_cast<WPARAM>(r), 0);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            for (std::size_t c = 0; c < rows[r].size(); ++c) {
                std::wstring text = widen(rows[r][c]);
                LVITEMW item{};
                item.mask = LVIF_TEXT;
                item.iItem = static_cast<int>(r);
                item.iSubItem = static_cast<int>(c);
                item.pszText = text.data();
                const bool insert = c == 0 && static_cast<int>(r) >= count;
                SendMessageW(list_, insert ? LVM_INSERTITEMW : LVM_SETITEMTEXTW,
                             insert ? 0 : static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item));
            }
        }
        filling_ = false;
    }
    void selectRow(int row) override
    {
        filling_ = true;
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
        if (row >= 0) {
            state.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
            SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
        }
        filling_ = false;
    }
    EditField &nameField() override { return name_; }
    EditField &urlField() override { return url_; }
    EditField &headersField() override { return headers_; }
    EditField &reminderField() override { return reminder_; }
    bool recovery() const override { return IsDlgButtonChecked(window, IDC_CHANNEL_RECOVERY) == BST_CHECKED; }
    void setRecovery(bool on) override { CheckDlgButton(window, IDC_CHANNEL_RECOVERY, on ? BST_CHECKED : BST_UNCHECKED); }
    void setEditEnabled(bool enabled) override
    {
        for (int id : {IDC_CHANNEL_NAME, IDC_CHANNEL_URL, IDC_CHANNEL_HEADERS, IDC_CHANNEL_RECOVERY,
                       IDC_CHANNEL_REMINDER, IDC_CHANNEL_DELETE, IDC_CHANNEL_TEST})
            EnableWindow(GetDlgItem(window, id), enabled);
    }
    void setStatusText(const std::string &text) override
    {
        SetDlgItemTextW(window, IDC_CHANNEL_STATUS, widen(text).c_str());
    }

    ChannelsForm &form_;
    HWND list_ = nullptr;
    bool filling_ = false;
    HwndEditField name_, url_, reminder_;
    MultiLineEditField headers_;
};

} // namespace

bool runChannelsDialog(HWND owner, ChannelsForm &form, Prompter &prompter, void (*onOpen)(HWND, void *),
                       void *context)
{
    CChannelsDlg dialog(form, prompter, onOpen, context);
    return runModal(owner, IDD_CHANNELS, dialog);
}

} // namespace vigilon::win
