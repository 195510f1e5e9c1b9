// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vigilon::svc {

// The systemctl program: $VIGILSVC_SYSTEMCTL when set, else "systemctl"
// looked up on PATH.
std::string systemctlProgram();

// Parses the output of "systemctl --user show-environment": one NAME=value
// a line, values that need it quoted as $'...' (C escapes) or "...".
std::map<std::string, std::string> parseShowEnvironment(const std::string &output);

// The user manager's current environment, or nothing when it cannot be asked.
std::optional<std::map<std::string, std::string>> userManagerEnvironment();

// The environment Vigilon is started with: own (this process's, as
// "NAME=value" entries) without NOTIFY_SOCKET and WATCHDOG_*, and with the
// display and session bus variables taken from manager when it answered
// (a variable the manager does not have is dropped, as the session that set
// it has ended).
std::vector<std::string> monitorEnvironment(const std::vector<std::string> &own,
                                            const std::optional<std::map<std::string, std::string>> &manager);

// This process's environment as "NAME=value" entries.
std::vector<std::string> currentEnvironment();

} // namespace vigilon::svc
