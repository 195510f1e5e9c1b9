// SPDX-License-Identifier: MIT
// What the desktop is told when entries fail or answer again, and what the
// tray's tip says of the failing ones.
#include "app/Notifications.h"

#include "base/StringTable.h"
#include "base/TextFormat.h"

#include <algorithm>

namespace vigilon {

void addStatusChange(std::vector<StatusChange> &changes, StatusChange change)
{
    const auto earlier = std::find_if(changes.begin(), changes.end(),
                                      [&change](const StatusChange &c) { return c.entryId == change.entryId; });
    if (earlier != changes.end()) {
        if (earlier->failed != change.failed) {
            changes.erase(earlier);
            return;
        }
        *earlier = std::move(change);
        return;
    }
    changes.push_back(std::move(change));
}

DesktopNotice desktopNotice(const std::vector<StatusChange> &changes, const std::string &targetHost,
                            std::size_t maxLines, NoticeLimits limits)
{
    DesktopNotice notice;
    if (changes.empty())
        return notice;
    notice.failure = std::any_of(changes.begin(), changes.end(), [](const StatusChange &c) { return c.failed; });
    if (changes.size() == 1)
        notice.summary = formatText(loadString(changes[0].failed ? sid::NotifyFailedOne : sid::NotifyRecoveredOne),
                                    {changes[0].name});
    else
        notice.summary = formatText(loadString(sid::NotifyChangedMany), {std::to_string(changes.size())});
    notice.summary = cutText(notice.summary, limits.summary);
    // Failures first, each group in the order the changes came.
    std::vector<std::string> lines;
    for (const bool failed : {true, false}) {
        for (const StatusChange &c : changes) {
            if (c.failed != failed)
                continue;
            const std::string &host = c.host.empty() ? targetHost : c.host;
            lines.push_back(failed ? formatText(loadString(sid::NotifyFailedLine),
                                                {c.name, host, reasonTextShown(c.reason)})
                                   : formatText(loadString(sid::NotifyRecoveredLine), {c.name, host}));
        }
    }
    const auto more = [&lines](std::size_t shown) {
        return formatText(loadString(sid::NotifyMoreLines), {std::to_string(lines.size() - shown)});
    };
    const auto compose = [&](std::size_t shown) {
        std::string body;
        for (std::size_t i = 0; i < shown; ++i)
            body += (i ? "\r\n" : "") + lines[i];
        if (shown < lines.size())
            body += (shown ? "\r\n" : "") + more(shown);
        return body;
    };
    const auto length = [&limits](const std::string &text) { return textLength(text, limits.body.unit); };
    // As many whole lines as fit, a last line counting the others.
    std::size_t shown = lines.size() > maxLines ? std::max<std::size_t>(maxLines, 1) - 1 : lines.size();
    while (shown > 1 && length(compose(shown)) > limits.body.length)
        --shown;
    notice.body = compose(shown);
    if (length(notice.body) <= limits.body.length)
        return notice;
    // The first line alone is too long: cut, ending with "…".
    const std::string ellipsis = "\xE2\x80\xA6";
    const std::string rest = ellipsis + (shown < lines.size() ? "\r\n" + more(shown) : std::string());
    const std::size_t room = limits.body.length - std::min(limits.body.length, length(rest));
    notice.body = cutText(lines[0], TextLimit{room, limits.body.unit}) + rest;
    return notice;
}

std::string entryWithHost(const std::string &name, const std::string &host)
{
    return host.empty() ? name : formatText(loadString(sid::EntryOnHost), {name, host});
}

namespace {
// text, then a line of format naming the first count of names, "…" for the
// rest.
std::string withNames(const std::string &text, const std::string &format, const std::vector<std::string> &names,
                      std::size_t count)
{
    std::string list;
    for (std::size_t i = 0; i < count; ++i)
        list += (i ? ", " : "") + names[i];
    if (count < names.size())
        list += ", \xE2\x80\xA6"; // "…"
    return text + "\r\n" + formatText(format, {list});
}
} // namespace

std::string trayTip(const std::string &base, const std::vector<std::string> &failing, TextLimit limit,
                    const std::vector<std::string> &quiet)
{
    std::string tip = cutText(base, limit);
    if (!failing.empty()) {
        // As many names as fit, the rest said by "…".
        const std::string &format = loadString(sid::TrayTipFailing);
        tip.clear();
        for (std::size_t count = failing.size(); count > 0 && tip.empty(); --count) {
            std::string line = withNames(base, format, failing, count);
            if (textLength(line, limit.unit) <= limit.length)
                tip = std::move(line);
        }
        if (tip.empty())
            return cutText(withNames(base, format, failing, 1), limit);
    }
    // The quiet ones only where at least one name fits.
    const std::string &format = loadString(sid::TrayTipQuiet);
    for (std::size_t count = quiet.size(); count > 0; --count) {
        std::string line = withNames(tip, format, quiet, count);
        if (textLength(line, limit.unit) <= limit.length)
            return line;
    }
    return tip;
}

std::string trayTip(const std::string &base, const std::vector<std::string> &failing,
                    const std::vector<std::string> &channels, TextLimit limit,
                    const std::vector<std::string> &quiet)
{
    if (channels.empty())
        return trayTip(base, failing, limit, quiet);
    const std::size_t room = std::min(textLength("\r\n" + channels.front(), limit.unit), limit.length / 3);
    std::string tip = trayTip(base, failing, {limit.length - room, limit.unit}, quiet);
    for (std::size_t i = 0; i < channels.size(); ++i) {
        std::string next = tip + "\r\n" + channels[i];
        if (textLength(next, limit.unit) > limit.length) {
            if (i == 0)
                tip = cutText(next, limit);
            break;
        }
        tip = std::move(next);
    }
    return tip;
}

std::string channelTipLine(const std::string &name, const std::string &error)
{
    return formatText(loadString(sid::TrayTipChannel), {name, error});
}

} // namespace vigilon
