// SPDX-License-Identifier: MIT
#pragma once

#include "app/dialogs/EditField.h"

#include <windows.h>

#include <string>

namespace vigilon::win {

// The text of a window, as UTF-8.
std::string windowText(HWND window);
void setWindowText(HWND window, const std::string &text);

// An edit control as the dialogs' rules see it. The control may go while a
// message box runs; then the field reads empty and ignores what it is told.
class HwndEditField final : public EditField {
public:
    explicit HwndEditField(HWND edit = nullptr) : edit_(edit) {}
    void attach(HWND edit) { edit_ = edit; }
    HWND handle() const { return edit_; }
    std::string text() const override;
    void setText(const std::string &text) override;
    void focusAndSelect() override;

private:
    HWND edit_;
};

// An edit of several lines as the dialogs' rules see it: lines end with LF
// there, with CR LF in the edit; no CR reaches the rules.
class MultiLineEditField final : public EditField {
public:
    void attach(HWND edit) { field_.attach(edit); }
    HWND handle() const { return field_.handle(); }
    std::string text() const override;
    void setText(const std::string &text) override;
    void focusAndSelect() override { field_.focusAndSelect(); }

private:
    HwndEditField field_;
};

// The module whose resources the dialogs use.
HINSTANCE resourceInstance();

// A control's rectangle in its parent's client coordinates.
RECT childRect(HWND control);

// A stand-in for the templates' face can be a little wider than the face
// they were made for: a text static whose text would be cut or wrapped
// grows instead, away from its aligned edge.
void growStaticsToFit(HWND dialog);
// The same for a multi-line field, which would wrap its lines: it grows to
// the right, at most to rightLimit (its parent's client coordinates).
void growFieldToFit(HWND field, int rightLimit);

} // namespace vigilon::win
