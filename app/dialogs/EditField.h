// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace vigilon {

// An edit control as the dialogs' rules see it. Texts are UTF-8.
class EditField {
public:
    virtual ~EditField() = default;
    virtual std::string text() const = 0;
    virtual void setText(const std::string &text) = 0;
    // Puts the focus on the control with its whole text selected.
    virtual void focusAndSelect() = 0;
};

} // namespace vigilon
