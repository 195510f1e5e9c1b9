// SPDX-License-Identifier: MIT
#include "qt/AboutDlg.h"
#include "qt/UiText.h"

#include "qt/DialogUnits.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace vigilon {

CAboutDlg::CAboutDlg(Monitor &)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::WindowStaysOnTopHint)
{
    initUi();
    setFont(dialogFont());
    const DialogUnits du(font());
    setWindowTitle(uiText(sid::AboutCaption));
    // Room for the three controls with the template's margins.
    setFixedSize(du.size(237, 44));

    QIcon programIcon;
    for (int size : {16, 32, 48})
        programIcon.addFile(QStringLiteral(":/ui/128-%1.png").arg(size), QSize(size, size));
    setWindowIcon(programIcon);

    ok_ = new QPushButton(uiText(sid::OkButton), this);
    ok_->setGeometry(du.rect(180, 7, 50, 14));
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &CAboutDlg::accept);

    icon_ = new QLabel(this);
    // An icon static takes the icon's size.
    icon_->setGeometry(QRect(du.rect(11, 17, 20, 20).topLeft(), QSize(32, 32)));
    icon_->setPixmap(programIcon.pixmap(32, 32));

    version_ = new QLabel(this);
    version_->setTextFormat(Qt::PlainText);
    version_->setText(QStringLiteral("Vigilon Version " VIGILON_VERSION));
    version_->setGeometry(du.rect(40, 10, 119, 8));
    version_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    growToFit(version_);
}

void CAboutDlg::show()
{
    if (!placed_) {
        placed_ = true;
        move(0, 0);
    }
    QDialog::show();
    raise();
}

void CAboutDlg::done(int result)
{
    // The box lives on hidden.
    setResult(result);
    QDialog::hide();
}

} // namespace vigilon
