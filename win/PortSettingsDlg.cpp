// SPDX-License-Identifier: MIT
#include "win/PortSettingsDlg.h"

#include "base/StringTable.h"
#include "win/DialogIds.h"
#include "win/ModalDialog.h"
#include "win/WinControls.h"
#include "win/WinText.h"
#include "probes/DnsAnswer.h"

#include <commctrl.h>

#include <cstring>
#include <vector>

namespace vigilon::win {

namespace {

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
                                       IDC_CONTENT_RULE,     IDC_CONTENT_TEXT,      IDC_HTTP_USER_LABEL,
                                       IDC_HTTP_USER,        IDC_HTTP_PASSWORD_LABEL, IDC_HTTP_PASSWORD};
    static const std::vector<int> udp{IDC_UDP_GROUP,         IDC_UDP_MODE_LABEL, IDC_UDP_MODE,
                                      IDC_UDP_HELP,          IDC_UDP_PAYLOAD_LABEL, IDC_UDP_PAYLOAD,
                                      IDC_UDP_EXPECT_LABEL,  IDC_UDP_EXPECT,     IDC_UDP_BYTES_NOTE};
    static const std::vector<int> dns{IDC_DNS_GROUP,        IDC_DNS_NAME_LABEL,   IDC_DNS_TYPE_LABEL,
                                      IDC_DNS_EXPECT_LABEL, IDC_DNS_ANSWERS_LABEL, IDC_DNS_ANSWERS_NOTE,
                                      IDC_DNS_NAME,         IDC_DNS_TYPE,          IDC_DNS_EXPECT,
                                      IDC_DNS_ANSWERS};
    static const std::vector<int> push{IDC_PUSH_GROUP,      IDC_PUSH_TOKEN_LABEL, IDC_PUSH_TOKEN,
                                       IDC_PUSH_COPY,       IDC_PUSH_CALL_LABEL,  IDC_PUSH_CALL,
                                       IDC_PUSH_REGENERATE, IDC_PUSH_NOTE,        IDC_ENTRY_ID_LABEL,
                                       IDC_ENTRY_ID};
    switch (panel) {
    case KindPanel::Http:
        return http;
    case KindPanel::Udp:
        return udp;
    case KindPanel::Dns:
        return dns;
    case KindPanel::Push:
        return push;
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
        user_.attach(GetDlgItem(window, IDC_HTTP_USER));
        password_.attach(GetDlgItem(window, IDC_HTTP_PASSWORD));
        for (HWND edit : {user_.handle(), password_.handle()})
            SendMessageW(edit, EM_LIMITTEXT, kMaxCredentialChars, 0);
        quietWindows_.attach(GetDlgItem(window, IDC_QUIET_WINDOWS));
        for (HWND edit : {path_.handle(), headers_.handle(), body_.handle(), contentText_.handle()})
            SendMessageW(edit, EM_LIMITTEXT, kMaxRequestText, 0);
        HWND methods = GetDlgItem(window, IDC_HTTP_METHOD);
        for (const std::string &method : PortSettingsForm::methodTexts())
            SendMessageW(methods, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(method).c_str()));
        HWND rules = GetDlgItem(window, IDC_CONTENT_RULE);
        for (const std::string &choice : PortSettingsForm::contentRuleChoiceTexts())
            SendMessageW(rules, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(choice).c_str()));
        name_.attach(GetDlgItem(window, IDC_ENTRY_NAME));
        interval_.attach(GetDlgItem(window, IDC_ENTRY_INTERVAL));
        retry_.attach(GetDlgItem(window, IDC_ENTRY_RETRY));
        timeout_.attach(GetDlgItem(window, IDC_ENTRY_TIMEOUT));
        SendMessageW(name_.handle(), EM_LIMITTEXT, PortSettingsForm::MaxNameChars, 0);
        udpPayload_.attach(GetDlgItem(window, IDC_UDP_PAYLOAD));
        udpExpect_.attach(GetDlgItem(window, IDC_UDP_EXPECT));
        for (HWND edit : {udpPayload_.handle(), udpExpect_.handle()})
            SendMessageW(edit, EM_LIMITTEXT, PortSettingsForm::MaxUdpBytesChars, 0);
        HWND modes = GetDlgItem(window, IDC_UDP_MODE);
        for (const std::string &mode : PortSettingsForm::udpModeTexts())
            SendMessageW(modes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(mode).c_str()));
        initDnsPanel();
        initChannelList();
        form_.init(*this);
        initialised_ = true;
    }

    void initDnsPanel()
    {
        dnsName_.attach(GetDlgItem(window, IDC_DNS_NAME));
        SendMessageW(dnsName_.handle(), EM_LIMITTEXT, 255, 0);
        dnsAnswers_.attach(GetDlgItem(window, IDC_DNS_ANSWERS));
        SendMessageW(dnsAnswers_.handle(), EM_LIMITTEXT, kMaxRequestText, 0);
        HWND types = GetDlgItem(window, IDC_DNS_TYPE);
        for (const std::string &type : dns::recordTypes())
            SendMessageW(types, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(type).c_str()));
        HWND choices = GetDlgItem(window, IDC_DNS_EXPECT);
        for (const std::string &choice : PortSettingsForm::dnsExpectChoiceTexts())
            SendMessageW(choices, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(choice).c_str()));
    }

    void initChannelList()
    {
        HWND list = GetDlgItem(window, IDC_PORT_CHANNELS);
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                     LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        RECT client{};
        GetClientRect(list, &client);
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH;
        column.cx = client.right - GetSystemMetrics(SM_CXVSCROLL);
        SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        // Given here, after the statics grew to their texts: the note wraps
        // within the group.
        SetDlgItemTextW(window, IDC_PORT_CHANNELS_NOTE, widen(loadString(sid::PortChannelsAllNote)).c_str());
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
        case IDC_UDP_MODE:
            if (code == CBN_SELCHANGE)
                form_.onUdpModeChanged(*this);
            return true;
        case IDC_PORT:
            // What the user types reaches the name at once.
            if (code == EN_CHANGE && initialised_)
                form_.onPortEdited(*this);
            return code == EN_CHANGE;
        case IDC_DNS_EXPECT:
            if (code == CBN_SELCHANGE)
                form_.onDnsExpectChanged(*this);
            return true;
        case IDC_PUSH_COPY:
            form_.onPushCopy(*this);
            return true;
        case IDC_PUSH_REGENERATE:
            form_.onPushRegenerate(*this, prompter);
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
    EditField &userField() override { return user_; }
    EditField &passwordField() override { return password_; }
    EditField &quietWindowsField() override { return quietWindows_; }
    void setChannelRows(const std::vector<std::string> &rows, const std::vector<bool> &ticked, bool enabled) override
    {
        HWND list = GetDlgItem(window, IDC_PORT_CHANNELS);
        // Without check boxes a row that only says something shows no box.
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_CHECKBOXES, enabled ? LVS_EX_CHECKBOXES : 0);
        SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        for (std::size_t row = 0; row < rows.size(); ++row) {
            std::wstring text = widen(rows[row]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(row);
            item.pszText = text.data();
            const int at = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
            if (enabled && at >= 0) {
                LVITEMW state{};
                state.stateMask = LVIS_STATEIMAGEMASK;
                state.state = INDEXTOSTATEIMAGEMASK(row < ticked.size() && ticked[row] ? 2 : 1);
                SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&state));
            }
        }
        EnableWindow(list, enabled);
    }
    std::vector<bool> channelTicks() const override
    {
        HWND list = GetDlgItem(window, IDC_PORT_CHANNELS);
        std::vector<bool> ticked;
        const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; ++row) {
            const auto state = static_cast<UINT>(
                SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
            ticked.push_back((state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2));
        }
        return ticked;
    }
    void setRequestEnabled(bool request, bool body, bool contentText) override
    {
        for (int id : {IDC_HTTP_METHOD, IDC_HTTP_PATH, IDC_HTTP_HEADERS, IDC_HTTP_REDIRECTS, IDC_CONTENT_RULE,
                       IDC_HTTP_USER, IDC_HTTP_PASSWORD})
            EnableWindow(GetDlgItem(window, id), request);
        EnableWindow(body_.handle(), body);
        EnableWindow(contentText_.handle(), contentText);
    }

    EditField &nameField() override { return name_; }
    EditField &intervalField() override { return interval_; }
    EditField &retryField() override { return retry_; }
    EditField &timeoutField() override { return timeout_; }
    void setScheduleHelp(const std::string &text) override
    {
        SetDlgItemTextW(window, IDC_ENTRY_SCHEDULE_HELP, widen(text).c_str());
    }
    int udpModeIndex() const override
    {
        return static_cast<int>(SendDlgItemMessageW(window, IDC_UDP_MODE, CB_GETCURSEL, 0, 0));
    }
    void setUdpModeIndex(int index) override
    {
        SendDlgItemMessageW(window, IDC_UDP_MODE, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    void setUdpHelp(const std::string &text) override
    {
        SetDlgItemTextW(window, IDC_UDP_HELP, widen(text).c_str());
    }
    EditField &udpPayloadField() override { return udpPayload_; }
    EditField &udpExpectField() override { return udpExpect_; }
    void setUdpBytesEnabled(bool payload, bool expect) override
    {
        EnableWindow(udpPayload_.handle(), payload);
        EnableWindow(udpExpect_.handle(), expect);
    }
    void setPushToken(const std::string &token) override
    {
        SetDlgItemTextW(window, IDC_PUSH_TOKEN, widen(token).c_str());
    }
    void setPushCall(const std::string &line) override
    {
        SetDlgItemTextW(window, IDC_PUSH_CALL, widen(line).c_str());
    }
    void setStableId(const std::string &id) override { SetDlgItemTextW(window, IDC_ENTRY_ID, widen(id).c_str()); }
    void copyText(const std::string &text) override
    {
        const std::wstring wide = widen(text);
        if (!OpenClipboard(window))
            return;
        EmptyClipboard();
        const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
        if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
            if (void *at = GlobalLock(memory)) {
                std::memcpy(at, wide.c_str(), bytes);
                GlobalUnlock(memory);
                if (!SetClipboardData(CF_UNICODETEXT, memory))
                    GlobalFree(memory);
            } else {
                GlobalFree(memory);
            }
        }
        CloseClipboard();
    }

    PortSettingsForm &form_;
    // The form has filled the controls: changes from now on are the user's.
    bool initialised_ = false;
    HwndEditField name_;
    HwndEditField interval_;
    HwndEditField retry_;
    HwndEditField timeout_;
    HwndEditField udpPayload_;
    HwndEditField udpExpect_;
    // The DNS panel.
    EditField &dnsNameField() override { return dnsName_; }
    int dnsTypeIndex() const override
    {
        return static_cast<int>(SendDlgItemMessageW(window, IDC_DNS_TYPE, CB_GETCURSEL, 0, 0));
    }
    void setDnsTypeIndex(int index) override
    {
        SendDlgItemMessageW(window, IDC_DNS_TYPE, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    int dnsExpectChoice() const override
    {
        return static_cast<int>(SendDlgItemMessageW(window, IDC_DNS_EXPECT, CB_GETCURSEL, 0, 0));
    }
    void setDnsExpectChoice(int choice) override
    {
        SendDlgItemMessageW(window, IDC_DNS_EXPECT, CB_SETCURSEL, static_cast<WPARAM>(choice), 0);
    }
    EditField &dnsAnswersField() override { return dnsAnswers_; }
    void setDnsAnswersEnabled(bool enabled) override { EnableWindow(dnsAnswers_.handle(), enabled); }

    HwndEditField dnsName_;
    HwndEditField dnsAnswers_;
    HwndEditField port_;
    HwndEditField threshold_;
    HwndEditField certDays_;
    HwndEditField command_;
    HwndEditField httpCodes_;
    HwndEditField host_;
    HwndEditField path_;
    MultiLineEditField headers_;
    MultiLineEditField body_;
    HwndEditField contentText_;
    HwndEditField user_;
    HwndEditField password_;
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
