// SPDX-License-Identifier: MIT
#include "win/PortSettingsDlg.h"

#include "win/DialogIds.h"
#include "win/ModalDialog.h"
#include "win/WinControls.h"
#include "win/WinText.h"

#include <commctrl.h>

#include <vector>

namespace vigilon::win {

namespace {

// A multi-line edit as the dialogs' rules see it: lines end with LF there,
// with CR LF in the edit.
class MultiLineField final : public EditField {
public:
    void attach(HWND edit) { field_.attach(edit); }
    HWND handle() const { return field_.handle(); }
    std::string text() const override { return field_.text(); }
    void setText(const std::string &text) override
    {
        std::string shown;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
                shown += '\r';
            shown += text[i];
        }
        field_.setText(shown);
    }
    void focusAndSelect() override { field_.focusAndSelect(); }

private:
    HwndEditField field_;
};

using KindPanel = PortSettingsForm::KindPanel;

// Each kind panel's controls, its group box and labels included: shown and
// hidden together.
const std::vector<int> &panelControls(KindPanel panel)
{
    static const std::vector<int> none;
    static const std::vector<int> http{IDC_HTTP_GROUP,       IDC_HTTP_METHOD_LABEL, IDC_HTTP_PATH_LABEL,
                                       IDC_HTTP_HEADERS_LABEL, IDC_HTTP_BODY_LABEL, IDC_HTTP_BODY_NOTE,
                                       IDC_CONTENT_RULE_LABEL, IDC_HTTP_METHOD,     IDC_HTTP_PATH,
                                       IDC_HTTP_HEADERS,     IDC_HTTP_BODY,         IDC_HTTP_REDIRECTS,
                                       IDC_CONTENT_RULE,     IDC_CONTENT_TEXT};
    switch (panel) {
    case KindPanel::Http:
        return http;
    default:
        return none;
    }
}

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
        path_.attach(GetDlgItem(window, IDC_HTTP_PATH));
        headers_.attach(GetDlgItem(window, IDC_HTTP_HEADERS));
        body_.attach(GetDlgItem(window, IDC_HTTP_BODY));
        contentText_.attach(GetDlgItem(window, IDC_CONTENT_TEXT));
        quietWindows_.attach(GetDlgItem(window, IDC_QUIET_WINDOWS));
        for (HWND edit : {path_.handle(), headers_.handle(), body_.handle(), contentText_.handle()})
            SendMessageW(edit, EM_LIMITTEXT, kMaxRequestText, 0);
        HWND methods = GetDlgItem(window, IDC_HTTP_METHOD);
        for (const std::string &method : PortSettingsForm::methodTexts())
            SendMessageW(methods, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(method).c_str()));
        HWND rules = GetDlgItem(window, IDC_CONTENT_RULE);
        for (const std::string &choice : PortSettingsForm::contentRuleChoiceTexts())
            SendMessageW(rules, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(choice).c_str()));
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
        case IDC_HTTP_METHOD:
        case IDC_CONTENT_RULE:
            if (code == CBN_SELCHANGE)
                form_.onRequestChanged(*this);
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
    void showPanel(KindPanel panel) override
    {
        for (KindPanel each : {KindPanel::Http, KindPanel::Udp, KindPanel::Dns, KindPanel::Push}) {
            for (int id : panelControls(each))
                ShowWindow(GetDlgItem(window, id), each == panel ? SW_SHOW : SW_HIDE);
        }
    }
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
    int methodIndex() const override
    {
        return static_cast<int>(SendDlgItemMessageW(window, IDC_HTTP_METHOD, CB_GETCURSEL, 0, 0));
    }
    void setMethodIndex(int index) override
    {
        SendDlgItemMessageW(window, IDC_HTTP_METHOD, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    EditField &pathField() override { return path_; }
    EditField &headersField() override { return headers_; }
    EditField &bodyField() override { return body_; }
    bool followRedirects() const override
    {
        return SendDlgItemMessageW(window, IDC_HTTP_REDIRECTS, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    void setFollowRedirects(bool on) override
    {
        SendDlgItemMessageW(window, IDC_HTTP_REDIRECTS, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    int contentRuleChoice() const override
    {
        return static_cast<int>(SendDlgItemMessageW(window, IDC_CONTENT_RULE, CB_GETCURSEL, 0, 0));
    }
    void setContentRuleChoice(int choice) override
    {
        SendDlgItemMessageW(window, IDC_CONTENT_RULE, CB_SETCURSEL, static_cast<WPARAM>(choice), 0);
    }
    EditField &contentTextField() override { return contentText_; }
    EditField &quietWindowsField() override { return quietWindows_; }
    void setRequestEnabled(bool request, bool body, bool contentText) override
    {
        for (int id : {IDC_HTTP_METHOD, IDC_HTTP_PATH, IDC_HTTP_HEADERS, IDC_HTTP_REDIRECTS, IDC_CONTENT_RULE})
            EnableWindow(GetDlgItem(window, id), request);
        EnableWindow(body_.handle(), body);
        EnableWindow(contentText_.handle(), contentText);
    }

    PortSettingsForm &form_;
    HwndEditField port_;
    HwndEditField threshold_;
    HwndEditField certDays_;
    HwndEditField command_;
    HwndEditField httpCodes_;
    HwndEditField host_;
    HwndEditField path_;
    MultiLineField headers_;
    MultiLineField body_;
    HwndEditField contentText_;
    HwndEditField quietWindows_;
};

} // namespace

bool runPortSettingsDialog(HWND owner, PortSettingsForm &form, Prompter &prompter, void (*onOpen)(HWND, void *),
                           void *context)
{
    CPortSettingsDlg dialog(form, prompter, onOpen, context);
    return runModal(owner, IDD_PORT_SETTINGS, dialog);
}

} // namespace vigilon::win
