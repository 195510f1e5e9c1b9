// SPDX-License-Identifier: MIT
#include "probes/DnsAnswer.h"

#include "base/TextFormat.h"

#include <ares.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace vigilon::dns {

namespace {

struct TypeRow {
    const char *word;
    int code;
};

constexpr std::array<TypeRow, 10> kTypes{{
    {"A", 1},
    {"AAAA", 28},
    {"CNAME", 5},
    {"MX", 15},
    {"NS", 2},
    {"TXT", 16},
    {"SOA", 6},
    {"PTR", 12},
    {"SRV", 33},
    {"CAA", 257},
}};

const TypeRow *rowOf(const std::string &word)
{
    for (const TypeRow &row : kTypes)
        if (sameWord(word, row.word))
            return &row;
    return nullptr;
}

std::string lowerAscii(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Splits at blanks; a field in double quotes keeps its blanks (and loses
// its quotes). rest: how many fields to take before the remainder becomes
// the last one, as it is (0: no limit).
std::vector<std::string> fieldsOf(const std::string &text, std::size_t rest = 0)
{
    std::vector<std::string> fields;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && isBlank(text[at]))
            ++at;
        if (at == text.size())
            break;
        if (rest != 0 && fields.size() + 1 == rest) {
            std::string last = std::string(trimmed(text.substr(at)));
            if (last.size() >= 2 && last.front() == '"' && last.back() == '"')
                last = last.substr(1, last.size() - 2);
            fields.push_back(last);
            break;
        }
        std::string field;
        if (text[at] == '"') {
            const std::size_t end = text.find('"', at + 1);
            field = text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
            at = end == std::string::npos ? text.size() : end + 1;
        } else {
            const std::size_t start = at;
            while (at < text.size() && !isBlank(text[at]))
                ++at;
            field = text.substr(start, at - start);
        }
        fields.push_back(field);
    }
    return fields;
}

std::optional<std::string> nameOf(const std::string &text)
{
    if (!validName(text))
        return std::nullopt;
    std::string name = lowerAscii(text);
    if (name.size() > 1 && name.back() == '.')
        name.pop_back();
    return name;
}

std::optional<std::string> numberOf(const std::string &text, std::uint64_t high)
{
    if (text.empty() || text.size() > 12 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const std::uint64_t value = std::stoull(text);
    if (value > high)
        return std::nullopt;
    return std::to_string(value);
}

std::optional<std::string> addressOf(int family, const std::string &text)
{
    unsigned char bytes[16];
    char shown[64];
    if (text.empty() || ares_inet_pton(family, text.c_str(), bytes) != 1)
        return std::nullopt;
    if (!ares_inet_ntop(family, bytes, shown, sizeof shown))
        return std::nullopt;
    return std::string(shown);
}

// Joins the canonical fields with one space; nullopt when any is missing.
std::optional<std::string> joined(const std::vector<std::optional<std::string>> &fields)
{
    std::string out;
    for (const auto &field : fields) {
        if (!field)
            return std::nullopt;
        if (!out.empty())
            out += ' ';
        out += *field;
    }
    return out;
}

// Splits the stored list at commas outside double quotes; blanks around
// each answer go, empty answers are dropped.
std::vector<std::string> splitList(const std::string &list)
{
    std::vector<std::string> answers;
    std::string current;
    bool quoted = false;
    const auto flush = [&] {
        std::string answer = std::string(trimmed(current));
        if (!answer.empty())
            answers.push_back(answer);
        current.clear();
    };
    for (const char c : list) {
        if (c == '"')
            quoted = !quoted;
        if (c == ',' && !quoted) {
            flush();
            continue;
        }
        current += c;
    }
    flush();
    return answers;
}

} // namespace

const std::vector<std::string> &recordTypes()
{
    static const std::vector<std::string> words = [] {
        std::vector<std::string> out;
        for (const TypeRow &row : kTypes)
            out.emplace_back(row.word);
        return out;
    }();
    return words;
}

int typeCode(const std::string &word)
{
    const TypeRow *row = rowOf(std::string(trimmed(word)));
    return row ? row->code : 0;
}

std::string typeWord(const std::string &word)
{
    const TypeRow *row = rowOf(std::string(trimmed(word)));
    return row ? row->word : std::string();
}

bool validName(const std::string &text)
{
    if (text == ".")
        return true;
    std::string name = text;
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    if (name.empty() || name.size() > 253)
        return false;
    std::size_t label = 0;
    for (const char c : name) {
        if (c == '.') {
            if (label == 0)
                return false;
            label = 0;
            continue;
        }
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                             c == '_';
        if (!allowed || ++label > 63)
            return false;
    }
    return label != 0;
}

Expectation Expectation::fromText(const std::string &stored)
{
    Expectation expectation;
    std::string list = std::string(trimmed(stored));
    const bool exactly = !list.empty() && list.front() == '=';
    if (exactly)
        list.erase(0, 1);
    expectation.answers = splitList(list);
    if (!expectation.answers.empty())
        expectation.match = exactly ? Match::Exactly : Match::Contains;
    return expectation;
}

std::string Expectation::listText(const std::string &stored)
{
    std::string list = std::string(trimmed(stored));
    if (!list.empty() && list.front() == '=')
        list.erase(0, 1);
    return std::string(trimmed(list));
}

std::string Expectation::toText(Match match, const std::string &list)
{
    const std::string answers = std::string(trimmed(list));
    if (match == Match::Any || answers.empty())
        return {};
    return match == Match::Exactly ? "=" + answers : answers;
}

std::optional<std::string> canonicalAnswer(int type, const std::string &input)
{
    const std::string text = std::string(trimmed(input));
    switch (type) {
    case 1:
        return addressOf(AF_INET, text);
    case 28:
        return addressOf(AF_INET6, text);
    case 2:
    case 5:
    case 12:
        return nameOf(text);
    case 16: {
        // The text as it is; quotes around it are the presentation's.
        if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
            return text.substr(1, text.size() - 2);
        return text;
    }
    case 15: {
        const auto f = fieldsOf(text);
        if (f.size() != 2)
            return std::nullopt;
        return joined({numberOf(f[0], 65535), nameOf(f[1])});
    }
    case 33: {
        const auto f = fieldsOf(text);
        if (f.size() != 4)
            return std::nullopt;
        return joined({numberOf(f[0], 65535), numberOf(f[1], 65535), numberOf(f[2], 65535), nameOf(f[3])});
    }
    case 6: {
        const auto f = fieldsOf(text);
        if (f.size() != 7)
            return std::nullopt;
        return joined({nameOf(f[0]), nameOf(f[1]), numberOf(f[2], 0xFFFFFFFFu), numberOf(f[3], 0xFFFFFFFFu),
                       numberOf(f[4], 0xFFFFFFFFu), numberOf(f[5], 0xFFFFFFFFu), numberOf(f[6], 0xFFFFFFFFu)});
    }
    case 257: {
        const auto f = fieldsOf(text, 3);
        if (f.size() != 3 || f[1].empty())
            return std::nullopt;
        return joined({numberOf(f[0], 255), lowerAscii(f[1]), f[2]});
    }
    default:
        return std::nullopt;
    }
}

bool meets(const Expectation &expectation, int type, const std::vector<std::string> &answers)
{
    if (expectation.match == Match::Any)
        return !answers.empty();
    std::vector<std::string> came;
    for (const std::string &answer : answers)
        came.push_back(canonicalAnswer(type, answer).value_or(answer));
    std::sort(came.begin(), came.end());
    came.erase(std::unique(came.begin(), came.end()), came.end());
    std::vector<std::string> wanted;
    for (const std::string &answer : expectation.answers) {
        const auto canonical = canonicalAnswer(type, answer);
        if (!canonical)
            return false;
        wanted.push_back(*canonical);
    }
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    if (expectation.match == Match::Exactly)
        return came == wanted;
    return std::includes(came.begin(), came.end(), wanted.begin(), wanted.end());
}

std::string answersShown(const std::vector<std::string> &answers, std::size_t maxChars)
{
    std::string out;
    for (const std::string &answer : answers) {
        if (!out.empty())
            out += ", ";
        out += answer;
    }
    if (out.size() > maxChars) {
        // Cut at a character's start: the text may hold UTF-8.
        std::size_t cut = maxChars;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
            --cut;
        out.erase(cut);
        out += "...";
    }
    return out;
}

} // namespace vigilon::dns
