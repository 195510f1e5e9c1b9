// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "app/base/Prompter.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace vigilon {

// The main dialog.
class CMonitorDlg final : public QDialog, public MainDialogView {
    Q_OBJECT
public:
    CMonitorDlg(CMainFrame &frame, const MainDialogInit &init, Prompter &prompter);
    // Saves the settings, as closing the window does.
    ~CMonitorDlg() override;

    void show() override { QDialog::show(); }
    void hide() override { QDialog::hide(); }
    void setMonitoring(bool running) override;
    void updateStateControls() override;
    void updateStatusText(bool running) override;
    void updateRow(int row, MonitorPort &entry) override;
    void setRowImage(int row, int image) override;

    void saveSettings();

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

private:
    CMainFrame &frame_;
    Prompter &prompter_;
    MainDialogInit init_;
    bool monitoring_ = false;
    QLabel *status_ = nullptr;
    QPushButton *startStop_ = nullptr;
    QTreeWidget *list_ = nullptr;
};

} // namespace vigilon
