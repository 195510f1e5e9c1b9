// SPDX-License-Identifier: MIT
#include "base/TextFormat.h"

#include <gtest/gtest.h>

namespace vigilon {
namespace {

TEST(TextFormat, fillsFieldsInOrderAndKeepsOthers)
{
    EXPECT_EQ(formatText("デバイス %s\r\n%d件", {"host", "3"}), "デバイス host\r\n3件");
    EXPECT_EQ(formatText("100%% %s %x", {"a"}), "100% a %x");
    // A field without an argument stays visible rather than reading garbage.
    EXPECT_EQ(formatText("%s and %s", {"one"}), "one and %s");
    // An argument holding a field is not expanded again.
    EXPECT_EQ(formatText("%s %s", {"%s", "b"}), "%s b");
}

} // namespace
} // namespace vigilon
