// SPDX-License-Identifier: MIT
// What an HTTP entry may send and ask of a body: content rules as stored
// and typed, and the request settings that cannot be sent.
#include "base/HttpRequest.h"

#include <gtest/gtest.h>

namespace vigilon {
namespace {

TEST(ContentRule, readsEachFormAndJudgesBodiesByteForByte)
{
    const std::string body = "<html><title>Welcome</title>\nstatus: ok, build 1234</html>";
    struct Case {
        const char *text;
        ContentRule::Kind kind;
        ContentRule::Verdict verdict;
    } const cases[] = {
        {"", ContentRule::None, ContentRule::Pass},
        {"contains:Welcome", ContentRule::Contains, ContentRule::Pass},
        {"CONTAINS:Welcome", ContentRule::Contains, ContentRule::Pass},
        // Letter case counts in the text, and blanks are part of it.
        {"contains:welcome", ContentRule::Contains, ContentRule::TextNotFound},
        {"contains:status: ok", ContentRule::Contains, ContentRule::Pass},
        {"lacks:error", ContentRule::Lacks, ContentRule::Pass},
        {"lacks:build", ContentRule::Lacks, ContentRule::TextFound},
        {"regex:build [0-9]{4}", ContentRule::Regex, ContentRule::Pass},
        {"regex:^status: ok", ContentRule::Regex, ContentRule::NoMatch}, // ^ is the body's start only
        {"regex:(?m)^status: ok", ContentRule::Regex, ContentRule::Pass},
        {"regex:build [0-9]{5}", ContentRule::Regex, ContentRule::NoMatch},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const ContentRule rule = ContentRule::fromText(c.text);
        EXPECT_TRUE(rule.valid()) << rule.error();
        EXPECT_EQ(rule.kind(), c.kind);
        EXPECT_EQ(rule.text(), c.text);
        EXPECT_EQ(rule.judge(body), c.verdict);
    }
    // A body with NUL bytes in it is searched whole.
    const std::string binary("\0\0needle\0", 9);
    EXPECT_EQ(ContentRule::fromText("contains:needle").judge(binary), ContentRule::Pass);
    EXPECT_EQ(ContentRule::fromText("regex:ne+dle").judge(binary), ContentRule::Pass);
    // Copies share the compiled pattern and judge alike.
    const ContentRule original = ContentRule::fromText("regex:b(u|i)ild");
    const ContentRule copy = original;
    EXPECT_EQ(copy.judge(body), ContentRule::Pass);
    EXPECT_EQ(copy, original);
}

TEST(ContentRule, refusesWhatIsNoRuleAndSaysWhyWithPcre2sOwnMessage)
{
    for (const char *text : {"contains:", "lacks:", "regex:", "contains", "has:Welcome", "Welcome"}) {
        const ContentRule rule = ContentRule::fromText(text);
        EXPECT_FALSE(rule.valid()) << text;
        EXPECT_EQ(rule.text(), text);
        EXPECT_FALSE(rule.error().empty()) << text;
        EXPECT_NE(rule.judge("anything contains Welcome"), ContentRule::Pass) << text;
    }
    const ContentRule broken = ContentRule::fromText("regex:status (ok");
    EXPECT_FALSE(broken.valid());
    EXPECT_EQ(broken.error(), "missing closing parenthesis at offset 10");
    EXPECT_EQ(broken.judge("status (ok"), ContentRule::NoMatch);
}

TEST(HttpRequestCheck, refusesWhatCouldNotBeSentAsGivenAndNamesTheLine)
{
    const auto problem = [](HttpRequest request, std::string *line = nullptr) { return checkRequest(request, line); };
    HttpRequest plain;
    EXPECT_EQ(problem(plain), RequestProblem::None);

    for (const char *path : {"/", "/status?full=1&x=%20", "/a/b;v=1"}) {
        HttpRequest request;
        request.path = path;
        EXPECT_EQ(problem(request), RequestProblem::None) << path;
    }
    for (const char *path : {"", "status", "/a b", "/a\r\nX: y", "/a\tb", "/a#frag"}) {
        HttpRequest request;
        request.path = path;
        EXPECT_EQ(problem(request), RequestProblem::BadPath) << path;
    }

    struct Case {
        const char *headers;
        RequestProblem problem;
        const char *line;
    } const cases[] = {
        {"Accept: text/html\nX-Token: abc\tdef", RequestProblem::None, ""},
        {"Accept: text/html\r\n\r\n  \nUser-Agent: probe/1.0\r\n", RequestProblem::None, ""},
        {"Content-Type: application/json", RequestProblem::None, ""},
        {"Accept text/html", RequestProblem::BadHeader, "Accept text/html"},
        {"Bad Name: x", RequestProblem::BadHeader, "Bad Name: x"},
        {": no name", RequestProblem::BadHeader, ": no name"},
        // A CR alone would end the line on the wire and start another.
        {"X-A: one\rHost: evil", RequestProblem::BadHeader, "X-A: one\rHost: evil"},
        {"X-A: nul\x01", RequestProblem::BadHeader, "X-A: nul\x01"},
        {"host: elsewhere", RequestProblem::ReservedHeader, "host: elsewhere"},
        {"Accept: */*\nContent-Length: 99", RequestProblem::ReservedHeader, "Content-Length: 99"},
        {"Transfer-Encoding: chunked", RequestProblem::ReservedHeader, "Transfer-Encoding: chunked"},
        {"CONNECTION: keep-alive", RequestProblem::ReservedHeader, "CONNECTION: keep-alive"},
    };
    for (const Case &c : cases) {
        HttpRequest request;
        request.headers = c.headers;
        std::string line;
        EXPECT_EQ(problem(request, &line), c.problem) << c.headers;
        EXPECT_EQ(line, c.line) << c.headers;
    }
    EXPECT_EQ(headerLines("Accept:  a \r\n\nX-B:b\nX-C:"),
              (std::vector<std::pair<std::string, std::string>>{{"Accept", "a"}, {"X-B", "b"}, {"X-C", ""}}));

    // A HEAD reply has no body for a rule to judge.
    HttpRequest head;
    head.contentRule = ContentRule::fromText("contains:ok");
    EXPECT_EQ(problem(head), RequestProblem::HeadWithContentRule);
    head.method = MethodGet;
    EXPECT_EQ(problem(head), RequestProblem::None);
    head.contentRule = ContentRule::fromText("regex:(");
    EXPECT_EQ(problem(head), RequestProblem::BadContentRule);
    head.method = 3;
    head.contentRule = {};
    EXPECT_EQ(problem(head), RequestProblem::BadMethod);

    // Basic authentication: the user cannot hold the colon that ends it,
    // a password needs a user, and the check writes Authorization itself.
    HttpRequest auth;
    auth.user = "ops";
    auth.password = "a:b c";
    EXPECT_EQ(problem(auth), RequestProblem::None);
    auth.headers = "authorization: Bearer t";
    std::string line;
    EXPECT_EQ(problem(auth, &line), RequestProblem::ReservedHeader);
    EXPECT_EQ(line, "authorization: Bearer t");
    auth.headers.clear();
    for (const char *user : {"o:ps", "o\nps"}) {
        auth.user = user;
        EXPECT_EQ(problem(auth), RequestProblem::BadUser) << user;
    }
    auth.user.clear();
    EXPECT_EQ(problem(auth), RequestProblem::PasswordWithoutUser);
    auth.headers = "Authorization: Bearer t";
    auth.password.clear();
    EXPECT_EQ(problem(auth), RequestProblem::None);
    // Encoded by hand, the password's colon and UTF-8 included.
    EXPECT_EQ(basicAuthorization("watch", "pa:ss w\xc3\xb6rd"), "Basic d2F0Y2g6cGE6c3Mgd8O2cmQ=");
    EXPECT_EQ(basicAuthorization("Aladdin", "open sesame"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

} // namespace
} // namespace vigilon
