// SPDX-License-Identifier: MIT
#pragma once

#include "base/Prompter.h"
#include "app/dialogs/PortSettingsForm.h"
#include "qt/LineEditField.h"

#include <QDialog>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace vigilon {

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
    QPushButton *okButton() const { return ok_; }
    QPushButton *deleteButton() const { return delete_; }

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
    EditField &headersField() override;
    EditField &bodyField() override;
    bool followRedirects() const override;
    void setFollowRedirects(bool on) override;
    int contentRuleChoice() const override;
    void setContentRuleChoice(int choice) override;
    EditField &contentTextField() override { return contentTextField_; }
    EditField &quietWindowsField() override { return quietWindowsField_; }
    void setRequestEnabled(bool request, bool body, bool contentText) override;

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
    QComboBox *contentRuleCombo_;
    QLineEdit *contentTextEdit_;
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
    LineEditField quietWindowsField_;
    // The multi-line fields (headers, body).
    class TextField;
    std::unique_ptr<TextField> headersField_;
    std::unique_ptr<TextField> bodyField_;
    // Each kind panel's widgets, by KindPanel.
    std::array<std::vector<QWidget *>, 5> panels_;
    KindPanel shownPanel_ = KindPanel::None;
    // Answers that arrive after the dialog went reach nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

} // namespace vigilon
