// SPDX-License-Identifier: MIT
#pragma once

#include "base/Prompter.h"
#include "app/dialogs/OutageListController.h"

#include <QDialog>

#include <cstdint>
#include <string>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace vigilon {

class DialogFace;

// The outage list of one entry: start, end, duration and reason of each,
// newest first, and its export to a CSV file. What it says and writes is
// OutageListController's.
class COutageListDlg final : public QDialog, private OutageListController::Controls {
    Q_OBJECT
public:
    COutageListDlg(DialogFace &frame, Prompter &prompter, std::uint32_t entryId, const std::string &entryName,
                   QWidget *parent = nullptr);
    ~COutageListDlg() override;

    QTreeWidget *list() const { return list_; }
    QPushButton *exportButton() const { return export_; }
    QLabel *note() const { return note_; }
    OutageListController &controller() { return controller_; }

private:
    void setTitle(const std::string &text) override;
    void setRows(const std::vector<std::array<std::string, kOutageColumns>> &rows, const std::string &note) override;
    void setExportEnabled(bool enabled) override;

    QTreeWidget *list_;
    QLabel *note_;
    QPushButton *export_;
    QPushButton *close_;
    OutageListController controller_;
};

} // namespace vigilon
