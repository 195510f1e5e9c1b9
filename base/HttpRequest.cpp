// SPDX-License-Identifier: MIT
#include "base/HttpRequest.h"
#include "base/Base64.h"
#include "base/TextFormat.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <array>
#include <cctype>

namespace vigilon {

namespace {

// RFC 9110's token characters.
bool isTokenChar(char c)
{
    if (std::isalnum(static_cast<unsigned char>(c)))
        return true;
    return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isControl(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7f;
}

} // namespace

ContentRule ContentRule::fromText(std::string_view text)
{
    ContentRule rule;
    rule.text_ = std::string(text);
    if (text.empty())
        return rule;
    const auto colon = text.find(':');
    const std::string_view word = colon == std::string_view::npos ? text : text.substr(0, colon);
    rule.valid_ = false;
    if (colon == std::string_view::npos) {
        rule.error_ = "a rule is contains:TEXT, lacks:TEXT or regex:PATTERN";
        return rule;
    }
    rule.operand_ = std::string(text.substr(colon + 1));
    if (sameWord(word, "contains"))
        rule.kind_ = Contains;
    else if (sameWord(word, "lacks"))
        rule.kind_ = Lacks;
    else if (sameWord(word, "regex"))
        rule.kind_ = Regex;
    else {
        rule.error_ = "a rule is contains:TEXT, lacks:TEXT or regex:PATTERN";
        return rule;
    }
    if (rule.operand_.empty()) {
        rule.error_ = "the rule has no text after its colon";
        return rule;
    }
    if (rule.kind_ == Regex) {
        int errorCode = 0;
        PCRE2_SIZE offset = 0;
        pcre2_code *code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(rule.operand_.data()), rule.operand_.size(), 0,
                                         &errorCode, &offset, nullptr);
        if (!code) {
            std::array<PCRE2_UCHAR, 256> message{};
            pcre2_get_error_message(errorCode, message.data(), message.size());
            rule.error_ = std::string(reinterpret_cast<const char *>(message.data())) + " at offset " +
                          std::to_string(offset);
            return rule;
        }
        rule.code_ = std::shared_ptr<void>(code, [](void *p) { pcre2_code_free(static_cast<pcre2_code *>(p)); });
    }
    rule.valid_ = true;
    return rule;
}

ContentRule::Verdict ContentRule::judge(std::string_view body) const
{
    if (!valid_)
        return kind_ == Lacks ? TextFound : kind_ == Regex ? NoMatch : TextNotFound;
    switch (kind_) {
    case None:
        return Pass;
    case Contains:
        return body.find(operand_) != std::string_view::npos ? Pass : TextNotFound;
    case Lacks:
        return body.find(operand_) == std::string_view::npos ? Pass : TextFound;
    case Regex: {
        auto *code = static_cast<pcre2_code *>(code_.get());
        // Match data per call: one compiled pattern may be judged by checks
        // of several entries at once.
        pcre2_match_data *data = pcre2_match_data_create_from_pattern(code, nullptr);
        if (!data)
            return NoMatch;
        const int found = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(body.data()), body.size(), 0, 0, data, nullptr);
        pcre2_match_data_free(data);
        return found >= 0 ? Pass : NoMatch;
    }
    }
    return NoMatch;
}

std::vector<std::pair<std::string, std::string>> headerLines(std::string_view headers)
{
    std::vector<std::pair<std::string, std::string>> lines;
    while (!headers.empty()) {
        const auto end = headers.find('\n');
        std::string_view line = headers.substr(0, end);
        headers = end == std::string_view::npos ? std::string_view() : headers.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (trimmed(line).empty())
            continue;
        const auto colon = line.find(':');
        if (colon == std::string_view::npos)
            lines.emplace_back(std::string(trimmed(line)), std::string());
        else
            lines.emplace_back(std::string(trimmed(line.substr(0, colon))), std::string(trimmed(line.substr(colon + 1))));
    }
    return lines;
}

RequestProblem checkRequest(const HttpRequest &request, std::string *line)
{
    if (request.method > MethodPost)
        return RequestProblem::BadMethod;
    if (request.path.empty() || request.path[0] != '/' ||
        std::any_of(request.path.begin(), request.path.end(), [](char c) { return c == ' ' || c == '#' || isControl(c); }))
        return RequestProblem::BadPath;
    // Each raw line, so that a CR alone or another control character in
    // the middle of one is caught before it could end a header early.
    std::string_view rest = request.headers;
    while (!rest.empty()) {
        const auto end = rest.find('\n');
        std::string_view raw = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        if (trimmed(raw).empty())
            continue;
        const auto said = [&](RequestProblem problem) {
            if (line)
                *line = std::string(trimmed(raw));
            return problem;
        };
        const auto colon = raw.find(':');
        if (colon == std::string_view::npos)
            return said(RequestProblem::BadHeader);
        const std::string_view name = trimmed(raw.substr(0, colon));
        const std::string_view value = raw.substr(colon + 1);
        if (name.empty() || !std::all_of(name.begin(), name.end(), isTokenChar) ||
            std::any_of(value.begin(), value.end(), [](char c) { return isControl(c) && c != '\t'; }))
            return said(RequestProblem::BadHeader);
        for (const char *reserved : {"Host", "Content-Length", "Transfer-Encoding", "Connection"})
            if (sameWord(name, reserved))
                return said(RequestProblem::ReservedHeader);
        if (!request.user.empty() && sameWord(name, "Authorization"))
            return said(RequestProblem::ReservedHeader);
    }
    if (std::any_of(request.user.begin(), request.user.end(), [](char c) { return c == ':' || isControl(c); }))
        return RequestProblem::BadUser;
    if (request.user.empty() && !request.password.empty())
        return RequestProblem::PasswordWithoutUser;
    if (!request.contentRule.valid())
        return RequestProblem::BadContentRule;
    if (request.method == MethodHead && request.contentRule.kind() != ContentRule::None)
        return RequestProblem::HeadWithContentRule;
    return RequestProblem::None;
}

std::string basicAuthorization(const std::string &user, const std::string &password)
{
    return "Basic " + base64Encode(user + ":" + password);
}

const char *methodWord(std::uint32_t method)
{
    switch (method) {
    case MethodGet:
        return "GET";
    case MethodPost:
        return "POST";
    default:
        return "HEAD";
    }
}

} // namespace vigilon
