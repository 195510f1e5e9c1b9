// SPDX-License-Identifier: MIT
#pragma once

#include "base/Prompter.h"
#include "app/dialogs/PortSettingsForm.h"
#include "qt/LineEditField.h"

#include <QDialog>
#include <QLineEdit>

#include <string>

class QPushButton;

namespace vigilon {

// An edit that refuses typed or pasted input beyond a number of characters
// while still showing a longer text set by the program.
class LimitedLineEdit final : public QLineEdit {
    Q_OBJECT
public:
    LimitedLineEdit(int limit, QWidget *parent);
    int limit() const { return limit_; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;

private:
    bool fits(const QString &insert) const;
    int limit_;
};

// Asks for the target host: the caller sets the form's host, runs the
// dialog, and on Accepted takes it. Any text of up to 64 characters is taken.
class CTargetHostDlg final : public QDialog {
    Q_OBJECT
public:
    static constexpr int MaxHostChars = static_cast<int>(TargetHostForm::MaxHostChars);

    CTargetHostDlg(Prompter &prompter, TargetHostForm &form, QWidget *parent = nullptr);

    TargetHostForm &form() { return form_; }

    LimitedLineEdit *hostEdit() const { return hostEdit_; }
    QPushButton *okButton() const { return ok_; }

    void accept() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    Prompter &prompter_;
    TargetHostForm &form_;
    bool initialised_ = false;
    LimitedLineEdit *hostEdit_;
    LineEditField hostField_;
    QPushButton *ok_;
    QPushButton *cancel_;
};

} // namespace vigilon
