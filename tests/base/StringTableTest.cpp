// SPDX-License-Identifier: MIT
// The table of texts in both languages, and the filling of their fields.
#include "base/StringTable.h"
#include "base/TextFormat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

namespace vigilon {

// What a text must keep in every language: the places it fills in order (%s,
// %d, %1, %2), its strftime-style fields in any order, whether it has a
// keyboard mnemonic, and CR LF as its only line breaks.
static std::string shape(const std::string &text, bool withMnemonic)
{
    std::string ordered, fields;
    bool mnemonic = false, loneBreak = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && next != '\0')
            (std::string("sd12").find(next) != std::string::npos ? ordered : fields) += text[++i];
        else if (text[i] == '&')
            next == '&' ? void(++i) : void(mnemonic = true);
        loneBreak |= (text[i] == '\r' && next != '\n') || (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'));
    }
    std::sort(fields.begin(), fields.end());
    return ordered + "|" + fields + (withMnemonic && mnemonic ? "|&" : "") + (loneBreak ? "|lone break" : "");
}

TEST(StringTable, EveryIdHasBothLanguagesOfTheSameShape)
{
    ASSERT_GE(stringIds().size(), 100u);
    for (unsigned id : stringIds()) {
        const std::string &ja = loadString(id, Language::Japanese), &en = loadString(id, Language::English);
        EXPECT_FALSE(ja.empty() || en.empty()) << id;
        // English may have a mnemonic where the Japanese text has none.
        const bool jaMnemonic = shape(ja, true) != shape(ja, false);
        EXPECT_EQ(shape(ja, true), shape(en, jaMnemonic)) << id << ": " << ja << " / " << en;
        EXPECT_EQ(shape(ja, false).find("lone"), std::string::npos) << id;
    }
}

// A table out of order would break the binary search; an unknown id loads as
// empty; the current language picks the text; references stay valid.
TEST(StringTable, LooksUpByIdInTheCurrentLanguage)
{
    std::size_t found = 0;
    for (unsigned id = 0; id <= 70000; ++id)
        found += hasString(id) ? 1 : 0;
    EXPECT_EQ(found, stringIds().size());
    EXPECT_TRUE(!hasString(UINT_MAX) && loadString(UINT_MAX).empty());
    EXPECT_EQ(&loadString(sid::ConfirmExit), &loadString(sid::ConfirmExit));
    setCurrentLanguage(Language::English);
    EXPECT_EQ(loadString(sid::StartButton), "&Start");
    setCurrentLanguage(Language::Japanese);
    EXPECT_EQ(loadString(sid::StartButton), "開始(&S)");
    // The recording file's header does not follow the language.
    for (unsigned id : {sid::RecordHeaderSampling, sid::RecordHeaderTarget, sid::RecordHeaderSource})
        EXPECT_EQ(loadString(id, Language::English), loadString(id, Language::Japanese));
}

TEST(TextFormat, fillsFieldsInOrderAndKeepsOthers)
{
    EXPECT_EQ(formatText("デバイス %s\r\n%d件", {"host", "3"}), "デバイス host\r\n3件");
    EXPECT_EQ(formatText("100%% %s %x", {"a"}), "100% a %x");
    // A field without an argument stays visible rather than reading garbage.
    EXPECT_EQ(formatText("%s and %s", {"one"}), "one and %s");
    // An argument holding a field is not expanded again.
    EXPECT_EQ(formatText("%s %s", {"%s", "b"}), "%s b");
}

} // namespace vigilon
