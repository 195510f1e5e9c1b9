// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vigilon {

// What a quiet command does to the entries it is given: a quiet period set
// by hand for an hour, eight hours or until resumed, or none (Resume).
enum class QuietChoice { Hour, EightHours, UntilResumed, Resume };

// The stored end of the quiet period a choice sets at now (seconds since
// 1970 UTC): kQuietUntilResumed until resumed, 0 for Resume.
std::int64_t quietUntilFor(QuietChoice choice, std::int64_t now);

// The quiet commands of the tray menu, which apply to every entry; both
// front ends add them to the menu in this order after a separator, below
// the monitoring and dialog items.
struct TrayQuietItem {
    unsigned command;
    unsigned text;
    QuietChoice choice;
};
const std::array<TrayQuietItem, 4> &trayQuietItems();
// The choice of a tray command; false for any other command.
bool trayQuietChoice(unsigned command, QuietChoice &choice);

// An entry's name as the port list shows it while it is quiet, and the name
// a row shows without that mark (as it is when it has none).
std::string quietName(const std::string &name);
std::string withoutQuietMark(const std::string &shown);

} // namespace vigilon
