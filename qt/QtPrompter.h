// SPDX-License-Identifier: MIT
#pragma once

#include "app/base/NoticeBoard.h"
#include "app/base/Prompter.h"

#include <QMessageBox>
#include <QPointer>

class QWidget;

namespace vigilon {

// Message boxes and file dialogs on Qt.
class QtPrompter final : public Prompter {
public:
    QtPrompter() = default;
    ~QtPrompter() override;
    QtPrompter(const QtPrompter &) = delete;
    QtPrompter &operator=(const QtPrompter &) = delete;
    int messageBox(const std::string &text, const std::string &caption, unsigned style) override;
    std::string fileDialog(const FileDialogRequest &request) override;
    // One box that does not block; later messages are counted in it.
    void notice(const std::string &text, const std::string &caption, unsigned style) override;
    // The open notice box, if any (tests).
    QMessageBox *noticeBox() const { return noticeBox_; }

private:
    NoticeBoard board_;
    QPointer<QMessageBox> noticeBox_;
};

} // namespace vigilon
