// SPDX-License-Identifier: MIT
#pragma once

#include "base/Prompter.h"
#include "app/dialogs/PortSettingsForm.h"
#include "qt/LineEditField.h"
#include "qt/PlainTextField.h"

#include <QDialog>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace vigilon {

class DialogUnits;

// The port settings dialog's widgets; what they do is PortSettingsForm's. The
// caller sets the form's fields, runs the dialog and reads them back.
class CPortSettingsDlg final : public QDialog, private PortSettingsForm::Controls {
    Q_OBJECT
public:
    CPortSettingsDlg(Prompter &prompter, PortSettingsForm &form, QWidget *parent = nullptr);
    ~CPortSettingsDlg() override;

    using KindPanel = PortSettingsForm::KindPanel;
    PortSettingsForm &form() { return form_; }
    // The kind panel shown last.
    KindPanel shownPanel() const { return shownPanel_; }
    QLineEdit *portEdit() const { return portEdit_; }
    QComboBox *protocolCombo() const { return protocolCombo_; }
    QLineEdit *commandEdit() const { return commandEdit_; }
    QLineEdit *thresholdEdit() const { return thresholdEdit_; }
    QComboBox *httpStatusCombo() const { return httpStatusCombo_; }
    QLineEdit *httpCodesEdit() const { return httpCodesEdit_; }
    QLineEdit *hostEdit() const { return hostEdit_; }
    QLineEdit *certDaysEdit() const { return certDaysEdit_; }
    QComboBox *methodCombo() const { return methodCombo_; }
    QLineEdit *pathEdit() const { return pathEdit_; }
    QPlainTextEdit *headersEdit() const { return headersEdit_; }
    QPlainTextEdit *bodyEdit() const { return bodyEdit_; }
    QCheckBox *redirectsCheck() const { return redirectsCheck_; }
    QComboBox *contentRuleCombo() const { return contentRuleCombo_; }
    QLineEdit *contentTextEdit() const { return contentTextEdit_; }
    QLineEdit *userEdit() const { return userEdit_; }
    QLineEdit *passwordEdit() const { return passwordEdit_; }
    QLineEdit *nameEdit() const { return nameEdit_; }
    QLineEdit *intervalEdit() const { return intervalEdit_; }
    QLineEdit *retryEdit() const { return retryEdit_; }
    QLineEdit *timeoutEdit() const { return timeoutEdit_; }
    QLabel *scheduleHelp() const { return scheduleHelp_; }
    QComboBox *udpModeCombo() const { return udpModeCombo_; }
    QLabel *udpHelp() const { return udpHelp_; }
    QLineEdit *udpPayloadEdit() const { return udpPayloadEdit_; }
    QLineEdit *udpExpectEdit() const { return udpExpectEdit_; }
    QLineEdit *dnsNameEdit() const { return dnsNameEdit_; }
    QComboBox *dnsTypeCombo() const { return dnsTypeCombo_; }
    QComboBox *dnsExpectCombo() const { return dnsExpectCombo_; }
    QLineEdit *dnsAnswersEdit() const { return dnsAnswersEdit_; }
    QPushButton *okButton() const { return ok_; }
    QPushButton *deleteButton() const { return delete_; }
    // The Push panel.
    QLineEdit *pushTokenEdit() const { return pushTokenEdit_; }
    QLineEdit *pushCallEdit() const { return pushCallEdit_; }
    QLineEdit *stableIdEdit() const { return stableIdEdit_; }
    QPushButton *pushCopyButton() const { return pushCopy_; }
    QPushButton *pushRegenerateButton() const { return pushRegenerate_; }
    // The channels' list, a check box an item.
    QListWidget *channelList() const { return channelList_; }

    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void onDelete();

