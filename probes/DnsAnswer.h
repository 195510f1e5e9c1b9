// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vigilon::dns {

// The record types a DNS entry can ask for, in the order of the dialog's
// list.
const std::vector<std::string> &recordTypes();
// The numeric type of a record type's word (any case); 0 when it is not one
// of recordTypes().
int typeCode(const std::string &word);
// The word of a record type as the list writes it ("mx" -> "MX"); empty
// when it is not one of recordTypes().
std::string typeWord(const std::string &word);

// Whether text is a name a DNS server can be asked for: dot-separated
// labels of 1 to 63 letters, digits, '-' or '_' (the latter for SRV and
// similar owner names), 253 characters at most, a trailing dot allowed;
// "." alone is the root.
bool validName(const std::string &text);

// What a DNS entry expects of the answers.
enum class Match {
    // Any answer at all.
    Any,
    // Every answer listed is among those that came (others may come too).
    Contains,
    // The answers that came are exactly those listed, in any order.
    Exactly,
};

// The expectation as it is stored in "DNS Expect #i": empty takes any
// answer; a list of answers separated by commas must all be among those
// that come; a list after a leading '=' must be exactly the answers that
// come. An answer holding a comma is written in double quotes.
struct Expectation {
    Match match = Match::Any;
    std::vector<std::string> answers;

    static Expectation fromText(const std::string &stored);
    // The list's text without the leading '=' (as the dialog's edit shows it).
    static std::string listText(const std::string &stored);
    // The stored text of a match and the list the user typed.
    static std::string toText(Match match, const std::string &list);
};

// An answer of a record type (typeCode()) as the comparison sees it:
// names in lower case without the trailing dot, addresses in their shortest
// spelling, numbers without leading zeros, blanks between fields made one
// space, quotes around text removed. nullopt when text cannot be an answer
// of that type (a malformed address, a missing field).
std::optional<std::string> canonicalAnswer(int type, const std::string &text);

// Whether the answers that came (as the probe writes them) meet the
// expectation. An expected answer that cannot be an answer of the type
// never matches.
bool meets(const Expectation &expectation, int type, const std::vector<std::string> &answers);

// The answers that came, for a failure's reason: separated by ", ", cut
// with "..." when longer than maxChars.
std::string answersShown(const std::vector<std::string> &answers, std::size_t maxChars = 120);

} // namespace vigilon::dns
