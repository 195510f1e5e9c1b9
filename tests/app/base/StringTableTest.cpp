// SPDX-License-Identifier: MIT
#include "app/base/StringTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace vigilon {
namespace {

constexpr Language kBoth[] = {Language::Japanese, Language::English};

// The places a text fills, in order: %s, %d, %1, %2. strftime-style fields
// (%Y, %H, %D...) may come in another order in another language, so they
// are compared as a sorted list.
std::pair<std::string, std::string> places(const std::string &text)
{
    std::string ordered, fields;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        const char c = text[++i];
        (c == 's' || c == 'd' || c == '1' || c == '2' ? ordered : fields) += c;
    }
    std::sort(fields.begin(), fields.end());
    return {ordered, fields};
}

int mnemonics(const std::string &text)
{
    int count = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        count += text[i] == '&' && (i + 1 == text.size() || text[i + 1] != '&');
    return count;
}

} // namespace

// Every id has a text in both languages, and the two fill the same places
// and English has a keyboard mnemonic wherever Japanese has one (at most
// one); line breaks are CR LF.
TEST(StringTable, EveryIdHasBothLanguagesWithTheSamePlaces)
{
    const std::vector<unsigned> ids = stringIds();
    ASSERT_GE(ids.size(), 100u);
    for (unsigned id : ids) {
        const std::string &ja = loadString(id, Language::Japanese);
        const std::string &en = loadString(id, Language::English);
        EXPECT_FALSE(ja.empty()) << id;
        EXPECT_FALSE(en.empty()) << id;
        EXPECT_EQ(places(ja), places(en)) << id << ": " << ja << " / " << en;
        EXPECT_GE(mnemonics(en), mnemonics(ja)) << id << ": " << ja << " / " << en;
        EXPECT_LE(mnemonics(en), 1) << id << ": " << en;
        for (Language language : kBoth) {
            const std::string &text = loadString(id, language);
            for (std::size_t i = 0; i < text.size(); ++i) {
                const bool lone = (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) ||
                                  (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'));
                EXPECT_FALSE(lone) << id;
            }
        }
    }
}

// Lookups: a table out of order would break the binary search; an unknown
// id loads as empty; the current language picks the text; references stay.
TEST(StringTable, LooksUpByIdInTheCurrentLanguage)
{
    const std::vector<unsigned> ids = stringIds();
    std::size_t found = 0;
    for (unsigned id = 0; id <= 70000; ++id)
        found += hasString(id) ? 1 : 0;
    EXPECT_EQ(found, ids.size());
    EXPECT_TRUE(!hasString(UINT_MAX) && loadString(UINT_MAX).empty());
    EXPECT_EQ(&loadString(sid::ConfirmExit), &loadString(sid::ConfirmExit));

    const Language before = currentLanguage();
    setCurrentLanguage(Language::English);
    EXPECT_EQ(loadString(sid::StartButton), "&Start");
    setCurrentLanguage(Language::Japanese);
    EXPECT_EQ(loadString(sid::StartButton), "開始(&S)");
    setCurrentLanguage(before);
    // The recording file's header does not follow the language.
    for (unsigned id : {sid::RecordHeaderSampling, sid::RecordHeaderTarget, sid::RecordHeaderSource})
        EXPECT_EQ(loadString(id, Language::English), loadString(id, Language::Japanese));
}

} // namespace vigilon
