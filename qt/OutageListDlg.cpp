// SPDX-License-Identifier: MIT
#include "qt/OutageListDlg.h"

#include "qt/DialogUnits.h"
#include "qt/UiText.h"

#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vigilon {

COutageListDlg::COutageListDlg(DialogFace &frame, Prompter &prompter, std::uint32_t entryId,
                               const std::string &entryName, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , list_(new QTreeWidget(this))
    , note_(new QLabel(this))
    , export_(new QPushButton(uiText(sid::OutageExportButton), this))
    , close_(new QPushButton(uiText(sid::OutageCloseButton), this))
    , controller_(frame, prompter, *this, entryId, entryName)
{
    setFont(dialogFont());
    const DialogUnits du(font());
    resize(du.size(400, 160));
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setColumnCount(kOutageColumns);
    QStringList headers;
    for (const std::string &header : OutageListController::headers())
        headers << QString::fromStdString(header);
    list_->setHeaderLabels(headers);
    list_->headerItem()->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    note_->hide();

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(note_, 1);
    buttons->addStretch();
    buttons->addWidget(export_);
    buttons->addWidget(close_);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    close_->setDefault(true);
    connect(export_, &QPushButton::clicked, this, [this] { controller_.onExport(); });
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    controller_.init();
}

COutageListDlg::~COutageListDlg()
{
    controller_.retire();
}

void COutageListDlg::setTitle(const std::string &text)
{
    setWindowTitle(QString::fromStdString(text));
}

void COutageListDlg::setRows(const std::vector<std::array<std::string, kOutageColumns>> &rows,
                             const std::string &note)
{
    list_->clear();
    for (const auto &row : rows) {
        auto *item = new QTreeWidgetItem(list_);
        for (int c = 0; c < kOutageColumns; ++c)
            item->setText(c, QString::fromStdString(row[static_cast<std::size_t>(c)]));
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    }
    for (int c = 0; c < kOutageColumns; ++c)
        list_->resizeColumnToContents(c);
    note_->setText(QString::fromStdString(note));
    note_->setVisible(!note.empty());
}

void COutageListDlg::setExportEnabled(bool enabled)
{
    export_->setEnabled(enabled);
}

} // namespace vigilon
