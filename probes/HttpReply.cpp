// SPDX-License-Identifier: MIT
#include "probes/HttpReply.h"

#include <algorithm>

namespace vigilon {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

struct StatusLine {
    enum { Complete, Partial, NotHttp } state = Partial;
    int code = -1;
};

// Reads "HTTP/" 1*DIGIT ["." 1*DIGIT] SP 3DIGIT, then a blank or the end of
// the line, at the start of text.
StatusLine readStatusLine(std::string_view text, bool ended)
{
    StatusLine line;
    const auto stop = [&](bool outOfBytes) {
        line.state = outOfBytes && !ended ? StatusLine::Partial : StatusLine::NotHttp;
        return line;
    };
    constexpr std::string_view prefix = "HTTP/";
    if (text.substr(0, prefix.size()) != prefix.substr(0, std::min(text.size(), prefix.size())))
        return stop(false);
    if (text.size() < prefix.size())
        return stop(true);
    std::size_t at = prefix.size();
    // The version: digits, a dot, digits.
    for (int part = 0; part < 2; ++part) {
        const std::size_t first = at;
        while (at < text.size() && isDigit(text[at]) && at - first < 3)
            ++at;
        if (at == text.size())
            return stop(true);
        if (at == first)
            return stop(false);
        if (part == 0 && text[at] == '.')
            ++at;
        else
            break;
    }
    if (at == text.size())
        return stop(true);
    if (text[at++] != ' ')
        return stop(false);
    int code = 0;
    for (int digit = 0; digit < 3; ++digit, ++at) {
        if (at == text.size())
            return stop(true);
        if (!isDigit(text[at]))
            return stop(false);
        code = code * 10 + (text[at] - '0');
    }
    if (at == text.size() && !ended)
        return stop(true);
    if (at < text.size() && text[at] != ' ' && text[at] != '\r' && text[at] != '\n')
        return stop(false);
    if (code < 100)
        return stop(false);
    line.state = StatusLine::Complete;
    line.code = code;
    return line;
}

// Where the reply after an interim one begins: past the blank line that
// ends its header; npos while it has not come.
std::size_t afterHeader(std::string_view text)
{
    const std::size_t crlf = text.find("\r\n\r\n");
    const std::size_t lf = text.find("\n\n");
    if (crlf != std::string_view::npos && (lf == std::string_view::npos || crlf + 2 <= lf))
        return crlf + 4;
    return lf == std::string_view::npos ? lf : lf + 2;
}

} // namespace

HttpReplyVerdict judgeHttpReply(std::string_view bytes, const HttpStatusRule &rule, bool ended)
{
    HttpReplyVerdict verdict;
    if (bytes.empty()) {
        if (ended) {
            verdict.outcome = HttpReplyVerdict::Failed;
            verdict.reason = FailureReason::of(FailureKind::ClosedBeforeReply);
        }
        return verdict;
    }
    if (rule.anyReply()) {
        verdict.outcome = HttpReplyVerdict::Alive;
        return verdict;
    }
    std::string_view rest = bytes;
    for (;;) {
        const StatusLine line = readStatusLine(rest, ended);
        if (line.state == StatusLine::Partial)
            return verdict;
        if (line.state == StatusLine::NotHttp) {
            verdict.outcome = HttpReplyVerdict::Failed;
            verdict.reason = FailureReason::httpStatus(-1);
            return verdict;
        }
        verdict.status = line.code;
        if (line.code < 200 && line.code != 101) {
            // An interim reply: the one after it says.
            const std::size_t next = afterHeader(rest);
            if (next != std::string_view::npos && next < rest.size()) {
                rest.remove_prefix(next);
                continue;
            }
            if (!ended)
                return verdict;
            // Nothing came after it: it is all there is to judge.
        }
        const bool alive = rule.accepts(line.code);
        verdict.outcome = alive ? HttpReplyVerdict::Alive : HttpReplyVerdict::Failed;
        if (!alive)
            verdict.reason = FailureReason::httpStatus(line.code);
        return verdict;
    }
}

} // namespace vigilon
