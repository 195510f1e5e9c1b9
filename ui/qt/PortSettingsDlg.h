// SPDX-License-Identifier: MIT
#pragma once

#include "app/base/Prompter.h"

#include <QDialog>

#include <cstdint>
#include <string>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace vigilon {

// Edits one watched port: number, check kind, alert command, threshold. The
// caller sets the fields, runs the dialog and reads them back:
// Accepted with existingEntry 0: OK, the fields hold the new values and
// name the composed display name; Accepted with existingEntry still 1: the
// user confirmed Delete; Rejected: nothing changes.
class CPortSettingsDlg final : public QDialog {
    Q_OBJECT
public:
    static constexpr int PortLow = 1;
    static constexpr int PortHigh = 64554;
    static constexpr int ThresholdHigh = 999999;
    static constexpr int IdDelete = 3;

    CPortSettingsDlg(Prompter &prompter, QWidget *parent = nullptr);

    std::int64_t port = 0;
    std::int64_t threshold = 0;
    int existingEntry = 0;
    std::string name;
    std::string command;
    int protocol = 0;

    // The display name of an entry of this kind and port.
    static std::string composeName(int protocol, std::int64_t port);

    QLineEdit *portEdit() const { return portEdit_; }
    QComboBox *protocolCombo() const { return protocolCombo_; }
    QLineEdit *commandEdit() const { return commandEdit_; }
    QLineEdit *thresholdEdit() const { return thresholdEdit_; }
    QPushButton *okButton() const { return ok_; }
    QPushButton *cancelButton() const { return cancel_; }
    QPushButton *deleteButton() const { return delete_; }

    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void initDialog();
    void fieldsToControls();
    // Reads port and threshold with their checks; false when one failed.
    bool readNumbers();
    void onProtocolChanged(int index);
    void onDelete();

    Prompter &prompter_;
    bool initialised_ = false;
    QLineEdit *portEdit_;
    QComboBox *protocolCombo_;
    QLineEdit *commandEdit_;
    QLineEdit *thresholdEdit_;
    QPushButton *ok_;
    QPushButton *cancel_;
    QPushButton *delete_;
};

} // namespace vigilon
