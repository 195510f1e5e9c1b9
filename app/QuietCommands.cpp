// SPDX-License-Identifier: MIT
#include "app/QuietCommands.h"

#include "app/FrameUi.h"
#include "base/QuietTime.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"

namespace vigilon {

std::int64_t quietUntilFor(QuietChoice choice, std::int64_t now)
{
    switch (choice) {
    case QuietChoice::Hour:
        return now + 3600;
    case QuietChoice::EightHours:
        return now + 8 * 3600;
    case QuietChoice::UntilResumed:
        return kQuietUntilResumed;
    case QuietChoice::Resume:
        break;
    }
    return 0;
}

const std::array<TrayQuietItem, 4> &trayQuietItems()
{
    static const std::array<TrayQuietItem, 4> items{{
        {res::CmdQuietAllHour, sid::TrayQuietAllHour, QuietChoice::Hour},
        {res::CmdQuietAllEightHours, sid::TrayQuietAllEightHours, QuietChoice::EightHours},
        {res::CmdQuietAllUntilResumed, sid::TrayQuietAllUntilResumed, QuietChoice::UntilResumed},
        {res::CmdResumeAll, sid::TrayResumeAll, QuietChoice::Resume},
    }};
    return items;
}

bool trayQuietChoice(unsigned command, QuietChoice &choice)
{
    for (const TrayQuietItem &item : trayQuietItems()) {
        if (item.command == command) {
            choice = item.choice;
            return true;
        }
    }
    return false;
}

std::string quietName(const std::string &name)
{
    return formatText(loadString(sid::QuietNameMark), {name});
}

} // namespace vigilon
