// SPDX-License-Identifier: MIT
#pragma once

#include "base/Prompter.h"
#include "app/dialogs/ResponseMonitorForm.h"
#include "qt/LineEditField.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSlider;

namespace vigilon {

class CUpDownCtrl;

// Control ids of dialog 132; each control carries its id as object name
// "id<n>".
namespace monitordlg {
constexpr int Icon = 11069;
constexpr int PortText = 2002;
constexpr int Alpha = 11031;
constexpr int History = 1026;
constexpr int HistorySpin = 1027;
constexpr int RecordCheck = 1023;
constexpr int FileEdit = 1024;
constexpr int Browse = 1025;
} // namespace monitordlg

// The response monitor settings dialog's widgets; what they do is
// ResponseMonitorForm's. The caller fills the form, runs the dialog and reads
// the form back.
class CResponseMonitorDlg final : public QDialog, private ResponseMonitorForm::Controls {
    Q_OBJECT
public:
    CResponseMonitorDlg(Prompter &prompter, ResponseMonitorForm &form, QWidget *parent = nullptr);

    ResponseMonitorForm &form() { return form_; }
    // Puts the form into the controls, once; showing the dialog does it
    // first.
    void initDialog();
    // OK: the dialog closes when the form takes the values.
    void accept() override;

    QLineEdit *portEdit() const { return portEdit_; }
    QSlider *alphaSlider() const { return alpha_; }
    QLineEdit *historyEdit() const { return history_; }
    CUpDownCtrl *historySpin() const { return spin_; }
    QCheckBox *recordCheck() const { return record_; }
    QLineEdit *fileEdit() const { return file_; }
    QPushButton *browseButton() const { return browse_; }
    QPushButton *okButton() const { return ok_; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    // ResponseMonitorForm::Controls
    void setPortText(const std::string &text) override;
    EditField &historyField() override { return historyField_; }
    void setHistorySpinPos(int pos) override;
    int alphaPos() const override;
    void setAlphaPos(int pos) override;
    bool recordChecked() const override;
    EditField &fileField() override { return fileField_; }
    void setFileControlsEnabled(bool enabled) override;

    Prompter &prompter_;
    ResponseMonitorForm &form_;
    QLineEdit *portEdit_ = nullptr;
    QSlider *alpha_ = nullptr;
    QLineEdit *history_ = nullptr;
    CUpDownCtrl *spin_ = nullptr;
    QCheckBox *record_ = nullptr;
    QLineEdit *file_ = nullptr;
    QPushButton *browse_ = nullptr;
    QPushButton *ok_ = nullptr;
    LineEditField historyField_;
    LineEditField fileField_;
    bool initialised_ = false;
};

} // namespace vigilon
