// SPDX-License-Identifier: MIT
#pragma once

#include "app/base/Prompter.h"

#include <functional>
#include <string>

namespace vigilon {

// The frame's runCommand: starts an entry's alert command with "%TARGET%"
// replaced by the current target host, or opens it as a document, and shows
// the failure message when neither works. Returns 0 when it was started.
std::function<int(const std::string &command)> makeCommandRunner(Prompter &prompter,
                                                                 std::function<std::string()> targetHost);

} // namespace vigilon
