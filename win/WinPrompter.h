// SPDX-License-Identifier: MIT
#pragma once

#include "base/NoticeBoard.h"
#include "base/Prompter.h"

#include <windows.h>

namespace vigilon::win {

// Message boxes, the one box of monitoring's notices and the common file
// dialog, on the Windows API.
class WinPrompter final : public Prompter {
public:
    WinPrompter() = default;
    ~WinPrompter() override;
    WinPrompter(const WinPrompter &) = delete;
    WinPrompter &operator=(const WinPrompter &) = delete;

    // MessageBoxW, owned by the thread's active window.
    int messageBox(const std::string &text, const std::string &caption, unsigned style) override;
    // A modeless box that never waits; later messages are counted in it.
    // (The caller writes every message on standard error.)
    void notice(const std::string &text, const std::string &caption, unsigned style) override;
    // GetOpenFileNameW or GetSaveFileNameW.
    std::string fileDialog(const FileDialogRequest &request) override;

    // The window a notice box is owned by while that is shown (the main
    // dialog), so that the box never sits behind it; null: none.
    void setNoticeOwner(HWND owner) { owner_ = owner; }
    HWND noticeOwner() const { return owner_; }

private:
    static LRESULT CALLBACK noticeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void makeNoticeWindow();
    void layoutNotice();
    void noticeClosed();

    NoticeBoard board_;
    HWND notice_ = nullptr;
    HWND noticeText_ = nullptr;
    HWND noticeIcon_ = nullptr;
    HWND noticeButton_ = nullptr;
    HFONT font_ = nullptr;
    HWND owner_ = nullptr;
};

// The common file dialog's flags for a request: an open dialog wants a file
// that exists; a save dialog takes a new name and asks before an existing
// file is replaced. Both want the folder to exist and keep the current
// directory as it was.
DWORD fileDialogFlags(const Prompter::FileDialogRequest &request);

} // namespace vigilon::win
