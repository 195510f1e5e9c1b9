// SPDX-License-Identifier: MIT
#pragma once

#include "base/NoticeBoard.h"
#include "base/Prompter.h"

#include <QMessageBox>
#include <QPointer>

#include <functional>

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
    // The window a notice box belongs to while it is shown (the main
    // dialog), so that the box stays above it; none: the box stands alone.
    void setNoticeOwner(std::function<QWidget *()> owner) { owner_ = std::move(owner); }

private:
    NoticeBoard board_;
    QPointer<QMessageBox> noticeBox_;
    std::function<QWidget *()> owner_;
};

} // namespace vigilon
