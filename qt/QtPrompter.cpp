// SPDX-License-Identifier: MIT
#include "qt/QtPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace vigilon {

namespace {
QString toDisplay(const std::string &text)
{
    QString s = QString::fromStdString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

QMessageBox::Icon iconFor(unsigned style)
{
    switch (style & mb::IconMask) {
    case mb::IconStop:
        return QMessageBox::Critical;
    case mb::IconQuestion:
        return QMessageBox::Question;
    case mb::IconExclamation:
        return QMessageBox::Warning;
    case mb::IconInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}
} // namespace

int QtPrompter::messageBox(const std::string &text, const std::string &caption, unsigned style)
{
    QMessageBox box(iconFor(style), toDisplay(caption.empty() ? defaultCaption() : caption), toDisplay(text));
    if ((style & mb::ButtonMask) == mb::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    if ((style & mb::ButtonMask) == mb::YesNo)
        return answer == QMessageBox::No ? mb::IdNo : mb::IdYes;
    return mb::IdOk;
}

QtPrompter::~QtPrompter()
{
    delete noticeBox_.data();
}

void QtPrompter::notice(const std::string &text, const std::string &caption, unsigned style)
{
    if (noticeBox_ && !noticeBox_->isVisible()) {
        // Closed behind our back (the application's windows went).
        board_.closed();
        noticeBox_->deleteLater();
        noticeBox_ = nullptr;
    }
    if (!noticeBox_ && board_.open())
        board_.closed(); // gone with the window it belonged to
    if (!board_.post(text, caption, style)) {
        if (noticeBox_)
            noticeBox_->setText(toDisplay(board_.text()));
        return;
    }
    // Owned by the main dialog while that is shown, so that the box is
    // never left behind it.
    QWidget *owner = owner_ ? owner_() : nullptr;
    if (owner && !owner->isVisible())
        owner = nullptr;
    auto *box = new QMessageBox(iconFor(style), toDisplay(caption.empty() ? defaultCaption() : caption),
                                toDisplay(board_.text()), QMessageBox::Ok, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    QObject::connect(box, &QMessageBox::finished, box, [this] { board_.closed(); });
    noticeBox_ = box;
    box->show();
    box->raise();
}

std::string QtPrompter::fileDialog(const FileDialogRequest &request)
{
    // "desc|pattern|desc|pattern||" becomes Qt's "desc (pattern);;...".
    const QStringList parts = QString::fromStdString(request.filter).split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;
        filters << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')));
    }
    QFileDialog dialog(QApplication::activeWindow(), toDisplay(request.title));
    dialog.setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    dialog.selectFile(QString::fromStdString(request.initialName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first().toStdString();
}

} // namespace vigilon
