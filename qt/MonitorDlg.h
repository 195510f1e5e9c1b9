// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "base/Prompter.h"
#include "app/dialogs/DialogLayout.h"
#include "app/dialogs/MainDialogController.h"
#include "qt/LineEditField.h"

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vigilon {

class CPortListCtrl;
class CUpDownCtrl;

// The main dialog: monitoring status, start and stop, interval and retry
// count, target host, port test, exit, and the port list. The widgets, their
// places and their wiring are here; what they do is MainDialogController's.
class CMonitorDlg final : public QDialog, public MainDialogWindow, private MainDialogController::Controls {
    Q_OBJECT
public:
    // Control ids of the dialog template.
    enum ControlId : int {
        IdStartStop = 1,
        IdExit = 2,
        IdTarget = 3,
        IdList = 1000,
        IdInterval = 1001,
        IdIntervalSpin = 1002,
        IdRetry = 1003,
        IdRetrySpin = 1004,
        IdLogo = 1006,
        IdStatus = 1008,
        IdPortTest = 1014,
        IdNotify = 1030,
        IdAutostart = 1031,
        IdHistory = 1032,
        IdChannels = 1211,
    };
    static constexpr int MinTrackWidth = 400;
    static constexpr int MinTrackHeight = 160;
    // The list keeps room for its header and two rows at the smallest size.
    static constexpr int ListLeastHeight = 76;

    CMonitorDlg(DialogFace &frame, std::shared_ptr<MainDialogController> controller, Prompter &prompter);
    // Saves the settings, as the window's end does, unless retired before.
    ~CMonitorDlg() override;

    // Ends the dialog for the frame: saves the settings, cancels a modal
    // dialog of ours, hides, and cuts every tie to the frame.
    void retire();
    bool retired() const { return !*alive_; }

    // MainDialogWindow: letting go retires the dialog at once; the object
    // goes when control is back in the event loop.
    void showWindow() override { QDialog::show(); }
    void hideWindow() override { QDialog::hide(); }
    void release() override;

    // The port list's clicks, as positions in its viewport.
    void onListClick(const QPoint &viewportPos);
    void onListDoubleClick(const QPoint &viewportPos);

    // The list's keys and its context menu.
    void onListKey(int key);
    void onListContextMenu(const QPoint &viewportPos);
    ListSelection listSelection() const;

    // Buttons and commands.
    void onStartStop() { controller_->onStartStop(); }
    void onExitRequest() { controller_->onExitRequest(); }
    void onPortTest() { controller_->onPortTest(); }
    void onTargetChange() { controller_->onTargetChange(); }

    // Runs a modal dialog and returns its result; exec() unless replaced
    // (tests answer the dialogs through it).
    using DialogRunner = std::function<int(QDialog &)>;
    void setDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }

    bool monitoring() const { return controller_->monitoring(); }
    QWidget *control(int id) const;
    CPortListCtrl *list() const { return list_; }
    CUpDownCtrl *intervalSpin() const { return intervalSpin_; }
    CUpDownCtrl *retrySpin() const { return retrySpin_; }
    QLineEdit *intervalEdit() const { return intervalEdit_; }
    QLineEdit *retryEdit() const { return retryEdit_; }
    QString statusText() const;
    // The band in which the engraved caption is drawn.
    QRect captionBand() const;
    QString currentHintText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;
    void accept() override;

private:
    void initDialog();
    void createControls();
    void applyLayout();
    // The controls that follow the dialog's size, and how.
    std::vector<std::pair<QWidget *, Follow>> followers() const;
    void setSmallestSize();
    // Runs a modal dialog of this one; -1 when this dialog went meanwhile.
    int runDialog(QDialog &dialog);

    // MainDialogController::Controls
    EditField &intervalField() override { return intervalField_; }
    EditField &retryField() override { return retryField_; }
    void setIntervalSpinPos(int pos) override;
    void setRetrySpinPos(int pos) override;
    void setSettingsEnabled(bool enabled) override;
    void setPortTestEnabled(bool enabled) override;
    void setStartStopText(const std::string &text) override;
    void setStatusText(const std::string &text) override;
    void setHintText(const std::string &text) override;
    void setTitle(const std::string &text) override;
    int rowCount() const override;
    void setRow(int row, const RowContent &content) override;
    void setRowImage(int row, int image) override;
    void setRowTicked(int row, bool ticked) override;
    bool rowTicked(int row) const override;
    void deleteRow(int row) override;
    std::string rowName(int row) const override;
    void setNotifyTicked(bool ticked) override;
    void setAutostartTicked(bool ticked) override;
    void setAutostartEnabled(bool enabled) override;
    void setHistoryTicked(bool ticked) override;
    void showOutages(std::uint32_t entryId, const std::string &entryName) override;
    bool runPortSettings(PortSettingsForm &form) override;
    bool runTargetHost(TargetHostForm &form) override;
    bool runChannels(ChannelsForm &form) override;
    void setClipboardText(const std::string &text) override;
    // The window where the last run left it, and its list's widths.
    void restoreLayout();

    DialogFace &frame_;
    Prompter &prompter_;
    std::shared_ptr<MainDialogController> controller_;
    LineEditField intervalField_;
    LineEditField retryField_;
    DialogRunner runDialog_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    QPointer<QDialog> modal_;

    QLabel *status_ = nullptr;
    QPushButton *startStop_ = nullptr;
    QPushButton *target_ = nullptr;
    QPushButton *exit_ = nullptr;
    QPushButton *portTest_ = nullptr;
    QLineEdit *intervalEdit_ = nullptr;
    CUpDownCtrl *intervalSpin_ = nullptr;
    QLineEdit *retryEdit_ = nullptr;
    CUpDownCtrl *retrySpin_ = nullptr;
    CPortListCtrl *list_ = nullptr;
    QLabel *logo_ = nullptr;
    QCheckBox *notify_ = nullptr;
    QCheckBox *autostart_ = nullptr;
    QCheckBox *history_ = nullptr;
    QPushButton *channels_ = nullptr;
    QIcon icon_;
    QFont captionFont_;
    QString captionText_;
    bool laidOutOnce_ = false;
    // Only a window that has been seen has a layout to keep.
    bool shownOnce_ = false;
};

// A new main dialog over the frame's controller, started on its controls.
// Its release retires it at once and deletes it when control is back in the
// event loop.
CMonitorDlg *makeMonitorDialog(DialogFace &frame, std::shared_ptr<MainDialogController> controller,
                               Prompter &prompter);


} // namespace vigilon
