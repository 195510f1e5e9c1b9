// SPDX-License-Identifier: MIT
#pragma once

#include "app/base/Prompter.h"

#include <QDialog>

#include <cstdint>
#include <string>

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
constexpr int HistoryLowest = 10;
constexpr int HistoryHighest = 999;
} // namespace monitordlg

// The response monitor settings dialog: opacity, history length and the
// recording file of a graph window about to be opened.
class CResponseMonitorDlg : public QDialog {
    Q_OBJECT
public:
    explicit CResponseMonitorDlg(Prompter &prompter, QWidget *parent = nullptr);

    // In.
    std::string portText;
    std::string defaultFileBase = "sample";
    // In and out.
    std::uint32_t alpha = 200;
    std::uint32_t maxHistory = 200;
    // Out.
    std::uint32_t recordToFile = 0;
    std::string fileName;

    // Puts the fields into the controls; exec() does it first.
    void initDialog();
    int exec() override;
    // OK: validates the history length and takes the values; the dialog
    // stays open when the length is refused.
    void accept() override;

    QLineEdit *portEdit() const { return portEdit_; }
    QSlider *alphaSlider() const { return alpha_; }
    QLineEdit *historyEdit() const { return history_; }
    QCheckBox *recordCheck() const { return record_; }
    QLineEdit *fileEdit() const { return file_; }
    QPushButton *browseButton() const { return browse_; }
    QPushButton *okButton() const { return ok_; }
    // Steps the history length as the up-down control does.
    void stepHistory(int steps);

    CUpDownCtrl *historySpin() const { return spin_; }

private:
    void onRecordClicked();
    void onBrowse();

    Prompter &prompter_;
    QLineEdit *portEdit_ = nullptr;
    QSlider *alpha_ = nullptr;
    QLineEdit *history_ = nullptr;
    CUpDownCtrl *spin_ = nullptr;
    QCheckBox *record_ = nullptr;
    QLineEdit *file_ = nullptr;
    QPushButton *browse_ = nullptr;
    QPushButton *ok_ = nullptr;
    bool initialised_ = false;
};

// Reads an integer the way the dialogs' data exchange does: blanks around
// an optional sign and digits; false for anything else. A number beyond the
// int range comes back as the nearest end of it.
bool parseDialogInteger(const std::string &text, int &value);

} // namespace vigilon
