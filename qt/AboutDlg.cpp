// SPDX-License-Identifier: MIT
#include "qt/AboutDlg.h"
#include "qt/UiText.h"

#include "base/StringTable.h"
#include "base/TextFormat.h"
#include "app/dialogs/WindowPlace.h"

#include "qt/DialogUnits.h"

#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QLabel>
#include <QPushButton>

namespace vigilon {

PlaceArea placeAreaOf(const QWidget *owner)
{
    PlaceArea area;
    const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect work = screen->availableGeometry();
        area.workArea = {work.left(), work.top(), work.left() + work.width(), work.top() + work.height()};
    }
    if (owner && owner->isVisible()) {
        const QRect frame = owner->frameGeometry();
        area.owner = ScreenRect{frame.left(), frame.top(), frame.left() + frame.width(), frame.top() + frame.height()};
    }
    return area;
}

CAboutDlg::CAboutDlg(Monitor &, std::function<PlaceArea()> placeArea)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::WindowStaysOnTopHint)
    , placeArea_(std::move(placeArea))
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
    version_->setText(QString::fromStdString(formatText(loadString(sid::AboutVersion), {VIGILON_VERSION})));
    version_->setGeometry(du.rect(40, 10, 119, 8));
    version_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    growToFit(version_);
}

void CAboutDlg::show()
{
    if (!placed_) {
        placed_ = true;
        const PlaceArea area = placeArea_ ? placeArea_() : placeAreaOf(nullptr);
        // Its frame is known once its native window is made.
        winId();
        const QSize size = frameGeometry().size();
        const ResponseGraph::Place at = placeBeside(area, size.width(), size.height(), PlaceSide::Left);
        move(at.x, at.y);
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
