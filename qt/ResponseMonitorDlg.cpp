// SPDX-License-Identifier: MIT
#include "qt/ResponseMonitorDlg.h"
#include "qt/UiText.h"

#include "qt/GraphFonts.h"
#include "qt/DialogUnits.h"
#include "qt/UpDownCtrl.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSlider>
#include <QStyle>

#include <algorithm>

namespace vigilon {

namespace {

QString idName(int id)
{
    return QStringLiteral("id%1").arg(id);
}

} // namespace

CResponseMonitorDlg::CResponseMonitorDlg(Prompter &prompter, ResponseMonitorForm &form, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , prompter_(prompter)
    , form_(form)
{
    setWindowTitle(uiText(sid::ResponseMonitorCaption));
    setFont(dialogFont());
    const DialogUnits du(font());
    setFixedSize(du.size(231, 172));

    auto place = [&du](QWidget *w, int x, int y, int width, int height) {
        w->setGeometry(du.rect(x, y, width, height));
    };
    // Short labels keep one line: where the face here is wider than the
    // template's, they grow away from their aligned edge instead of being cut.
    auto label = [&](unsigned text, int x, int y, int width, int height, Qt::Alignment align,
                     bool wrap = false) {
        auto *l = new QLabel(uiText(text), this);
        l->setAlignment(align | Qt::AlignTop);
        l->setWordWrap(wrap);
        l->setGeometry(du.rect(x, y, width, height));
        if (!wrap)
            growToFit(l);
        return l;
    };

    auto *group = new QGroupBox(uiText(sid::ResponseMonitorGroup), this);
    place(group, 7, 3, 217, 162);

    auto *icon = new QLabel(this);
    icon->setObjectName(idName(monitordlg::Icon));
    place(icon, 13, 14, 20, 20);

    label(sid::ResponseMonitorIntro, 42, 16, 176, 17,
          Qt::AlignLeft, true);
    label(sid::ResponseMonitorPort, 12, 38, 33, 10, Qt::AlignLeft);

    portEdit_ = new QLineEdit(this);
    portEdit_->setObjectName(idName(monitordlg::PortText));
    portEdit_->setReadOnly(true);
    place(portEdit_, 52, 39, 164, 12);

    label(sid::ResponseMonitorAlpha, 15, 68, 30, 12, Qt::AlignRight);
    label(sid::ResponseMonitorClear, 55, 62, 15, 10, Qt::AlignLeft);
    label(sid::ResponseMonitorOpaque, 199, 61, 21, 10, Qt::AlignLeft);

    alpha_ = new QSlider(Qt::Horizontal, this);
    alpha_->setObjectName(idName(monitordlg::Alpha));
    alpha_->setTickPosition(QSlider::NoTicks);
    alpha_->setFocusPolicy(Qt::StrongFocus);
    alpha_->setRange(ResponseMonitorForm::AlphaLow, ResponseMonitorForm::AlphaHigh);
    // The template's 6 units are too thin for a handle here.
    QRect sliderRect = du.rect(52, 72, 170, 6);
    sliderRect.setHeight(std::max(sliderRect.height(), alpha_->sizeHint().height()));
    alpha_->setGeometry(sliderRect);

    QLabel *historyLabel = label(sid::ResponseMonitorHistory, 123, 83, 53, 12, Qt::AlignRight);

    history_ = new QLineEdit(this);
    history_->setObjectName(idName(monitordlg::History));
    history_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), history_));
    place(history_, 177, 81, 30, 12);
    historyLabel->setBuddy(history_);

    // The up-down control, right-aligned to the edit before it.
    spin_ = new CUpDownCtrl(history_, this);
    spin_->setObjectName(idName(monitordlg::HistorySpin));
    spin_->setRange(ResponseMonitorForm::HistoryLow, ResponseMonitorForm::HistoryHigh);
    place(spin_, 208, 83, 10, 12);
    spin_->alignRightOfBuddy();

    record_ = new QCheckBox(uiText(sid::ResponseMonitorRecord), this);
    record_->setObjectName(idName(monitordlg::RecordCheck));
    place(record_, 17, 110, 67, 13);
    connect(record_, &QCheckBox::clicked, this, [this] { form_.onRecordToggled(*this); });

    file_ = new QLineEdit(this);
    file_->setObjectName(idName(monitordlg::FileEdit));
    file_->setEnabled(false);
    place(file_, 16, 125, 158, 14);

    browse_ = new QPushButton(uiText(sid::BrowseButton), this);
    browse_->setObjectName(idName(monitordlg::Browse));
    browse_->setEnabled(false);
    browse_->setAutoDefault(false);
    place(browse_, 180, 123, 41, 14);
    connect(browse_, &QPushButton::clicked, this, [this] { form_.onBrowse(*this, prompter_); });

    ok_ = new QPushButton(uiText(sid::OkButton), this);
    ok_->setObjectName(QStringLiteral("id1"));
    ok_->setDefault(true);
    place(ok_, 57, 147, 50, 14);
    connect(ok_, &QPushButton::clicked, this, &CResponseMonitorDlg::accept);

    auto *cancel = new QPushButton(uiText(sid::CancelButton), this);
    cancel->setObjectName(QStringLiteral("id2"));
    cancel->setAutoDefault(false);
    place(cancel, 124, 147, 50, 14);
    connect(cancel, &QPushButton::clicked, this, &CResponseMonitorDlg::reject);

    // Tab order follows the template.
    setTabOrder(alpha_, history_);
    setTabOrder(history_, record_);
    setTabOrder(record_, file_);
    setTabOrder(file_, browse_);
    setTabOrder(browse_, ok_);
    setTabOrder(ok_, cancel);

    historyField_.attach(history_);
    fileField_.attach(file_);
}

void CResponseMonitorDlg::initDialog()
{
    if (initialised_)
        return;
    initialised_ = true;
    auto *icon = findChild<QLabel *>(idName(monitordlg::Icon));
    if (icon) {
        const QSize size = icon->size();
        icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(size));
    }
    form_.init(*this);
}

void CResponseMonitorDlg::showEvent(QShowEvent *event)
{
    initDialog();
    QDialog::showEvent(event);
}

void CResponseMonitorDlg::accept()
{
    if (form_.onOk(*this, prompter_))
        QDialog::accept();
}

void CResponseMonitorDlg::setPortText(const std::string &text)
{
    portEdit_->setText(fromUtf8(text));
}

void CResponseMonitorDlg::setHistorySpinPos(int pos)
{
    spin_->setPos(pos);
}

int CResponseMonitorDlg::alphaPos() const
{
    return alpha_->value();
}

void CResponseMonitorDlg::setAlphaPos(int pos)
{
    alpha_->setValue(pos);
}

bool CResponseMonitorDlg::recordChecked() const
{
    return record_->isChecked();
}

void CResponseMonitorDlg::setFileControlsEnabled(bool enabled)
{
    file_->setEnabled(enabled);
    browse_->setEnabled(enabled);
}

} // namespace vigilon
