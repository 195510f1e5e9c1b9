// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace vigilon {

// Message box styles and answers, with the values of the Windows message box
// so that a style reads the same here as in a Windows build.
namespace mb {
constexpr unsigned Ok = 0x00;
constexpr unsigned YesNo = 0x04;
constexpr unsigned IconStop = 0x10;
constexpr unsigned IconQuestion = 0x20;
constexpr unsigned IconExclamation = 0x30;
constexpr unsigned IconInformation = 0x40;
constexpr unsigned ButtonMask = 0x0F;
constexpr unsigned IconMask = 0xF0;

constexpr int IdOk = 1;
constexpr int IdYes = 6;
constexpr int IdNo = 7;
} // namespace mb

// Every modal prompt of the program goes through one of these, so that tests
// can answer them. Texts are UTF-8; "\r\n" in a text is a line break.
class Prompter {
public:
    virtual ~Prompter() = default;

    // Shows a modal message box and returns the answer (mb::IdOk, IdYes,
    // IdNo). An empty caption means the program's name, "Vigilon".
    virtual int messageBox(const std::string &text, const std::string &caption, unsigned style) = 0;

    // Shows a message that monitoring raised and returns at once: nobody may
    // be there to answer it (service mode), so it never waits and never runs
    // the event loop. At most one such box is open; what comes while it is
    // open is counted in it (see NoticeBoard).
    virtual void notice(const std::string &text, const std::string &caption, unsigned style) = 0;

    // A modal file dialog. Returns the chosen path, or an empty string when the
    // user cancelled. filter is in the "desc|pattern|desc|pattern||" form.
    struct FileDialogRequest {
        bool open = true;
        std::string title;
        std::string filter;
        std::string defaultExtension;
        std::string initialName;
    };
    virtual std::string fileDialog(const FileDialogRequest &request) = 0;
};

inline const char *defaultCaption()
{
    return "Vigilon";
}

} // namespace vigilon
