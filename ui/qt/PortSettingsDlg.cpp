// SPDX-License-Identifier: MIT
#include "ui/qt/PortSettingsDlg.h"

#include "app/base/MonitorPort.h"
#include "app/base/StringTable.h"
#include "app/base/TextFormat.h"
#include "ui/qt/DataExchange.h"
#include "ui/qt/DialogUnits.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace vigilon {

namespace {
QLabel *label(QWidget *parent, const DialogUnits &du, const QString &text, int x, int y, int w, int h)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(du.rect(x, y, w, h));
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    growToFit(l);
    return l;
}

QRegularExpressionValidator *digitsOnly(QObject *parent)
{
    return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), parent);
}
} // namespace

CPortSettingsDlg::CPortSettingsDlg(Prompter &prompter, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , prompter_(prompter)
{
    setFont(dialogFont());
    const DialogUnits du(font());
    setWindowTitle(QStringLiteral("監視ポート設定"));
    setFixedSize(du.size(271, 125));

    // Group boxes first, so that the controls lie above them.
    auto *group = new QGroupBox(QStringLiteral("ポートの設定"), this);
    group->setGeometry(du.rect(7, 5, 257, 88));
    auto *examples = new QGroupBox(QStringLiteral("ポート例"), this);
    examples->setGeometry(du.rect(211, 9, 48, 66));

    label(this, du, QStringLiteral("ポート番号:"), 18, 22, 34, 11);
    label(this, du, QStringLiteral("プロトコル:"), 14, 40, 38, 10);
    label(this, du, QStringLiteral("実行コマンド:"), 10, 58, 42, 9);
    label(this, du, QStringLiteral("警告閾値:"), 16, 76, 37, 13);
    label(this, du, QStringLiteral("ms (設定しない場合は 値 0 )"), 97, 76, 104, 11);
    label(this, du, QStringLiteral("FTP 21\nTelnet 23\nSmtp 25\nHttp 80\nPop3 110\nImap 143\n"), 218, 20, 33, 50);

    portEdit_ = new QLineEdit(this);
    portEdit_->setObjectName(QStringLiteral("1005"));
    portEdit_->setGeometry(du.rect(58, 20, 33, 14));
    portEdit_->setAlignment(Qt::AlignRight);
    portEdit_->setValidator(digitsOnly(portEdit_));

    protocolCombo_ = new QComboBox(this);
    protocolCombo_->setObjectName(QStringLiteral("1010"));
    protocolCombo_->addItems({QStringLiteral("汎用TCP"), QStringLiteral("汎用UDP"), QStringLiteral("PING (ICMP)"),
                              QStringLiteral("HTTP (80)")});
    // The template's height is that of the opened list; the closed box is
    // as high as the font asks.
    const QRect comboRect = du.rect(58, 38, 93, 55);
    protocolCombo_->setGeometry(comboRect.x(), comboRect.y(), comboRect.width(), protocolCombo_->sizeHint().height());

    commandEdit_ = new QLineEdit(this);
    commandEdit_->setObjectName(QStringLiteral("1011"));
    commandEdit_->setGeometry(du.rect(58, 55, 146, 14));

    thresholdEdit_ = new QLineEdit(this);
    thresholdEdit_->setObjectName(QStringLiteral("1016"));
    thresholdEdit_->setGeometry(du.rect(58, 75, 35, 12));
    thresholdEdit_->setValidator(digitsOnly(thresholdEdit_));

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setGeometry(du.rect(55, 99, 50, 14));
    ok_->setDefault(true);
    cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
    cancel_->setGeometry(du.rect(108, 99, 50, 14));
    delete_ = new QPushButton(QStringLiteral("削除(&D)"), this);
    delete_->setGeometry(du.rect(161, 99, 50, 14));
    delete_->setEnabled(false);

    connect(ok_, &QPushButton::clicked, this, &CPortSettingsDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &CPortSettingsDlg::reject);
    connect(delete_, &QPushButton::clicked, this, &CPortSettingsDlg::onDelete);
    connect(protocolCombo_, &QComboBox::activated, this, &CPortSettingsDlg::onProtocolChanged);

    // Tab order as the template lists the controls.
    setTabOrder(portEdit_, protocolCombo_);
    setTabOrder(protocolCombo_, commandEdit_);
    setTabOrder(commandEdit_, thresholdEdit_);
    setTabOrder(thresholdEdit_, ok_);
    setTabOrder(ok_, cancel_);
    setTabOrder(cancel_, delete_);
}

std::string CPortSettingsDlg::composeName(int protocol, std::int64_t port)
{
    switch (protocol) {
    case GenericUdp:
        return "Generic UDP (" + std::to_string(port) + ")";
    case Ping:
        return "PING";
    case Http:
        return "HTTP (" + std::to_string(port) + ")";
    default:
        return "Generic TCP (" + std::to_string(port) + ")";
    }
}

void CPortSettingsDlg::showEvent(QShowEvent *event)
{
    if (!initialised_) {
        initialised_ = true;
        initDialog();
    }
    QDialog::showEvent(event);
}

void CPortSettingsDlg::initDialog()
{
    fieldsToControls();
    if (existingEntry != 0)
        delete_->setEnabled(true);
    protocolCombo_->setCurrentIndex(protocol >= 0 && protocol < protocolCombo_->count() ? protocol : -1);
    commandEdit_->setText(QString::fromStdString(command));
    fieldsToControls();
    portEdit_->setFocus(Qt::OtherFocusReason);
    portEdit_->selectAll();
}

void CPortSettingsDlg::fieldsToControls()
{
    DataExchange::writeNumber(portEdit_, port);
    DataExchange::writeNumber(thresholdEdit_, threshold);
}

void CPortSettingsDlg::onProtocolChanged(int index)
{
    protocol = index;
    if (protocol == Ping) {
        port = 7;
        fieldsToControls();
    }
}

bool CPortSettingsDlg::readNumbers()
{
    DataExchange dx(prompter_);
    if (dx.readInt(portEdit_, port, PortLow, PortHigh, true) != DataExchange::Outcome::Ok)
        return false;
    return dx.readInt(thresholdEdit_, threshold, 0, ThresholdHigh, true) == DataExchange::Outcome::Ok;
}

void CPortSettingsDlg::accept()
{
    const bool read = readNumbers();
    if (port == 0) {
        prompter_.messageBox(loadString(sid::InvalidPortNumber), "", mb::Ok);
        return;
    }
    if (!read)
        return;
    protocol = protocolCombo_->currentIndex();
    if (protocol == Ping)
        port = 7;
    name = composeName(protocol, port);
    command = commandEdit_->text().toStdString();
    existingEntry = 0;
    QDialog::accept();
}

void CPortSettingsDlg::onDelete()
{
    const std::string question = formatText(loadString(sid::ConfirmDeletePort), {std::to_string(port)});
    if (prompter_.messageBox(question, "", mb::YesNo) == mb::IdNo)
        return;
    if (!readNumbers())
        return;
    QDialog::accept();
}

} // namespace vigilon
