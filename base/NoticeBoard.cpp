// SPDX-License-Identifier: MIT
#include "base/NoticeBoard.h"

#include "base/StringTable.h"
#include "base/TextFormat.h"

#include <cstdio>

namespace vigilon {

bool NoticeBoard::post(const std::string &text, const std::string &caption, unsigned style)
{
    if (open_) {
        ++more_;
        return false;
    }
    open_ = true;
    first_ = text;
    caption_ = caption;
    style_ = style;
    more_ = 0;
    return true;
}

void NoticeBoard::closed()
{
    open_ = false;
    more_ = 0;
}

std::string NoticeBoard::text() const
{
    if (more_ == 0)
        return first_;
    return first_ + "\r\n\r\n" + formatText(loadString(sid::MoreMessages), {std::to_string(more_)});
}

void logNotice(const std::string &text)
{
    // The message's own line breaks join its lines; what else it holds of
    // names and commands is escaped.
    std::string line;
    line.reserve(text.size());
    for (const char c : text) {
        if (c == '\r')
            continue;
        line += c == '\n' ? ' ' : c;
    }
    std::fprintf(stderr, "vigilon: %s\n", escapeControls(line).c_str());
}

} // namespace vigilon
