// SPDX-License-Identifier: MIT
#include "qt/TargetHostDlg.h"
#include "qt/UiText.h"

#include "qt/DialogUnits.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>

namespace vigilon {

LimitedLineEdit::LimitedLineEdit(int limit, QWidget *parent)
    : QLineEdit(parent)
    , limit_(limit)
{
}

bool LimitedLineEdit::fits(const QString &insert) const
{
    return text().size() - selectedText().size() + insert.size() <= limit_;
}

void LimitedLineEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste)) {
        const QString clip = QGuiApplication::clipboard()->text();
        if (!fits(clip)) {
            event->accept();
            return;
        }
    } else if (!event->text().isEmpty() && event->text().at(0).isPrint() && !fits(event->text())) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void LimitedLineEdit::inputMethodEvent(QInputMethodEvent *event)
{
    if (!event->commitString().isEmpty() && !fits(event->commitString())) {
        event->accept();
        return;
    }
    QLineEdit::inputMethodEvent(event);
}

CTargetHostDlg::CTargetHostDlg(Prompter &prompter, TargetHostForm &form, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , prompter_(prompter)
    , form_(form)
{
    setFont(dialogFont());
    const DialogUnits du(font());
    setWindowTitle(uiText(sid::TargetHostCaption));
    setFixedSize(du.size(187, 72));

    auto *prompt = new QLabel(uiText(sid::TargetHostPrompt), this);
    prompt->setGeometry(du.rect(9, 7, 171, 17));
    prompt->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    growToFit(prompt);

    hostEdit_ = new LimitedLineEdit(MaxHostChars, this);
    hostEdit_->setObjectName(QStringLiteral("1000"));
    hostEdit_->setGeometry(du.rect(7, 24, 173, 14));
    hostField_.attach(hostEdit_);

    ok_ = new QPushButton(uiText(sid::OkButton), this);
    ok_->setGeometry(du.rect(39, 48, 50, 14));
    ok_->setDefault(true);
    cancel_ = new QPushButton(uiText(sid::CancelButtonMnemonic), this);
    cancel_->setGeometry(du.rect(98, 48, 50, 14));
    connect(ok_, &QPushButton::clicked, this, &CTargetHostDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &CTargetHostDlg::reject);
    setTabOrder(hostEdit_, ok_);
    setTabOrder(ok_, cancel_);
}

void CTargetHostDlg::showEvent(QShowEvent *event)
{
    if (!initialised_) {
        initialised_ = true;
        form_.init(hostField_);
    }
    QDialog::showEvent(event);
}

void CTargetHostDlg::accept()
{
    if (form_.onOk(hostField_, prompter_))
        QDialog::accept();
}

} // namespace vigilon
