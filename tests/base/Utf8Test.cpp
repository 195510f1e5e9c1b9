// SPDX-License-Identifier: MIT
#include "base/Utf8.h"

#include <gtest/gtest.h>

namespace vigilon {
namespace {

const std::string kBad = "\xEF\xBF\xBD";

TEST(Utf8, validTextStaysAndEachBadByteBecomesOneReplacement)
{
    const std::string japanese = "監視 \xF0\x9F\x98\x80 ok";
    EXPECT_EQ(validUtf8(japanese), japanese);
    // A lone continuation byte, an overlong slash, a surrogate, a point past
    // U+10FFFF and a sequence cut short at the end.
    EXPECT_EQ(validUtf8("a\x80z"), "a" + kBad + "z");
    EXPECT_EQ(validUtf8("\xC0\xAF"), kBad + kBad);
    EXPECT_EQ(validUtf8("\xED\xA0\x80"), kBad + kBad + kBad);
    EXPECT_EQ(validUtf8("\xF4\x90\x80\x80"), kBad + kBad + kBad + kBad);
    EXPECT_EQ(validUtf8("x\xE7\x9B"), "x" + kBad + kBad);
}

TEST(Utf8, codePointsReadBackAsWritten)
{
    std::string text;
    for (char32_t code : {U'A', U'é', U'監', U'\U0001F600', U'\U0010FFFF'})
        appendUtf8(text, code);
    std::size_t at = 0;
    std::u32string back;
    for (char32_t code = 0; at < text.size() && nextUtf8(text, at, code);)
        back.push_back(code);
    EXPECT_EQ(back, U"Aé監\U0001F600\U0010FFFF");
    EXPECT_EQ(at, text.size());
    at = 0;
    char32_t code = 0;
    EXPECT_FALSE(nextUtf8("\xE0\x80\x80", at, code)) << "overlong";
    EXPECT_EQ(at, 0u);
}

} // namespace
} // namespace vigilon
