// SPDX-License-Identifier: MIT
#include "channels/ChannelMessage.h"

#include "base/Base64.h"
#include "base/StringTable.h"
#include "base/TextFormat.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>

namespace vigilon::channels {

namespace {

const char *stateName(EventKind event)
{
    return event == EventKind::Up ? "up" : "down";
}

const char *previousStateName(EventKind event)
{
    return event == EventKind::Down ? "up" : "down";
}

const char *eventName(EventKind event)
{
    switch (event) {
    case EventKind::Down: return "down";
    case EventKind::Up: return "up";
    case EventKind::StillDown: return "still_down";
    }
    return "down";
}

std::string place(const ChannelEvent &event)
{
    const bool ipv6 = event.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + event.host + "]" : event.host) + ":" + std::to_string(event.port);
}

std::string subject(const std::vector<ChannelEvent> &events, Language language)
{
    if (events.size() != 1)
        return formatText(loadString(sid::ChannelSubjectMany, language), {std::to_string(events.size())});
    const ChannelEvent &event = events.front();
    const unsigned id = event.event == EventKind::Down ? sid::ChannelSubjectDown
                        : event.event == EventKind::Up ? sid::ChannelSubjectUp
                                                       : sid::ChannelSubjectStillDown;
    return formatText(loadString(id, language), {event.name});
}

// The line of one event, then its details on lines of their own when
// details is set.
std::string eventText(const ChannelEvent &event, Language language, bool details)
{
    std::string text;
    switch (event.event) {
    case EventKind::Down:
        text = formatText(loadString(sid::ChannelLineDown, language), {event.name, place(event), event.reasonShown});
        break;
    case EventKind::Up:
        text = formatText(loadString(sid::ChannelLineUp, language),
                          {event.name, place(event), outageLength(event.outageSeconds, language)});
        break;
    case EventKind::StillDown:
        text = formatText(loadString(sid::ChannelLineStillDown, language),
                          {event.name, place(event), outageLength(event.outageSeconds, language), event.reasonShown});
        break;
    }
    if (!details)
        return text;
    if (event.event != EventKind::Up)
        text += "\n" + formatText(loadString(sid::ChannelErrorsLine, language), {std::to_string(event.errorCount)});
    if (event.certDays)
        text += "\n" + formatText(loadString(sid::ChannelCertLine, language), {std::to_string(*event.certDays)});
    if (event.outageStart > 0) {
        std::string since = isoTime(event.outageStart);
        since[10] = ' ';
        since.pop_back();
        text += "\n" + formatText(loadString(sid::ChannelSinceLine, language), {since});
    }
    return text;
}

std::string plainText(const std::vector<ChannelEvent> &events, Language language, bool details)
{
    std::string text;
    for (const ChannelEvent &event : events)
        text += (text.empty() ? "" : details ? "\n\n" : "\n") + eventText(event, language, details);
    return text;
}

nlohmann::json eventJson(const ChannelEvent &event)
{
    nlohmann::json json = {
        {"event", eventName(event.event)},
        {"name", event.name},
        {"host", event.host},
        {"port", event.port},
        {"kind", event.kind},
        {"state", stateName(event.event)},
        {"previous_state", previousStateName(event.event)},
        {"reason", event.reason},
        {"error_count", event.errorCount},
        {"certificate_days", event.certDays ? nlohmann::json(*event.certDays) : nlohmann::json(nullptr)},
        {"outage_start", event.outageStart > 0 ? nlohmann::json(isoTime(event.outageStart)) : nlohmann::json(nullptr)},
        {"outage_seconds", event.outageSeconds},
    };
    return json;
}

// A header's value that holds any text: plain printable ASCII stays, the
// rest goes as an encoded word (RFC 2047), which no line break or other
// byte of the text can leave.
std::string headerText(const std::string &text)
{
    bool plain = text.size() < 60;
    for (const char c : text)
        plain = plain && c >= 0x20 && c < 0x7f && c != '=' && c != '?';
    if (plain)
        return text;
    // Encoded words stay within a line's length; each holds whole UTF-8
    // characters.
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = std::min(text.size(), at + 45);
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80)
            --end;
        out += (out.empty() ? "" : " ") + std::string("=?UTF-8?B?") + base64Encode(text.substr(at, end - at)) + "?=";
        at = end;
    }
    return out;
}

