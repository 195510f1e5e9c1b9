// SPDX-License-Identifier: MIT
#include "win/PortSettingsDlg.h"

#include "win/DialogIds.h"
#include "win/ModalDialog.h"
#include "win/WinControls.h"
#include "win/WinText.h"

#include <commctrl.h>

namespace vigilon::win {

namespace {

class CPortSettingsDlg final : public ModalBase, private PortSettingsForm::Controls {
public:
    CPortSettingsDlg(PortSettingsForm &form, Prompter &p, void (*open)(HWND, void *), void *ctx)
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

} // namespace

bool runPortSettingsDialog(HWND owner, PortSettingsForm &form, Prompter &prompter, void (*onOpen)(HWND, void *),
                           void *context)
{
    CPortSettingsDlg dialog(form, prompter, onOpen, context);
    return runModal(owner, IDD_PORT_SETTINGS, dialog);
}

} // namespace vigilon::win
