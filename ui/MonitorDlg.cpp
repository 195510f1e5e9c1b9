// SPDX-License-Identifier: MIT
#include "ui/MonitorDlg.h"

#include "app/MainFrame.h"
#include "app/base/StringTable.h"
#include "app/base/TextFormat.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vigilon {

namespace {
QString text(unsigned id)
{
    return QString::fromStdString(loadString(id)).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
} // namespace

CMonitorDlg::CMonitorDlg(CMainFrame &frame, const MainDialogInit &init, Prompter &prompter)
    : frame_(frame)
    , prompter_(prompter)
    , init_(init)
{
    setWindowTitle(QString::fromStdString(formatText(loadString(sid::MainDialogTitle), {init_.targetHost})));
    auto *layout = new QVBoxLayout(this);
    status_ = new QLabel(this);
    layout->addWidget(status_);
    list_ = new QTreeWidget(this);
    list_->setHeaderLabels({text(sid::ColumnPortName), text(sid::ColumnCommand), text(sid::ColumnErrorCount),
                            text(sid::ColumnLastErrorTime), text(sid::ColumnResponseTime), text(sid::ColumnThreshold)});
    layout->addWidget(list_);
    auto *buttons = new QHBoxLayout;
    startStop_ = new QPushButton(this);
    auto *exit = new QPushButton(QStringLiteral("終了(&X)"), this);
    buttons->addWidget(startStop_);
    buttons->addStretch();
    buttons->addWidget(exit);
    layout->addLayout(buttons);
    connect(startStop_, &QPushButton::clicked, this, [this] {
        saveSettings();
        frame_.setIntervalSeconds(init_.intervalSeconds);
        frame_.setRetryLimit(init_.retryLimit);
        monitoring_ = frame_.toggleMonitoring(false) != 0;
        updateStateControls();
    });
    connect(exit, &QPushButton::clicked, this,
            [this] { QTimer::singleShot(0, this, [this] { frame_.requestExit(); }); });
    for (auto &entry : *init_.ports)
        updateRow(-1, *entry);
    updateStateControls();
}

CMonitorDlg::~CMonitorDlg()
{
    saveSettings();
}

void CMonitorDlg::saveSettings()
{
    frame_.saveSettings(init_.targetHost, init_.intervalSeconds, init_.retryLimit);
}

void CMonitorDlg::setMonitoring(bool running)
{
    monitoring_ = running;
}

void CMonitorDlg::updateStateControls()
{
    startStop_->setText(text(monitoring_ ? sid::StopButton : sid::StartButton));
    updateStatusText(monitoring_);
}

void CMonitorDlg::updateStatusText(bool running)
{
    status_->setText(text(running ? sid::StatusMonitoring : sid::StatusStopped));
}

void CMonitorDlg::updateRow(int row, MonitorPort &entry)
{
    QTreeWidgetItem *item = nullptr;
    if (row < 0 || row >= list_->topLevelItemCount()) {
        item = new QTreeWidgetItem(list_);
    } else {
        item = list_->topLevelItem(row);
    }
    item->setText(0, QString::fromStdString(entry.name));
    item->setText(1, QString::fromStdString(entry.command));
    item->setText(2, QString::number(entry.errorCount));
    item->setText(4, QString::number(entry.responseTime));
    item->setText(5, QString::number(entry.threshold));
}

void CMonitorDlg::setRowImage(int, int)
{
}

void CMonitorDlg::closeEvent(QCloseEvent *event)
{
    event->ignore();
    hide();
}

void CMonitorDlg::reject()
{
    hide();
}

} // namespace vigilon
