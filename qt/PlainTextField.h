// SPDX-License-Identifier: MIT
#pragma once

#include "app/dialogs/EditField.h"

#include <QPlainTextEdit>
#include <QPointer>

namespace vigilon {

// An edit of several lines as the dialogs' rules see it: lines end with LF
// both ways. The edit may go while a message box runs; then the field reads
// empty and ignores what it is told.
class PlainTextField final : public EditField {
public:
    explicit PlainTextField(QPlainTextEdit *edit = nullptr) : edit_(edit) {}
    void attach(QPlainTextEdit *edit) { edit_ = edit; }
    std::string text() const override { return edit_ ? edit_->toPlainText().toStdString() : std::string(); }
    void setText(const std::string &text) override
    {
        if (edit_)
            edit_->setPlainText(QString::fromStdString(text).remove(QLatin1Char('\r')));
    }
    void focusAndSelect() override
    {
        if (!edit_)
            return;
        edit_->setFocus(Qt::OtherFocusReason);
        edit_->selectAll();
    }

private:
    QPointer<QPlainTextEdit> edit_;
};

} // namespace vigilon
