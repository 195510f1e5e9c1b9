// SPDX-License-Identifier: MIT
#pragma once

#include "base/Prompter.h"

#include <memory>

#include <windows.h>

namespace vigilon::win {

// What every modal dialog of ours shares: its window, its prompter, and a flag
// that tells code after a message box whether the dialog is still there.
struct ModalBase {
    Prompter &prompter;
    void (*onOpen)(HWND, void *) = nullptr;
    void *context = nullptr;
    HWND window = nullptr;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    virtual ~ModalBase() = default;
    virtual void init() = 0;
    // A command; true when handled.
    virtual bool command(int id, int code) = 0;
    // A control's notification (WM_NOTIFY); true when handled.
    virtual bool notify(const NMHDR &header)
    {
        (void)header;
        return false;
    }
    ModalBase(Prompter &p, void (*open)(HWND, void *), void *ctx) : prompter(p), onOpen(open), context(ctx) {}
};

// Runs dialog from template templateId, modal to owner (which may be null):
// true when it ended with OK.
bool runModal(HWND owner, int templateId, ModalBase &dialog);

} // namespace vigilon::win