    // PortSettingsForm::Controls
    EditField &portField() override { return portField_; }
    EditField &thresholdField() override { return thresholdField_; }
    EditField &commandField() override { return commandField_; }
    EditField &hostField() override { return hostField_; }
    void setHostHint(const std::string &text) override;
    int protocolIndex() const override;
    void setProtocolIndex(int index) override;
    void setDeleteEnabled(bool enabled) override;
    void showPanel(KindPanel panel) override;
    // Makes widgets members of a kind panel, shown and hidden together.
    void inPanel(KindPanel panel, std::initializer_list<QWidget *> widgets);
    int httpStatusChoice() const override;
    void setHttpStatusChoice(int choice) override;
    EditField &httpCodesField() override { return httpCodesField_; }
    void setHttpStatusEnabled(bool choice, bool codes) override;
    EditField &certDaysField() override { return certDaysField_; }
    void setCertDaysEnabled(bool enabled) override;
    int methodIndex() const override;
    void setMethodIndex(int index) override;
    EditField &pathField() override { return pathField_; }
    EditField &headersField() override { return headersField_; }
    EditField &bodyField() override { return bodyField_; }
    bool followRedirects() const override;
    void setFollowRedirects(bool on) override;
    int contentRuleChoice() const override;
    void setContentRuleChoice(int choice) override;
    EditField &contentTextField() override { return contentTextField_; }
    EditField &userField() override { return userField_; }
    EditField &passwordField() override { return passwordField_; }
    EditField &quietWindowsField() override { return quietWindowsField_; }
    void setRequestEnabled(bool request, bool body, bool contentText) override;
    EditField &nameField() override { return nameField_; }
    EditField &intervalField() override { return intervalField_; }
    EditField &retryField() override { return retryField_; }
    EditField &timeoutField() override { return timeoutField_; }
    void setScheduleHelp(const std::string &text) override;
    int udpModeIndex() const override;
    void setUdpModeIndex(int index) override;
    void setUdpHelp(const std::string &text) override;
    EditField &udpPayloadField() override { return udpPayloadField_; }
    EditField &udpExpectField() override { return udpExpectField_; }
    void setUdpBytesEnabled(bool payload, bool expect) override;
    // The rows every kind has, beside the common ones, and the UDP panel.
    void makeEntryRows(const DialogUnits &du);
    void makeUdpRows(const DialogUnits &du);
    // The channels' list with its group and note.
    void makeChannelRows(const DialogUnits &du);
    void setChannelRows(const std::vector<std::string> &rows, const std::vector<bool> &ticked, bool enabled) override;
    std::vector<bool> channelTicks() const override;
    // The DNS panel.
    void makeDnsPanel();
    EditField &dnsNameField() override { return dnsNameField_; }
    int dnsTypeIndex() const override;
    void setDnsTypeIndex(int index) override;
    int dnsExpectChoice() const override;
    void setDnsExpectChoice(int choice) override;
    EditField &dnsAnswersField() override { return dnsAnswersField_; }
    void setDnsAnswersEnabled(bool enabled) override;
    void setPushToken(const std::string &token) override;
    void setPushCall(const std::string &line) override;
    void copyText(const std::string &text) override;
    void setStableId(const std::string &id) override;
    // Makes the Push panel's rows.
    void makePushPanel();

    Prompter &prompter_;
    PortSettingsForm &form_;
    bool initialised_ = false;
    QLineEdit *portEdit_;
    QComboBox *protocolCombo_;
    QLineEdit *commandEdit_;
    QLineEdit *thresholdEdit_;
    QComboBox *httpStatusCombo_;
    QLineEdit *httpCodesEdit_;
    QLineEdit *hostEdit_;
    QLineEdit *certDaysEdit_;
    QComboBox *methodCombo_;
    QLineEdit *pathEdit_;
    QPlainTextEdit *headersEdit_;
    QPlainTextEdit *bodyEdit_;
    QCheckBox *redirectsCheck_;
    QLineEdit *userEdit_ = nullptr;
    QLineEdit *passwordEdit_ = nullptr;
    QComboBox *contentRuleCombo_;
    QLineEdit *contentTextEdit_;
    QLineEdit *nameEdit_ = nullptr;
    QLineEdit *intervalEdit_ = nullptr;
    QLineEdit *retryEdit_ = nullptr;
    QLineEdit *timeoutEdit_ = nullptr;
    QLabel *scheduleHelp_ = nullptr;
    QComboBox *udpModeCombo_ = nullptr;
    QLabel *udpHelp_ = nullptr;
    QLineEdit *udpPayloadEdit_ = nullptr;
    QLineEdit *udpExpectEdit_ = nullptr;
    LineEditField nameField_;
    LineEditField intervalField_;
    LineEditField retryField_;
    LineEditField timeoutField_;
    LineEditField udpPayloadField_;
    LineEditField udpExpectField_;
    QLineEdit *quietWindowsEdit_;
    QPushButton *ok_;
    QPushButton *cancel_;
    QPushButton *delete_;
    LineEditField portField_;
    LineEditField thresholdField_;
    LineEditField commandField_;
    LineEditField httpCodesField_;
    LineEditField hostField_;
    LineEditField certDaysField_;
    LineEditField pathField_;
    LineEditField contentTextField_;
    LineEditField userField_;
    LineEditField passwordField_;
    LineEditField quietWindowsField_;
    // The multi-line fields (headers, body).
    PlainTextField headersField_;
    PlainTextField bodyField_;
    QListWidget *channelList_ = nullptr;
    // The DNS panel's controls.
    QLineEdit *dnsNameEdit_ = nullptr;
    QComboBox *dnsTypeCombo_ = nullptr;
    QComboBox *dnsExpectCombo_ = nullptr;
    QLineEdit *dnsAnswersEdit_ = nullptr;
    LineEditField dnsNameField_;
    LineEditField dnsAnswersField_;
    QLineEdit *pushTokenEdit_ = nullptr;
    QLineEdit *pushCallEdit_ = nullptr;
    QLineEdit *stableIdEdit_ = nullptr;
    QPushButton *pushCopy_ = nullptr;
    QPushButton *pushRegenerate_ = nullptr;
    // Each kind panel's widgets, by KindPanel.
    std::array<std::vector<QWidget *>, 5> panels_;
    KindPanel shownPanel_ = KindPanel::None;
    // Answers that arrive after the dialog went reach nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace vigilon
