// SPDX-License-Identifier: MIT
#include "app/base/StringTable.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using vigilon::hasString;
using vigilon::loadString;
namespace sid = vigilon::sid;

namespace {

const std::vector<unsigned> kExpectedIds{
    104, 105, 106, 107, 108, 109, 110, 111, 113, 114, 117, 118, 119, 120, 121,
    128, 129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141,
    187, 188, 189, 190, 252, 253, 254, 255, 256, 257, 258, 259, 260, 261, 262,
    266, 267, 270, 271, 273, 274, 275, 276, 330, 331, 332,
    61215, 61216, 61217, 61218, 61219, 61220, 61712, 61714, 61716};

} // namespace

// Every id is found (a table out of order breaks the binary search) and no
// other id carries a text: an unknown one loads as empty.
TEST(StringTable, HoldsExactlyTheProgramIds)
{
    for (unsigned id : kExpectedIds) {
        EXPECT_TRUE(hasString(id)) << id;
        EXPECT_FALSE(loadString(id).empty()) << id;
    }
    std::size_t found = 0;
    for (unsigned id = 0; id <= 70000; ++id)
        found += (hasString(id) ? 1 : 0) + (loadString(id).empty() ? 0 : 1);
    EXPECT_EQ(found, 2 * kExpectedIds.size());
    EXPECT_TRUE(!hasString(UINT_MAX) && loadString(UINT_MAX).empty());
    // Callers may keep the reference.
    EXPECT_EQ(&loadString(sid::ConfirmExit), &loadString(sid::ConfirmExit));
}

TEST(StringTable, LineBreaksAreCrLfOnly)
{
    for (unsigned id : kExpectedIds) {
        const std::string &text = loadString(id);
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\r') {
                EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << id;
            }
            if (text[i] == '\n') {
                EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << id;
            }
        }
    }
    const std::string &noActive = loadString(sid::NoActivePortOnStart);
    EXPECT_EQ(noActive, loadString(sid::NoActivePortOnTest));
    EXPECT_NE(noActive.find("\r\n"), std::string::npos);
    const std::string &counts = loadString(sid::GraphStartAndCount);
    ASSERT_GE(counts.size(), 2u);
    EXPECT_EQ(counts.substr(counts.size() - 2), "\r\n");
}
