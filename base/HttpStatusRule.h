// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vigilon {

// Which replies to the HTTP check count as alive. "any" counts every reply,
// whatever it says (HTTP or not); any other rule is a set of status codes
// from 100 to 599, written as a comma list of codes ("204"), ranges
// ("300-399") and classes ("2xx", or "2xx-3xx" for a run of them).
class HttpStatusRule {
public:
    static constexpr int Lowest = 100;
    static constexpr int Highest = 599;

    // Any reply.
    HttpStatusRule() = default;

    // Reads a rule as it is stored or typed: "any" in any letter case, or a
    // list; blanks around the items and around a range's dash are allowed.
    // Anything else (an empty text too) gives a rule that is not valid and
    // keeps the text as it was given.
    static HttpStatusRule fromText(std::string_view text);
    // 2xx-3xx: success and redirection.
    static HttpStatusRule successOrRedirect();

    bool valid() const { return valid_; }
    bool anyReply() const { return valid_ && ranges_.empty(); }
    // Whether a reply with this status code counts as alive; never under a
    // rule that is not valid.
    bool accepts(int code) const;
    // The rule written the one way the program writes it: "any", or the
    // codes in ascending order with neighbouring ranges joined, whole
    // classes written as such ("2xx-3xx,404"). A rule that is not valid
    // gives its text as it was given.
    std::string text() const;
    // The code ranges, ascending and apart; empty for any reply.
    const std::vector<std::pair<int, int>> &ranges() const { return ranges_; }

    bool operator==(const HttpStatusRule &) const = default;

private:
    bool valid_ = true;
    std::vector<std::pair<int, int>> ranges_;
    std::string invalidText_;
};

// The standard reason phrase of a status code ("Service Unavailable" for
// 503); null for a code without one.
const char *httpReasonPhrase(int code);

// "503 Service Unavailable", or the code alone where it has no standard
// phrase.
std::string httpStatusWords(int code);

} // namespace vigilon
