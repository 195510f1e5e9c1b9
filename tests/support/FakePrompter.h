// SPDX-License-Identifier: MIT
#pragma once

#include "base/Prompter.h"
#include "graph/FileDialogStatus.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace vigilon::test {

// Answers the program's message boxes from a script and remembers every box
// and notice; an unscripted question gets Yes (or OK).
class FakePrompter final : public Prompter, public FileDialogStatus {
public:
    struct Message {
        std::string text;
        std::string caption;
        unsigned style = 0;
    };
    std::vector<Message> messages;
    std::deque<int> answers;
    // Runs while a modal box is "open", as the nested loop of a real one would.
    std::function<void(const Message &)> onMessage;

    // File dialogs asked for, the name they answer, and whether they fail
    // to show.
    std::vector<FileDialogRequest> fileRequests;
    std::string fileAnswer;
    bool fileDialogFails = false;

    int messageBox(const std::string &text, const std::string &caption, unsigned style) override
    {
        messages.push_back({text, caption, style});
        if (onMessage)
            onMessage(messages.back());
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return (style & mb::ButtonMask) == mb::YesNo ? mb::IdYes : mb::IdOk;
    }
    void notice(const std::string &text, const std::string &caption, unsigned style) override
    {
        messages.push_back({text, caption, style});
    }
    std::string fileDialog(const FileDialogRequest &request) override
    {
        fileRequests.push_back(request);
        return fileAnswer;
    }
    bool lastFileDialogFailed() const override { return fileDialogFails; }

    int count(const std::string &text) const
    {
        return static_cast<int>(
            std::count_if(messages.begin(), messages.end(), [&](const Message &m) { return m.text == text; }));
    }
    bool saw(const std::string &text) const { return count(text) > 0; }
    std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const auto &m : messages)
            out.push_back(m.text);
        return out;
    }
};

} // namespace vigilon::test
