// SPDX-License-Identifier: MIT
#pragma once

#include "tests/support/FakeDialogControls.h"
#include "tests/support/FakePrompter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vigilon::test {

// A refused value says so once with an exclamation mark and leaves its
// field focused with its text selected; an accepted one (message empty) says
// nothing.
inline void expectVerdict(const FakePrompter &prompter, const FakeEditField &field, const std::string &message)
{
    EXPECT_EQ(prompter.texts(), message.empty() ? std::vector<std::string>{} : std::vector<std::string>{message});
    EXPECT_EQ(prompter.messages.empty() ? 0u : prompter.messages[0].style, message.empty() ? 0u : mb::IconExclamation);
    EXPECT_EQ(field.focused, message.empty() ? 0 : 1);
}

} // namespace vigilon::test
