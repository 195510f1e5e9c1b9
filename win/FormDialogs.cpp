// SPDX-License-Identifier: MIT
#include "win/FormDialogs.h"
#include "win/Localized.h"

#include "win/WinText.h"
#include "win/DialogIds.h"
#include "win/WinControls.h"

#include "app/dialogs/OutageListController.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>

namespace vigilon::win {

namespace {

// What every modal dialog here shares: its window, its prompter, and a flag
// that tells code after a message box whether the dialog is still there.
struct ModalBase {
    Prompter &prompter;
    void (*onOpen)(HWND, void *) = nullptr;
    void *context = nullptr;
    HWND window = nullptr;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    virtual ~ModalBase() = default;
    virtual void init() = 0;
    // A command; true when handled.
    virtual bool command(int id, int code) = 0;
    ModalBase(Prompter &p, void (*open)(HWND, void *), void *ctx) : prompter(p), onOpen(open), context(ctx) {}
};

// Over the middle of the window that opened it, as far as the screen allows.
void centreOnOwner(HWND window)
{
    HWND owner = GetWindow(window, GW_OWNER);
    if (!owner || !IsWindowVisible(owner) || IsIconic(owner))
        return;
    RECT outer{}, own{};
    GetWindowRect(owner, &outer);
    GetWindowRect(window, &own);
    const int width = own.right - own.left, height = own.bottom - own.top;
    int x = (outer.left + outer.right - width) / 2;
    int y = (outer.top + outer.bottom - height) / 2;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
        x = std::max(std::min(x, static_cast<int>(monitor.rcWork.right) - width), static_cast<int>(monitor.rcWork.left));
        y = std::max(std::min(y, static_cast<int>(monitor.rcWork.bottom) - height), static_cast<int>(monitor.rcWork.top));
    }
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK modalProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto *self = reinterpret_cast<ModalBase *>(GetWindowLongPtrW(window, DWLP_USER));
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<ModalBase *>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->window = window;
        growStaticsToFit(window);
        centreOnOwner(window);
        self->init();
        if (self->onOpen)
            self->onOpen(window, self->context);
        // The form has put the focus where it wants it (the port, not the
        // first control, the host).
        return FALSE;
    }
    if (!self)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        return self->command(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_DESTROY:
        *self->alive = false;
        if (self->onOpen)
            self->onOpen(nullptr, self->context);
        return FALSE;
    default:
        return FALSE;
    }
}

class PortSettingsDialog final : public ModalBase, private PortSettingsForm::Controls {
public:
    PortSettingsDialog(PortSettingsForm &form, Prompter &p, void (*open)(HWND, void *), void *ctx)
        : ModalBase(p, open, ctx)
        , form_(form)
    {
    }

    void init() override
    {
        port_.attach(GetDlgItem(window, IDC_PORT));
        threshold_.attach(GetDlgItem(window, IDC_THRESHOLD));
        certDays_.attach(GetDlgItem(window, IDC_CERT_DAYS));
        command_.attach(GetDlgItem(window, IDC_COMMAND));
        host_.attach(GetDlgItem(window, IDC_ENTRY_HOST));
        // The box itself refuses what would not fit, as the target's does.
        SendMessageW(host_.handle(), EM_LIMITTEXT, TargetHostForm::MaxHostChars, 0);
        HWND combo = GetDlgItem(window, IDC_PROTOCOL);
        for (const std::string &kind : PortSettingsForm::kindTexts())
            SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(kind).c_str()));
        httpCodes_.attach(GetDlgItem(window, IDC_HTTP_CODES));
        HWND choices = GetDlgItem(window, IDC_HTTP_STATUS);
        for (const std::string &choice : PortSettingsForm::httpStatusChoiceTexts())
            SendMessageW(choices, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(choice).c_str()));
        form_.init(*this);
    }

    bool command(int id, int code) override
    {
        switch (id) {
        case IDOK:
            if (form_.onOk(*this, prompter, alive) && *alive)
                EndDialog(window, IDOK);
            return true;
        case IDCANCEL:
            EndDialog(window, IDCANCEL);
            return true;
        case IDC_DELETE:
            if (form_.onDelete(*this, prompter, alive) && *alive)
                EndDialog(window, IDOK);
            return true;
        case IDC_PROTOCOL:
            if (code == CBN_SELCHANGE)
                form_.onProtocolChanged(*this, protocolIndex());
            return true;
        case IDC_HTTP_STATUS:
            if (code == CBN_SELCHANGE)
                form_.onHttpStatusChoiceChanged(*this);
            return true;
        default:
            return false;
        }
    }