// The mail's Date header, in UTC.
std::string mailDate(std::int64_t now)
{
    const std::time_t t = static_cast<std::time_t>(now);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &t);
#else
    gmtime_r(&t, &tm);
#endif
    static const char *const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", days[tm.tm_wday], tm.tm_mday,
                  months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

Message mail(const ChannelAddress &address, const std::string &title, const std::string &text, std::int64_t now)
{
    std::string to;
    for (const std::string &one : address.to)
        to += (to.empty() ? "" : ", ") + one;
    std::string body = "Date: " + mailDate(now) + "\r\nFrom: " + address.from + "\r\nTo: " + to +
                       "\r\nSubject: " + headerText(title) +
                       "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                       "Content-Transfer-Encoding: base64\r\n\r\n";
    std::string crlf;
    for (const char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::string encoded = base64Encode(crlf);
    for (std::size_t at = 0; at < encoded.size(); at += 76)
        body += encoded.substr(at, 76) + "\r\n";
    return {{}, body};
}

// Text for a chat service's message: the three characters its markup
// gives a meaning are escaped, so that no entry name can mention
// everyone or make a link.
std::string chatEscaped(const std::string &text)
{
    std::string out;
    for (const char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

} // namespace

std::string isoTime(std::int64_t seconds)
{
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &t);
#else
    gmtime_r(&t, &tm);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::string outageLength(std::int64_t seconds, Language language)
{
    if (seconds < 0)
        seconds = 0;
    const std::int64_t days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60;
    if (days > 0)
        return formatText(loadString(sid::ChannelDurationDays, language),
                          {std::to_string(days), std::to_string(hours), std::to_string(minutes)});
    if (hours > 0)
        return formatText(loadString(sid::ChannelDurationHours, language),
                          {std::to_string(hours), std::to_string(minutes)});
    if (minutes > 0)
        return formatText(loadString(sid::ChannelDurationMinutes, language), {std::to_string(minutes)});
    return formatText(loadString(sid::ChannelDurationSeconds, language), {std::to_string(seconds)});
}

Message composeMessage(const ChannelAddress &address, const std::vector<ChannelEvent> &events, std::int64_t now,
                       Language language)
{
    if (events.empty())
        return {};
    const std::string title = subject(events, language);
    bool anyDown = false;
    for (const ChannelEvent &event : events)
        anyDown = anyDown || event.event != EventKind::Up;
    switch (address.kind) {
    case ChannelKind::Json: {
        nlohmann::json document = eventJson(events.front());
        document["time"] = isoTime(now);
        nlohmann::json changes = nlohmann::json::array();
        for (const ChannelEvent &event : events)
            changes.push_back(eventJson(event));
        document["changes"] = std::move(changes);
        return {{"Content-Type: application/json"},
                document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)};
    }
    case ChannelKind::Ntfy:
        return {{"Content-Type: text/plain; charset=utf-8", "Title: " + headerText(title),
                 std::string("Priority: ") + (anyDown ? "high" : "default"),
                 std::string("Tags: ") + (anyDown ? "warning" : "white_check_mark")},
                plainText(events, language, false)};
    case ChannelKind::Slack: {
        const nlohmann::json document = {{"text", chatEscaped(title + "\n" + plainText(events, language, false))}};
        return {{"Content-Type: application/json"},
                document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)};
    }
    case ChannelKind::Email:
        return mail(address, title, plainText(events, language, true), now);
    case ChannelKind::Invalid:
        break;
    }
    return {};
}

Message composeTestMessage(const ChannelAddress &address, std::int64_t now, Language language)
{
    const std::string title = loadString(sid::ChannelTestSubject, language);
    switch (address.kind) {
    case ChannelKind::Json: {
        const nlohmann::json document = {{"event", "test"}, {"time", isoTime(now)}, {"changes", nlohmann::json::array()}};
        return {{"Content-Type: application/json"}, document.dump()};
    }
    case ChannelKind::Ntfy:
        return {{"Content-Type: text/plain; charset=utf-8", "Title: " + headerText(title)}, title};
    case ChannelKind::Slack:
        return {{"Content-Type: application/json"}, nlohmann::json{{"text", title}}.dump()};
    case ChannelKind::Email:
        return mail(address, title, title, now);
    case ChannelKind::Invalid:
        break;
    }
    return {};
}

} // namespace vigilon::channels
