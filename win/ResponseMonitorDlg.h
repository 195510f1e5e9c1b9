// SPDX-License-Identifier: MIT
#pragma once

#include "base/Prompter.h"
#include "app/dialogs/EditField.h"
#include "app/dialogs/ResponseMonitorForm.h"

#include <windows.h>

namespace vigilon::win {

// An edit control of a dialog as the dialogs' rules see it.
class DialogEditField final : public EditField {
public:
    void attach(HWND dialog, int id)
    {
        dialog_ = dialog;
        edit_ = GetDlgItem(dialog, id);
    }
    std::string text() const override;
    void setText(const std::string &text) override;
    void focusAndSelect() override;

private:
    HWND dialog_ = nullptr;
    HWND edit_ = nullptr;
};

// The response monitor settings dialog (template 132), modal: the controls
// and their messages; what they do is ResponseMonitorForm's. The caller
// fills the form, runs the dialog and reads the form back after OK.
class CResponseMonitorDlg final : private ResponseMonitorForm::Controls {
public:
    CResponseMonitorDlg(Prompter &prompter, ResponseMonitorForm &form)
        : prompter_(prompter)
        , form_(form)
    {
    }

    // Runs the dialog over owner (may be null); IDOK or IDCANCEL, -1 when it
    // cannot be shown.
    INT_PTR run(HWND owner);

private:
    static INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void initDialog();
    // Places the dialog as the dialog framework does: centred.
    void centre();
    void fitLabels();

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
    HWND dialog_ = nullptr;
    DialogEditField historyField_;
    DialogEditField fileField_;
};

} // namespace vigilon::win
