// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vigilon {

// What an HTTP or HTTPS entry asks of the body of the reply. Stored and
// typed as "contains:TEXT", "lacks:TEXT" or "regex:PATTERN" (the word in any
// letter case); empty for no rule. TEXT is looked for byte for byte, letter
// case and all. A PATTERN is a PCRE2 regular expression, compiled once when
// the rule is made; copies share the compiled pattern.
class ContentRule {
public:
    enum Kind { None, Contains, Lacks, Regex };
    // What judge() found.
    enum Verdict { Pass, TextNotFound, TextFound, NoMatch };

    // No rule.
    ContentRule() = default;
    // A text that is none of the forms above, an empty TEXT or a pattern
    // that does not compile gives a rule that is not valid: error() then
    // says why (PCRE2's own message for a pattern), and text() keeps it.
    static ContentRule fromText(std::string_view text);

    Kind kind() const { return kind_; }
    bool valid() const { return valid_; }
    // As given.
    const std::string &text() const { return text_; }
    // The text or pattern after the colon.
    const std::string &operand() const { return operand_; }
    const std::string &error() const { return error_; }

    // Judges a body; Pass for no rule. A rule that is not valid never passes.
    Verdict judge(std::string_view body) const;

    bool operator==(const ContentRule &other) const { return text_ == other.text_; }

private:
    Kind kind_ = None;
    bool valid_ = true;
    std::string text_;
    std::string operand_;
    std::string error_;
    // The compiled pattern (a pcre2_code), for Regex.
    std::shared_ptr<void> code_;
};

// The request methods an HTTP entry can send, as stored.
enum HttpMethod : std::uint32_t {
    MethodHead = 0,
    MethodGet = 1,
    MethodPost = 2,
};

// The content type a POST body goes with unless a "Content-Type:" line in
// the extra headers names another: that of an HTML form.
constexpr const char *kDefaultPostType = "application/x-www-form-urlencoded";
// The most of a body that is read and judged.
constexpr std::size_t kBodyLimit = 1024 * 1024;
// The most redirects followed in one check.
constexpr int kMaxRedirects = 5;
// The most characters of a path, body, headers or rule that the dialog
// takes (the store reads as many, in any encoding).
constexpr std::size_t kMaxRequestText = 8192;

// The request an HTTP or HTTPS entry sends and what it asks of the reply
// beyond its status. The defaults are the plain request: "HEAD /", no extra
// headers, no redirects followed, no content rule.
struct HttpRequest {
    std::uint32_t method = MethodHead;
    // The path and query, from its "/" on.
    std::string path = "/";
    // Sent with POST only.
    std::string body;
    // Extra request headers, one "Name: value" a line.
    std::string headers;
    bool followRedirects = false;
    ContentRule contentRule;
    // Basic authentication: sent as "Authorization: Basic" when user is not
    // empty. The password is a secret: never logged, shown or put in a
    // failure reason.
    std::string user;
    std::string password;

    bool operator==(const HttpRequest &) const = default;
};

// Why a request's settings cannot be used; None when they can.
enum class RequestProblem {
    None,
    // The path does not begin with "/" or holds a blank, a control
    // character or a "#".
    BadPath,
    // A header line is not "Name: value" with a name of token characters
    // and a value without control characters.
    BadHeader,
    // A header line names Host, Content-Length, Transfer-Encoding or
    // Connection, which the check writes itself, or Authorization while a
    // user is given.
    ReservedHeader,
    // A HEAD request has no body to judge.
    HeadWithContentRule,
    // The content rule is not one of the forms, or its pattern does not
    // compile.
    BadContentRule,
    BadMethod,
    // The user holds a colon or a control character, which basic
    // authentication cannot carry.
    BadUser,
    // A password is given without a user.
    PasswordWithoutUser,
};

// Checks the settings; line, when given, is set to the header line at
// fault (BadHeader, ReservedHeader).
RequestProblem checkRequest(const HttpRequest &request, std::string *line = nullptr);

// The extra header lines as name and value pairs, blanks around them and
// empty lines left out. Lines end with LF or CR LF.
std::vector<std::pair<std::string, std::string>> headerLines(std::string_view headers);

// The longest user and password the dialog takes and the store reads.
constexpr std::size_t kMaxCredentialChars = 256;

// The "Authorization" header's value for basic authentication:
// "Basic " and the base64 of "user:password" (UTF-8).
std::string basicAuthorization(const std::string &user, const std::string &password);

// The method's word on the request line ("HEAD", "GET", "POST").
const char *methodWord(std::uint32_t method);

} // namespace vigilon
