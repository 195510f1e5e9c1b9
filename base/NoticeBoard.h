// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>

namespace vigilon {

// What the one box of monitoring's messages shows. The first message stays
// in view; those that come while the box is open are counted under it, so
// that a failing alert program in an unattended session leaves one box, not
// one per failure.
class NoticeBoard {
public:
    // A message comes. True when no box is open and one must be shown;
    // false when the open box only needs its text renewed.
    bool post(const std::string &text, const std::string &caption, unsigned style);
    // The user closed the box.
    void closed();

    bool open() const { return open_; }
    // The box's text: the first message, then the count of later ones.
    std::string text() const;
    const std::string &caption() const { return caption_; }
    unsigned style() const { return style_; }

private:
    bool open_ = false;
    std::string first_;
    std::string caption_;
    unsigned style_ = 0;
    std::size_t more_ = 0;
};

// Writes a message of the program on standard error as one line.
void logNotice(const std::string &text);

} // namespace vigilon
