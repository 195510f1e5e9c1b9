// SPDX-License-Identifier: MIT
#include "base/HttpStatusRule.h"
#include "base/TextFormat.h"

#include <algorithm>
#include <optional>

namespace vigilon {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// One end of a range: a code ("204") or a class ("2xx"), which stands for
// its first code at the low end and its last at the high end.
std::optional<int> bound(std::string_view text, bool high)
{
    if (text.size() != 3 || !isDigit(text[0]))
        return std::nullopt;
    int code = 0;
    if ((text[1] == 'x' || text[1] == 'X') && (text[2] == 'x' || text[2] == 'X'))
        code = (text[0] - '0') * 100 + (high ? 99 : 0);
    else if (isDigit(text[1]) && isDigit(text[2]))
        code = (text[0] - '0') * 100 + (text[1] - '0') * 10 + (text[2] - '0');
    else
        return std::nullopt;
    if (code < HttpStatusRule::Lowest || code > HttpStatusRule::Highest)
        return std::nullopt;
    return code;
}

std::string codeText(int code, bool high)
{
    const bool wholeClass = high ? code % 100 == 99 : code % 100 == 0;
    return wholeClass ? std::to_string(code / 100) + "xx" : std::to_string(code);
}

} // namespace

HttpStatusRule HttpStatusRule::fromText(std::string_view text)
{
    HttpStatusRule rule;
    const std::string_view whole = trimmed(text);
    if (whole.size() == 3 && std::equal(whole.begin(), whole.end(), "any",
                                        [](char a, char b) { return (a | 0x20) == b; }))
        return rule;
    const auto refuse = [&] {
        HttpStatusRule invalid;
        invalid.valid_ = false;
        invalid.invalidText_ = std::string(text);
        return invalid;
    };
    std::string_view rest = whole;
    for (;;) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = trimmed(rest.substr(0, comma));
        const std::size_t dash = item.find('-');
        const std::optional<int> low = bound(trimmed(item.substr(0, dash)), false);
        const std::optional<int> high =
            dash == std::string_view::npos ? bound(item, true) : bound(trimmed(item.substr(dash + 1)), true);
        if (!low || !high || *low > *high)
            return refuse();
        rule.ranges_.emplace_back(*low, *high);
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    // Ascending, and ranges that touch or overlap made one.
    std::sort(rule.ranges_.begin(), rule.ranges_.end());
    std::vector<std::pair<int, int>> joined;
    for (const auto &range : rule.ranges_) {
        if (!joined.empty() && range.first <= joined.back().second + 1)
            joined.back().second = std::max(joined.back().second, range.second);
        else
            joined.push_back(range);
    }
    rule.ranges_ = std::move(joined);
    return rule;
}

HttpStatusRule HttpStatusRule::successOrRedirect()
{
    return fromText("2xx-3xx");
}

bool HttpStatusRule::accepts(int code) const
{
    if (!valid_)
        return false;
    if (ranges_.empty())
        return true;
    return std::any_of(ranges_.begin(), ranges_.end(),
                       [code](const auto &range) { return code >= range.first && code <= range.second; });
}

std::string HttpStatusRule::text() const
{
    if (!valid_)
        return invalidText_;
    if (ranges_.empty())
        return "any";
    std::string out;
    for (const auto &[low, high] : ranges_) {
        if (!out.empty())
            out += ',';
        const bool classes = low % 100 == 0 && high % 100 == 99;
        if (low == high)
            out += std::to_string(low);
        else if (classes && low / 100 == high / 100)
            out += codeText(low, false);
        else if (classes)
            out += codeText(low, false) + "-" + codeText(high, true);
        else
            out += std::to_string(low) + "-" + std::to_string(high);
    }
    return out;
}

const char *httpReasonPhrase(int code)
{
    struct Phrase {
        int code;
        const char *text;
    };
    static constexpr Phrase phrases[] = {
        {100, "Continue"},
        {101, "Switching Protocols"},
        {200, "OK"},
        {201, "Created"},
        {202, "Accepted"},
        {203, "Non-Authoritative Information"},
        {204, "No Content"},
        {205, "Reset Content"},
        {206, "Partial Content"},
        {300, "Multiple Choices"},
        {301, "Moved Permanently"},
        {302, "Found"},
        {303, "See Other"},
        {304, "Not Modified"},
        {305, "Use Proxy"},
        {307, "Temporary Redirect"},
        {308, "Permanent Redirect"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {402, "Payment Required"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {406, "Not Acceptable"},
        {407, "Proxy Authentication Required"},
        {408, "Request Timeout"},
        {409, "Conflict"},
        {410, "Gone"},
        {411, "Length Required"},
        {412, "Precondition Failed"},
        {413, "Content Too Large"},
        {414, "URI Too Long"},
        {415, "Unsupported Media Type"},
        {416, "Range Not Satisfiable"},
        {417, "Expectation Failed"},
        {421, "Misdirected Request"},
        {422, "Unprocessable Content"},
        {426, "Upgrade Required"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
        {505, "HTTP Version Not Supported"},
    };
    const auto it = std::lower_bound(std::begin(phrases), std::end(phrases), code,
                                     [](const Phrase &phrase, int key) { return phrase.code < key; });
    return it != std::end(phrases) && it->code == code ? it->text : nullptr;
}

std::string httpStatusWords(int code)
{
    const char *phrase = httpReasonPhrase(code);
    return phrase ? std::to_string(code) + " " + phrase : std::to_string(code);
}

} // namespace vigilon
