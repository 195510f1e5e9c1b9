// SPDX-License-Identifier: MIT
#pragma once

#include "app/FrameUi.h"
#include "app/base/Prompter.h"

#include <QDialog>
#include <QFont>
#include <QIcon>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vigilon {

class CPortListCtrl;
class CUpDownCtrl;

// The main dialog: monitoring status, start and stop, interval and retry
// count, target host, port test, exit, and the port list. It edits the
// frame's entries but owns none; every change is saved at once.
class CMonitorDlg final : public QDialog, public MainDialogView {
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
    };
    static constexpr int MinTrackWidth = 400;
    static constexpr int MinTrackHeight = 160;

    CMonitorDlg(CMainFrame &frame, const MainDialogInit &init, Prompter &prompter);
    // Saves the settings, as the window's end does, unless retired before.
    ~CMonitorDlg() override;

    // Ends the dialog for the frame: saves the settings, cancels a modal
    // dialog of ours, hides, and cuts every tie to the frame. The frame may
    // let go of the dialog from inside one of the dialog's own handlers (a
    // message box nests the event loop, and the tray's exit runs there), so
    // the object itself goes later; see makeMonitorDialog().
    void retire();
    bool retired() const { return !*alive_; }

    // MainDialogView
    void show() override { QDialog::show(); }
    void hide() override { QDialog::hide(); }
    void setMonitoring(bool running) override { monitoring_ = running; }
    void updateStateControls() override;
    void updateStatusText(bool running) override;
    void updateRow(int row, MonitorPort &entry) override;
    void setRowImage(int row, int image) override;

    // The port list.
    void fillList();
    MonitorPort *findPortByName(const std::string &text) const;
    void toggleActive(int row);
    void onListClick(const QPoint &viewportPos);
    void onListDoubleClick(const QPoint &viewportPos);

    // Buttons and commands.
    void onStartStop();
    void onExitRequest();
    void onPortTest();
    void onTargetChange();

    void saveSettings();

    // Runs a modal dialog and returns its result; exec() unless replaced
    // (tests answer the dialogs through it).
    using DialogRunner = std::function<int(QDialog &)>;
    void setDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }

    bool monitoring() const { return monitoring_; }
    const std::string &targetHost() const { return targetHost_; }
    std::uint32_t intervalSeconds() const { return intervalSeconds_; }
    std::uint32_t retryLimit() const { return retryLimit_; }
    QWidget *control(int id) const;
    CPortListCtrl *list() const { return list_; }
    CUpDownCtrl *intervalSpin() const { return intervalSpin_; }
    CUpDownCtrl *retrySpin() const { return retrySpin_; }
    QLineEdit *intervalEdit() const { return intervalEdit_; }
    QLineEdit *retryEdit() const { return retryEdit_; }
    QString statusText() const;
    const QFont &captionFont() const { return captionFont_; }
    QString captionText() const { return captionText_; }
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
    // Reads 1001 and 1003 with their checks; false at the first that fails.
    bool readFields();
    void setHintText(const QString &text);
    void updateHintForEntries();
    void onRetryChanged();
    void onIntervalChanged();
    void addEntry(int row);
    void editEntry(int row);
    void renumberRows();
    int indexOf(const MonitorPort *entry) const;
    // Runs a modal dialog of this one; -1 when this dialog went meanwhile.
    int runDialog(QDialog &dialog);
    // Message boxes, the frame's questions and modal dialogs nest the event
    // loop, and the frame may end the program from there (the tray's exit):
    // whatever the dialog does after such a call first asks whether it is
    // still there.
    std::shared_ptr<bool> alive() const { return alive_; }

    CMainFrame &frame_;
    Prompter &prompter_;
    MainDialogInit init_;
    std::string targetHost_;
    PortList &ports_;
    std::uint32_t *startTime_;
    bool monitoring_ = false;
    std::uint32_t intervalSeconds_ = 5;
    std::uint32_t retryLimit_ = 1;
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
    QIcon icon_;
    QFont captionFont_;
    QString captionText_;
    bool laidOutOnce_ = false;
};

// The frame's hold on a new main dialog. Letting go retires the dialog at
// once and deletes it when control is back in the event loop. made, when
// given, receives the dialog.
std::unique_ptr<MainDialogView> makeMonitorDialog(CMainFrame &frame, const MainDialogInit &init, Prompter &prompter,
                                                  QPointer<CMonitorDlg> *made = nullptr);


} // namespace vigilon
