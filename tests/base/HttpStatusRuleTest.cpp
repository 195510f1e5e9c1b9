// SPDX-License-Identifier: MIT
#include "base/FailureReason.h"
#include "base/HttpStatusRule.h"
#include "base/Language.h"

#include <gtest/gtest.h>

namespace vigilon {
namespace {

// Texts as they are stored or typed, and the one way the program writes
// each back; the codes probed around every range's ends.
TEST(HttpStatusRule, readsTheTextsUsersWriteAndWritesEachOneWay)
{
    struct Case {
        const char *typed;
        const char *written;
        std::vector<int> alive, dead;
    } const cases[] = {
        {"any", "any", {100, 200, 599}, {}},
        {" ANY\t", "any", {404}, {}},
        {"2xx-3xx", "2xx-3xx", {200, 301, 399}, {199, 400, 503}},
        {"200-399", "2xx-3xx", {200, 399}, {199, 400}},
        {"300-399, 200 - 299", "2xx-3xx", {250}, {199}},
        {"200,204,300-399", "200,204,3xx", {200, 204, 300, 399}, {201, 203, 299, 400}},
        {" 204 ,200,200", "200,204", {200, 204}, {201}},
        {"2XX,404", "2xx,404", {299, 404}, {300, 403, 405}},
        {"250-3xx,1xx", "1xx,250-399", {100, 199, 250, 399}, {200, 249, 400}},
        {"401-402,403", "401-403", {401, 403}, {400, 404}},
        {"100-599", "1xx-5xx", {100, 599}, {99, 600}},
        {"599", "599", {599}, {598}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        const HttpStatusRule rule = HttpStatusRule::fromText(c.typed);
        ASSERT_TRUE(rule.valid());
        EXPECT_EQ(rule.text(), c.written);
        EXPECT_EQ(HttpStatusRule::fromText(rule.text()), rule);
        for (int code : c.alive)
            EXPECT_TRUE(rule.accepts(code)) << code;
        for (int code : c.dead)
            EXPECT_FALSE(rule.accepts(code)) << code;
    }
    EXPECT_EQ(HttpStatusRule(), HttpStatusRule::fromText("any"));
    EXPECT_TRUE(HttpStatusRule().anyReply());
    EXPECT_EQ(HttpStatusRule::successOrRedirect().text(), "2xx-3xx");
}

TEST(HttpStatusRule, refusesEverythingElseAndKeepsItsTextAsGiven)
{
    for (const char *typed : {"", "  ", "anything", "any,200", "2xx and 3xx", "200,", ",200", "200,,204", "99",
                              "600", "099", "0200", "6xx", "0xx", "2x", "20x", "399-300", "3xx-2xx", "200-300-400",
                              "200-", "-200", "+200", "200;204", "2 00", "２００"}) {
        SCOPED_TRACE(typed);
        const HttpStatusRule rule = HttpStatusRule::fromText(typed);
        EXPECT_FALSE(rule.valid());
        EXPECT_FALSE(rule.anyReply());
        EXPECT_EQ(rule.text(), typed);
        for (int code : {100, 200, 399, 599})
            EXPECT_FALSE(rule.accepts(code));
    }
}

TEST(HttpStatusRule, aRefusedReplyIsNamedByItsCodeAndStandardPhrase)
{
    struct Case {
        int code;
        const char *en, *ja;
    } const cases[] = {
        {503, "HTTP 503 Service Unavailable", "HTTPステータス 503 Service Unavailable"},
        {404, "HTTP 404 Not Found", "HTTPステータス 404 Not Found"},
        {301, "HTTP 301 Moved Permanently", "HTTPステータス 301 Moved Permanently"},
        {413, "HTTP 413 Content Too Large", "HTTPステータス 413 Content Too Large"},
        {505, "HTTP 505 HTTP Version Not Supported", "HTTPステータス 505 HTTP Version Not Supported"},
        // No phrase of its own: the code alone.
        {429, "HTTP 429", "HTTPステータス 429"},
        {306, "HTTP 306", "HTTPステータス 306"},
        {799, "HTTP 799", "HTTPステータス 799"},
        {-1, "not an HTTP reply", "HTTPの応答ではありません"},
    };
    const Language before = currentLanguage();
    for (const Case &c : cases) {
        const FailureReason reason = FailureReason::httpStatus(c.code);
        EXPECT_TRUE(reason.failed());
        EXPECT_EQ(reasonText(reason), c.en);
        setCurrentLanguage(Language::English);
        EXPECT_EQ(reasonTextShown(reason), c.en);
        setCurrentLanguage(Language::Japanese);
        EXPECT_EQ(reasonTextShown(reason), c.ja);
    }
    setCurrentLanguage(before);
    EXPECT_STREQ(httpReasonPhrase(200), "OK");
    EXPECT_EQ(httpReasonPhrase(418), nullptr);
}

} // namespace
} // namespace vigilon