private:
    EditField &portField() override { return port_; }
    EditField &thresholdField() override { return threshold_; }
    EditField &commandField() override { return command_; }
    EditField &hostField() override { return host_; }
    void setHostHint(const std::string &text) override
    {
        const std::wstring hint = widen(text);
        SendMessageW(host_.handle(), EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(hint.c_str()));
    }
    int protocolIndex() const override
    {
        return static_cast<int>(SendDlgItemMessageW(window, IDC_PROTOCOL, CB_GETCURSEL, 0, 0));
    }
    void setProtocolIndex(int index) override
    {
        SendDlgItemMessageW(window, IDC_PROTOCOL, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    void setDeleteEnabled(bool enabled) override { EnableWindow(GetDlgItem(window, IDC_DELETE), enabled); }
    int httpStatusChoice() const override
    {
        return static_cast<int>(SendDlgItemMessageW(window, IDC_HTTP_STATUS, CB_GETCURSEL, 0, 0));
    }
    void setHttpStatusChoice(int choice) override
    {
        SendDlgItemMessageW(window, IDC_HTTP_STATUS, CB_SETCURSEL, static_cast<WPARAM>(choice), 0);
    }
    EditField &httpCodesField() override { return httpCodes_; }
    void setHttpStatusEnabled(bool choice, bool codes) override
    {
        EnableWindow(GetDlgItem(window, IDC_HTTP_STATUS), choice);
        EnableWindow(httpCodes_.handle(), codes);
    }
    EditField &certDaysField() override { return certDays_; }
    void setCertDaysEnabled(bool enabled) override { EnableWindow(GetDlgItem(window, IDC_CERT_DAYS), enabled); }

    PortSettingsForm &form_;
    HwndEditField port_;
    HwndEditField threshold_;
    HwndEditField certDays_;
    HwndEditField command_;
    HwndEditField httpCodes_;
    HwndEditField host_;
};

class TargetHostDialog final : public ModalBase {
public:
    TargetHostDialog(TargetHostForm &form, Prompter &p, void (*open)(HWND, void *), void *ctx)
        : ModalBase(p, open, ctx)
        , form_(form)
    {
    }

    void init() override
    {
        host_.attach(GetDlgItem(window, IDC_HOST));
        // The box itself refuses what would not fit.
        SendMessageW(host_.handle(), EM_LIMITTEXT, TargetHostForm::MaxHostChars, 0);
        form_.init(host_);
    }

    bool command(int id, int) override
    {
        switch (id) {
        case IDOK:
            if (form_.onOk(host_, prompter) && *alive)
                EndDialog(window, IDOK);
            return true;
        case IDCANCEL:
            EndDialog(window, IDCANCEL);
            return true;
        default:
            return false;
        }
    }

private:
    TargetHostForm &form_;
    HwndEditField host_;
};

class OutageListDialog final : public ModalBase, private OutageListController::Controls {
public:
    OutageListDialog(Monitor &frame, Prompter &p, std::uint32_t entryId, const std::string &entryName,
                     void (*open)(HWND, void *), void *ctx)
        : ModalBase(p, open, ctx)
        , controller_(frame, p, *this, entryId, entryName)
    {
    }
    ~OutageListDialog() override { controller_.retire(); }

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

bool run(HWND owner, int templateId, ModalBase &dialog)
{
    const INT_PTR result = localizedDialogBox(resourceInstance(), templateId, owner, modalProc,
                                           reinterpret_cast<LPARAM>(&dialog));
    return result == IDOK;
}

} // namespace

void runOutageListDialog(HWND owner, Monitor &frame, Prompter &prompter, std::uint32_t entryId,
                         const std::string &entryName, void (*onOpen)(HWND, void *), void *context)
{
    OutageListDialog dialog(frame, prompter, entryId, entryName, onOpen, context);
    run(owner, IDD_OUTAGES, dialog);
}

bool runPortSettingsDialog(HWND owner, PortSettingsForm &form, Prompter &prompter, void (*onOpen)(HWND, void *),
                           void *context)
{
    PortSettingsDialog dialog(form, prompter, onOpen, context);
    return run(owner, IDD_PORT_SETTINGS, dialog);
}

bool runTargetHostDialog(HWND owner, TargetHostForm &form, Prompter &prompter, void (*onOpen)(HWND, void *),
                         void *context)
{
    TargetHostDialog dialog(form, prompter, onOpen, context);
    return run(owner, IDD_TARGET_HOST, dialog);
}

} // namespace vigilon::win
