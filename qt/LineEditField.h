// SPDX-License-Identifier: MIT
#pragma once

#include "app/dialogs/EditField.h"

#include <QLineEdit>
#include <QPointer>

namespace vigilon {

// A line edit as the dialogs' rules see it. The edit may go while a message
// box runs; then the field reads empty and ignores what it is told.
class LineEditField final : public EditField {
public:
    explicit LineEditField(QLineEdit *edit = nullptr) : edit_(edit) {}
    void attach(QLineEdit *edit) { edit_ = edit; }
    std::string text() const override { return edit_ ? edit_->text().toStdString() : std::string(); }
    void setText(const std::string &text) override
    {
        if (edit_)
            edit_->setText(QString::fromStdString(text));
    }
    void focusAndSelect() override
    {
        if (!edit_)
            return;
        edit_->setFocus(Qt::OtherFocusReason);
        edit_->selectAll();
    }

private:
    QPointer<QLineEdit> edit_;
};

} // namespace vigilon
