// SPDX-License-Identifier: MIT
#include "app/QuietCommands.h"

#include "app/FrameUi.h"
#include "base/QuietTime.h"
#include "base/Language.h"
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

std::string withoutQuietMark(const std::string &shown)
{
    // The mark of either language: the list keeps what it was filled with.
    for (const Language language : {Language::English, Language::Japanese}) {
        const std::string &format = loadString(sid::QuietNameMark, language);
        const std::size_t place = format.find("%s");
        const std::string before = format.substr(0, place), after = format.substr(place + 2);
        if (shown.size() > before.size() + after.size() && shown.compare(0, before.size(), before) == 0 &&
            shown.compare(shown.size() - after.size(), after.size(), after) == 0)
            return shown.substr(before.size(), shown.size() - before.size() - after.size());
    }
    return shown;
}

} // namespace vigilon
