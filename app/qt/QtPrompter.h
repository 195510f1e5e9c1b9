// SPDX-License-Identifier: MIT
#pragma once

#include "app/base/Prompter.h"

class QWidget;

namespace vigilon {

// Message boxes and file dialogs on Qt.
class QtPrompter final : public Prompter {
public:
    int messageBox(const std::string &text, const std::string &caption, unsigned style) override;
    std::string fileDialog(const FileDialogRequest &request) override;
};

} // namespace vigilon
