// SPDX-License-Identifier: MIT
#pragma once

#include "app/dialogs/ChannelsForm.h"
#include "qt/LineEditField.h"
#include "qt/PlainTextField.h"

#include <QDialog>

#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace vigilon {

// The Channels dialog: the message channels with how each is doing, the
// selected one's fields, and its test message. What it decides is
// ChannelsForm's; the form outlives the dialog's run.
class CChannelsDlg final : public QDialog, private ChannelsForm::Controls {
    Q_OBJECT
public:
    CChannelsDlg(ChannelsForm &form, QWidget *parent = nullptr);
    ~CChannelsDlg() override;

    QTreeWidget *list() const { return list_; }
    QLineEdit *nameEdit() const { return nameEdit_; }
    QLineEdit *urlEdit() const { return urlEdit_; }
    QPlainTextEdit *headersEdit() const { return headersEdit_; }
    QLineEdit *reminderEdit() const { return reminderEdit_; }
    QCheckBox *recoveryBox() const { return recovery_; }
    QPushButton *addButton() const { return add_; }
    QPushButton *deleteButton() const { return delete_; }
    QPushButton *testButton() const { return test_; }
    QPushButton *okButton() const { return ok_; }
    QLabel *statusLabel() const { return status_; }

    void accept() override;
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void setRows(const std::vector<std::vector<std::string>> &rows) override;
    void selectRow(int row) override;
    EditField &nameField() override { return nameField_; }
    EditField &urlField() override { return urlField_; }
    EditField &headersField() override { return headersField_; }
    EditField &reminderField() override { return reminderField_; }
    bool recovery() const override;
    void setRecovery(bool on) override;
    void setEditEnabled(bool enabled) override;
    void setStatusText(const std::string &text) override;

    ChannelsForm &form_;
    bool initialised_ = false;
    // Set while the list is filled or selected by the form: no selection
    // event goes back to it then.
    bool filling_ = false;
    QTreeWidget *list_;
    QLineEdit *nameEdit_;
    QLineEdit *urlEdit_;
    QPlainTextEdit *headersEdit_;
    QLineEdit *reminderEdit_;
    QCheckBox *recovery_;
    QPushButton *add_;
    QPushButton *delete_;
    QPushButton *test_;
    QPushButton *ok_;
    QPushButton *cancel_;
    QLabel *status_;
    LineEditField nameField_, urlField_, reminderField_;
    PlainTextField headersField_;
};

} // namespace vigilon
